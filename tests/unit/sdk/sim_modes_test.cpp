// Video modes, Format7 and frame contents of the simulated cameras.
#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace simtest {
namespace {

class SimModesTest : public SimTest {
 protected:
  void Connect(unsigned int serial) {
    vq::sim::SetFreeRunning(serial, true);
    ASSERT_TRUE(Ok(ConnectBySerial(_camera, serial)));
  }

  // Retrieves frame `number` of a fresh capture.
  void Grab(Image* image, uint64_t number = 1) {
    ASSERT_TRUE(Ok(_camera.StartCapture()));
    for (uint64_t i = 0; i < number; ++i) ASSERT_TRUE(Ok(_camera.RetrieveBuffer(image)));
    ASSERT_TRUE(Ok(_camera.StopCapture()));
  }

  const unsigned char* Pixel(const Image& image, unsigned int x, unsigned int y, unsigned int bytesPerPixel) {
    return image.GetData() + y * image.GetStride() + x * bytesPerPixel;
  }

  Camera _camera;
};

struct ModeCase {
  unsigned int serial;
  VideoMode mode;
  FrameRate rate;
  unsigned int rows, cols, stride;
  PixelFormat format;
};

TEST_F(SimModesTest, EveryDefaultModeDeliversItsSizeAndPixelFormat) {
  const ModeCase cases[] = {
      {kColor, VIDEOMODE_160x120YUV444, FRAMERATE_30, 120, 160, 480, PIXEL_FORMAT_444YUV8},
      {kColor, VIDEOMODE_320x240YUV422, FRAMERATE_15, 240, 320, 640, PIXEL_FORMAT_422YUV8},
      {kColor, VIDEOMODE_640x480YUV411, FRAMERATE_30, 480, 640, 960, PIXEL_FORMAT_411YUV8},
      {kColor, VIDEOMODE_640x480YUV422, FRAMERATE_7_5, 480, 640, 1280, PIXEL_FORMAT_422YUV8},
      {kColor, VIDEOMODE_640x480RGB, FRAMERATE_15, 480, 640, 1920, PIXEL_FORMAT_RGB8},
      {kColor, VIDEOMODE_640x480Y8, FRAMERATE_30, 480, 640, 640, PIXEL_FORMAT_MONO8},
      {kColor, VIDEOMODE_1280x960YUV422, FRAMERATE_15, 960, 1280, 2560, PIXEL_FORMAT_422YUV8},
      {kColor, VIDEOMODE_1280x960RGB, FRAMERATE_7_5, 960, 1280, 3840, PIXEL_FORMAT_RGB8},
      {kColor, VIDEOMODE_1280x960Y8, FRAMERATE_30, 960, 1280, 1280, PIXEL_FORMAT_MONO8},
      {kMono, VIDEOMODE_640x480Y8, FRAMERATE_60, 480, 640, 640, PIXEL_FORMAT_MONO8},
      {kMono, VIDEOMODE_1280x960Y8, FRAMERATE_15, 960, 1280, 1280, PIXEL_FORMAT_MONO8},
      {kMono, VIDEOMODE_1280x960Y16, FRAMERATE_60, 960, 1280, 2560, PIXEL_FORMAT_MONO16},
  };
  vq::sim::SetFreeRunning(kColor, true);
  vq::sim::SetFreeRunning(kMono, true);
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "serial " << c.serial << " mode " << c.mode);
    Camera camera;
    ASSERT_TRUE(Ok(ConnectBySerial(camera, c.serial)));
    ASSERT_TRUE(Ok(camera.SetVideoModeAndFrameRate(c.mode, c.rate)));
    VideoMode mode;
    FrameRate rate;
    ASSERT_TRUE(Ok(camera.GetVideoModeAndFrameRate(&mode, &rate)));
    EXPECT_EQ(mode, c.mode);
    EXPECT_EQ(rate, c.rate);
    ASSERT_TRUE(Ok(camera.StartCapture()));
    Image image;
    ASSERT_TRUE(Ok(camera.RetrieveBuffer(&image)));
    EXPECT_EQ(image.GetRows(), c.rows);
    EXPECT_EQ(image.GetCols(), c.cols);
    EXPECT_EQ(image.GetStride(), c.stride);
    EXPECT_EQ(image.GetPixelFormat(), c.format);
    EXPECT_EQ(image.GetBayerTileFormat(), NONE);
  }
}

TEST_F(SimModesTest, DefaultCamerasStartInTheirDocumentedModes) {
  EXPECT_EQ(vq::sim::CurrentVideoMode(kColor), VIDEOMODE_640x480YUV422);
  EXPECT_EQ(vq::sim::CurrentFrameRate(kColor), FRAMERATE_30);
  EXPECT_EQ(vq::sim::CurrentVideoMode(kMono), VIDEOMODE_640x480Y8);
  EXPECT_EQ(vq::sim::CurrentFrameRate(kMono), FRAMERATE_30);
}

TEST_F(SimModesTest, ModeProbeAnswersPerModeAndRate) {
  Connect(kColor);
  bool supported = false;
  ASSERT_TRUE(Ok(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_1280x960RGB, FRAMERATE_7_5, &supported)));
  EXPECT_TRUE(supported);
  ASSERT_TRUE(Ok(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_1280x960RGB, FRAMERATE_30, &supported)));
  EXPECT_FALSE(supported);
  ASSERT_TRUE(Ok(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480Y16, FRAMERATE_30, &supported)));
  EXPECT_FALSE(supported);
  ASSERT_TRUE(Ok(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_FORMAT7, FRAMERATE_FORMAT7, &supported)));
  EXPECT_FALSE(supported) << "Format7 is no fixed mode";
  EXPECT_EQ(_camera.GetVideoModeAndFrameRateInfo(NUM_VIDEOMODES, FRAMERATE_30, &supported).GetType(),
            PGRERROR_INVALID_PARAMETER);
}

TEST_F(SimModesTest, UnsupportedModesAreRefused) {
  Connect(kColor);
  Error error = _camera.SetVideoModeAndFrameRate(VIDEOMODE_1280x960RGB, FRAMERATE_30);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Video mode 1280x960RGB at 30 fps is not supported by this camera.");
  error = _camera.SetVideoModeAndFrameRate(VIDEOMODE_FORMAT7, FRAMERATE_FORMAT7);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Format7 is entered with SetFormat7Configuration.");
  EXPECT_EQ(vq::sim::CurrentVideoMode(kColor), VIDEOMODE_640x480YUV422);
}

// Frame 1 shows base pattern 1: the pattern moved left by a quarter of the
// width. On a 640-pixel image the eight bars are 80 pixels wide and the red
// bar lies at x 240..319, the green one at 80..159, the blue one at
// 320..399; the first brightness band of the bars spans rows 240..299.
TEST_F(SimModesTest, Yuv422IsUyvyInBt601StudioRange) {
  Connect(kColor);
  Image image;
  Grab(&image);
  auto uyvy = [&](unsigned int x, unsigned int y) {
    const unsigned char* p = Pixel(image, x, y, 2);
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(uyvy(250, 260), (std::vector<int>{90, 81, 240, 81}));     // red
  EXPECT_EQ(uyvy(100, 260), (std::vector<int>{54, 145, 34, 145}));    // green
  EXPECT_EQ(uyvy(350, 260), (std::vector<int>{240, 41, 110, 41}));    // blue
  EXPECT_EQ(uyvy(500, 260), (std::vector<int>{128, 235, 128, 235}));  // white
  // The grey ramp above: x 4 and 5 show ramp values 65 and 66.
  EXPECT_EQ(uyvy(4, 1), (std::vector<int>{128, 72, 128, 73}));
}

TEST_F(SimModesTest, Yuv411AndYuv444FollowTheSameColours) {
  Connect(kColor);
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480YUV411, FRAMERATE_15)));
  Image image;
  Grab(&image);
  const unsigned char* group = Pixel(image, 0, 260, 0) + 240 / 4 * 6;  // U Y0 Y1 V Y2 Y3
  EXPECT_EQ((std::vector<int>{group[0], group[1], group[2], group[3], group[4], group[5]}),
            (std::vector<int>{90, 81, 81, 240, 81, 81}));

  // 160 pixels wide: 20-pixel bars, red at x 60..79, bars from row 60.
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_160x120YUV444, FRAMERATE_30)));
  Grab(&image);
  const unsigned char* uyv = Pixel(image, 64, 65, 3);
  EXPECT_EQ((std::vector<int>{uyv[0], uyv[1], uyv[2]}), (std::vector<int>{90, 81, 240}));
}

TEST_F(SimModesTest, RgbIsRedGreenBlue) {
  Connect(kColor);
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480RGB, FRAMERATE_15)));
  Image image;
  Grab(&image);
  const unsigned char* red = Pixel(image, 250, 260, 3);
  EXPECT_EQ((std::vector<int>{red[0], red[1], red[2]}), (std::vector<int>{255, 0, 0}));
  // The second brightness band is at 75 %.
  const unsigned char* blue = Pixel(image, 350, 310, 3);
  EXPECT_EQ((std::vector<int>{blue[0], blue[1], blue[2]}), (std::vector<int>{0, 0, 191}));
}

TEST_F(SimModesTest, Mono8CarriesTheFrameNumberInItsFirstEightPixels) {
  Connect(kMono);
  Image image;
  Grab(&image, 3);
  const unsigned char* row = image.GetData();
  // Pixel 8 shows the ramp of base pattern 3: 488 * 256 / 640 = 195.
  EXPECT_EQ((std::vector<int>(row, row + 9)), (std::vector<int>{3, 0, 0, 0, 0, 0, 0, 0, 195}));
}

TEST_F(SimModesTest, Mono16IsLittleEndian) {
  Connect(kMono);
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_1280x960Y16, FRAMERATE_15)));
  Image image;
  Grab(&image);
  // Ramp value at x 1 of base pattern 1: 321 * 65536 / 1280 = 16435 = 0x4033.
  const unsigned char* pixel = Pixel(image, 1, 1, 2);
  EXPECT_EQ(pixel[0], 0x33);
  EXPECT_EQ(pixel[1], 0x40);
}

TEST_F(SimModesTest, Format7InfoReportsTheModeLimits) {
  Connect(kColor);
  Format7Info info;
  bool supported = false;
  ASSERT_TRUE(Ok(_camera.GetFormat7Info(&info, &supported)));
  ASSERT_TRUE(supported);
  EXPECT_EQ(info.maxWidth, 1280u);
  EXPECT_EQ(info.maxHeight, 960u);
  EXPECT_EQ(info.offsetHStepSize, 2u);
  EXPECT_EQ(info.offsetVStepSize, 2u);
  EXPECT_EQ(info.imageHStepSize, 8u);
  EXPECT_EQ(info.imageVStepSize, 2u);
  EXPECT_EQ(info.pixelFormatBitField,
            unsigned{PIXEL_FORMAT_RAW8 | PIXEL_FORMAT_MONO8 | PIXEL_FORMAT_RGB8 | PIXEL_FORMAT_422YUV8});
  EXPECT_EQ(info.minPacketSize, 4u);
  EXPECT_EQ(info.maxPacketSize, 4096u);
  EXPECT_EQ(info.packetSize, 2048u);
  EXPECT_FLOAT_EQ(info.percentage, 50.0f);

  info = Format7Info();
  info.mode = static_cast<Mode>(1);
  ASSERT_TRUE(Ok(_camera.GetFormat7Info(&info, &supported)));
  EXPECT_FALSE(supported);
  info.mode = NUM_MODES;
  EXPECT_EQ(_camera.GetFormat7Info(&info, &supported).GetType(), PGRERROR_INVALID_PARAMETER);
}

struct Format7Case {
  unsigned int mode, offsetX, offsetY, width, height;
  PixelFormat format;
  unsigned int packetSize;
  const char* description;
};

TEST_F(SimModesTest, Format7SettingsOutsideTheLimitsAreRefused) {
  const Format7Case cases[] = {
      {1, 0, 0, 640, 480, PIXEL_FORMAT_RAW8, 2048, "Format7 mode 1 is not supported by this camera."},
      {0, 0, 0, 1276, 960, PIXEL_FORMAT_RAW8, 2048,
       "Invalid Format7 configuration: width 1276 is not a multiple of 8."},
      {0, 0, 0, 640, 481, PIXEL_FORMAT_RAW8, 2048, "Invalid Format7 configuration: height 481 is not a multiple of 2."},
      {0, 3, 0, 640, 480, PIXEL_FORMAT_RAW8, 2048, "Invalid Format7 configuration: offsetX 3 is not a multiple of 2."},
      {0, 8, 0, 1280, 960, PIXEL_FORMAT_RAW8, 2048,
       "Invalid Format7 configuration: offsetX 8 + width 1280 exceeds the maximum width 1280."},
      {0, 0, 2, 1280, 960, PIXEL_FORMAT_RAW8, 2048,
       "Invalid Format7 configuration: offsetY 2 + height 960 exceeds the maximum height 960."},
      {0, 0, 0, 0, 480, PIXEL_FORMAT_RAW8, 2048, "Invalid Format7 configuration: image size 0x480 is empty."},
      {0, 0, 0, 640, 480, PIXEL_FORMAT_MONO16, 2048,
       "Invalid Format7 configuration: pixel format MONO16 is not offered by mode 0."},
      {0, 0, 0, 640, 480, PIXEL_FORMAT_RAW8, 4100,
       "Invalid Format7 configuration: packet size 4100 is outside 4 to 4096."},
      {0, 0, 0, 640, 480, PIXEL_FORMAT_RAW8, 0, "Invalid Format7 configuration: packet size 0 is outside 4 to 4096."},
  };
  Connect(kColor);
  for (const Format7Case& c : cases) {
    SCOPED_TRACE(c.description);
    Format7ImageSettings settings;
    settings.mode = static_cast<Mode>(c.mode);
    settings.offsetX = c.offsetX;
    settings.offsetY = c.offsetY;
    settings.width = c.width;
    settings.height = c.height;
    settings.pixelFormat = c.format;
    Error error = _camera.SetFormat7Configuration(&settings, c.packetSize);
    EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
    EXPECT_STREQ(error.GetDescription(), c.description);
  }
  EXPECT_EQ(vq::sim::CurrentVideoMode(kColor), VIDEOMODE_640x480YUV422);
  EXPECT_EQ(vq::sim::CurrentFormat7Settings(kColor).width, 1280u);
}

TEST_F(SimModesTest, AcceptedFormat7ConfigurationSwitchesToFormat7) {
  Connect(kColor);
  Format7ImageSettings settings;
  settings.offsetX = 64;
  settings.offsetY = 32;
  settings.width = 640;
  settings.height = 480;
  settings.pixelFormat = PIXEL_FORMAT_RAW8;
  ASSERT_TRUE(Ok(_camera.SetFormat7Configuration(&settings, 4096)));

  VideoMode mode;
  FrameRate rate;
  ASSERT_TRUE(Ok(_camera.GetVideoModeAndFrameRate(&mode, &rate)));
  EXPECT_EQ(mode, VIDEOMODE_FORMAT7);
  EXPECT_EQ(rate, FRAMERATE_FORMAT7);
  Format7ImageSettings read;
  unsigned int packetSize = 0;
  float percentage = 0;
  ASSERT_TRUE(Ok(_camera.GetFormat7Configuration(&read, &packetSize, &percentage)));
  EXPECT_EQ(read.offsetX, 64u);
  EXPECT_EQ(read.offsetY, 32u);
  EXPECT_EQ(read.width, 640u);
  EXPECT_EQ(read.height, 480u);
  EXPECT_EQ(read.pixelFormat, PIXEL_FORMAT_RAW8);
  EXPECT_EQ(packetSize, 4096u);
  EXPECT_FLOAT_EQ(percentage, 100.0f);

  Image image;
  Grab(&image);
  EXPECT_EQ(image.GetRows(), 480u);
  EXPECT_EQ(image.GetCols(), 640u);
  EXPECT_EQ(image.GetStride(), 640u);
  EXPECT_EQ(image.GetPixelFormat(), PIXEL_FORMAT_RAW8);
  EXPECT_EQ(image.GetBayerTileFormat(), RGGB);
  // The region shows its part of the 1280x960 sensor: the red bar of base
  // pattern 1 spans sensor x 480..639, the bars start at sensor row 480.
  // Image (420, 450) is sensor (484, 482), an R site of the RGGB tile.
  EXPECT_EQ(*Pixel(image, 420, 450, 1), 255);  // R
  EXPECT_EQ(*Pixel(image, 421, 450, 1), 0);    // G
  EXPECT_EQ(*Pixel(image, 421, 451, 1), 0);    // B

  // Back to a fixed mode; the Format7 configuration is kept.
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_15)));
  EXPECT_EQ(vq::sim::CurrentFormat7Settings(kColor).offsetX, 64u);
}

TEST_F(SimModesTest, CameraWithoutFormat7SaysSo) {
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "Plain", "serial": 31, "color": false, "format7": []}]})");
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, 31)));
  Format7Info info;
  bool supported = true;
  ASSERT_TRUE(Ok(_camera.GetFormat7Info(&info, &supported)));
  EXPECT_FALSE(supported);
  Format7ImageSettings settings;
  unsigned int packetSize;
  float percentage;
  Error error = _camera.GetFormat7Configuration(&settings, &packetSize, &percentage);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(), "This camera has no Format7 mode.");
}

TEST_F(SimModesTest, GpioPinsRememberTheirDirection) {
  Connect(kMono);
  unsigned int direction = 9;
  ASSERT_TRUE(Ok(_camera.GetGPIOPinDirection(2, &direction)));
  EXPECT_EQ(direction, 0u);
  ASSERT_TRUE(Ok(_camera.SetGPIOPinDirection(2, 1)));
  ASSERT_TRUE(Ok(_camera.GetGPIOPinDirection(2, &direction)));
  EXPECT_EQ(direction, 1u);
  ASSERT_TRUE(Ok(_camera.GetGPIOPinDirection(3, &direction)));
  EXPECT_EQ(direction, 0u);
  EXPECT_EQ(_camera.SetGPIOPinDirection(4, 1).GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_EQ(_camera.SetGPIOPinDirection(1, 2).GetType(), PGRERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace simtest
