// One connection of the Aravis backend, on Aravis's in-process fake camera:
// frames and their formats, the feature mapping on what the fake has and
// lacks, Format7 checks, and the failure paths (stop and loss while a
// retrieval waits), and what the open says of a camera whose formats the SDK
// cannot convert. No network: the fake lives in this process.
#ifdef VQ_HAVE_ARAVIS
#include <arv.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdk/aravis/AravisDevice.h"
#include "tests/support/TestSupport.h"

using namespace FlyCapture2;
using vq::aravis::AravisDevice;
using vq::aravis::DeviceLink;

namespace {

::testing::AssertionResult Ok(const Error& error) {
  if (error == PGRERROR_OK) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error.GetDescription();
}

class AravisDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GError* error = nullptr;
    ArvDevice* device = arv_fake_device_new("UNIT1", &error);
    ASSERT_NE(nullptr, device) << (error ? error->message : "");
    _camera = arv_camera_new_with_device(device, &error);
    g_object_unref(device);
    ASSERT_NE(nullptr, _camera);
    _link = std::make_shared<DeviceLink>();
    // What the device hands over is released here at the end, as the bus
    // releases it on its own thread.
    _device = std::make_unique<AravisDevice>(_camera, vq::aravis::DeviceIdentity{77, "UNIT1", "Fake"}, _link,
                                             [this](void* object) { _released.push_back(object); });
  }
  void TearDown() override {
    _device.reset();
    for (void* object : _released) g_object_unref(object);
  }

  void SetFeature(const char* name, const char* value) {
    GError* error = nullptr;
    arv_camera_set_string(_camera, name, value, &error);
    ASSERT_EQ(nullptr, error) << error->message;
  }

  ArvCamera* _camera = nullptr;  // owned by the device
  std::shared_ptr<DeviceLink> _link;
  std::unique_ptr<AravisDevice> _device;
  std::vector<void*> _released;
};

struct FormatCase {
  const char* genicam;
  PixelFormat format;
  BayerTileFormat bayer;
  unsigned int bytesPerPixel;
};

class AravisFrames : public AravisDeviceTest, public ::testing::WithParamInterface<FormatCase> {};

}  // namespace

TEST_P(AravisFrames, AFrameArrivesInTheCamerasFormatWithItsDiagonalRamp) {
  const FormatCase& c = GetParam();
  Format7ImageSettings settings;
  settings.width = 64;
  settings.height = 48;
  settings.offsetX = 8;
  settings.pixelFormat = c.format;
  ASSERT_TRUE(Ok(_device->SetFormat7Configuration(settings, 1400)));
  SetFeature("PixelFormat", c.genicam);  // the Bayer pattern the test asks for
  ASSERT_TRUE(Ok(_device->StartCapture()));
  Image image;
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(Ok(_device->RetrieveBuffer(&image)));
  EXPECT_LE(before, image.GetReceiveTime()) << "the buffer came off the stream during the retrieval";
  EXPECT_GE(std::chrono::steady_clock::now(), image.GetReceiveTime());
  EXPECT_EQ(48u, image.GetRows());
  EXPECT_EQ(64u, image.GetCols());
  EXPECT_EQ(64u * c.bytesPerPixel, image.GetStride());
  EXPECT_EQ(c.format, image.GetPixelFormat());
  EXPECT_EQ(c.bayer, image.GetBayerTileFormat());
  EXPECT_EQ(1u, image.GetFrameNumber());
  if (c.format == PIXEL_FORMAT_MONO8) {
    // The fake draws a ramp along the diagonals: (x + 1, y) equals (x, y + 1).
    const unsigned char* data = image.GetData();
    for (unsigned y = 0; y + 1 < 48; ++y)
      for (unsigned x = 0; x + 1 < 64; ++x) ASSERT_EQ(data[y * 64 + x + 1], data[(y + 1) * 64 + x]) << x << "," << y;
  }
  ASSERT_TRUE(Ok(_device->RetrieveBuffer(&image)));
  EXPECT_EQ(2u, image.GetFrameNumber());
  Image bgr;
  EXPECT_TRUE(Ok(image.Convert(PIXEL_FORMAT_BGR, &bgr)));
  EXPECT_EQ(image.GetReceiveTime(), bgr.GetReceiveTime());
  EXPECT_TRUE(Ok(_device->StopCapture()));
}

INSTANTIATE_TEST_SUITE_P(Formats, AravisFrames,
                         ::testing::Values(FormatCase{"Mono8", PIXEL_FORMAT_MONO8, NONE, 1},
                                           FormatCase{"BayerRG8", PIXEL_FORMAT_RAW8, RGGB, 1},
                                           FormatCase{"BayerBG8", PIXEL_FORMAT_RAW8, BGGR, 1},
                                           FormatCase{"Mono16", PIXEL_FORMAT_MONO16, NONE, 2},
                                           FormatCase{"RGB8", PIXEL_FORMAT_RGB8, NONE, 3}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.genicam; });

TEST_F(AravisDeviceTest, CameraInfoAndPropertiesFollowWhatTheCameraHas) {
  CameraInfo info;
  ASSERT_TRUE(Ok(_device->GetCameraInfo(&info)));
  EXPECT_EQ(77u, info.serialNumber);
  EXPECT_STREQ("Fake", info.modelName);
  EXPECT_STREQ("Aravis", info.vendorName);
  EXPECT_TRUE(info.isColorCamera) << "the fake offers Bayer formats";

  PropertyInfo gain;
  gain.type = GAIN;
  ASSERT_TRUE(Ok(_device->GetPropertyInfo(&gain)));
  EXPECT_TRUE(gain.present);
  EXPECT_EQ(0u, gain.min);
  EXPECT_EQ(10u, gain.max);
  EXPECT_TRUE(gain.autoSupported);
  EXPECT_TRUE(gain.onePushSupported);
  EXPECT_FALSE(gain.absValSupported) << "GainRaw is an integer";

  Property property;
  property.type = GAIN;
  property.valueA = 9;
  ASSERT_TRUE(Ok(_device->SetProperty(property)));
  property = Property();
  property.type = GAIN;
  ASSERT_TRUE(Ok(_device->GetProperty(&property)));
  EXPECT_EQ(9u, property.valueA);
  EXPECT_FALSE(property.autoManualMode);
  property.autoManualMode = true;
  ASSERT_TRUE(Ok(_device->SetProperty(property)));
  ASSERT_TRUE(Ok(_device->GetProperty(&property)));
  EXPECT_TRUE(property.autoManualMode) << "GainAuto Continuous";

  PropertyInfo shutter;
  shutter.type = SHUTTER;
  ASSERT_TRUE(Ok(_device->GetPropertyInfo(&shutter)));
  EXPECT_TRUE(shutter.absValSupported);
  EXPECT_EQ(10u, shutter.min) << "ExposureTimeAbs in microseconds";

  for (PropertyType absent : {BRIGHTNESS, GAMMA, WHITE_BALANCE, TEMPERATURE, IRIS}) {
    PropertyInfo missing;
    missing.type = absent;
    ASSERT_TRUE(Ok(_device->GetPropertyInfo(&missing)));
    EXPECT_FALSE(missing.present) << absent;
    Property value;
    value.type = absent;
    EXPECT_EQ(PGRERROR_NOT_IMPLEMENTED, _device->GetProperty(&value).GetType()) << absent;
  }
  StrobeInfo strobe;
  ASSERT_TRUE(Ok(_device->GetStrobeInfo(&strobe)));
  EXPECT_FALSE(strobe.present) << "the fake has no lines";
  TriggerModeInfo trigger;
  ASSERT_TRUE(Ok(_device->GetTriggerModeInfo(&trigger)));
  EXPECT_TRUE(trigger.present);
  EXPECT_TRUE(trigger.softwareTriggerSupported);
  EXPECT_EQ((1u << 0) | (1u << 4), trigger.sourceMask) << "Line0 and Software";
}

TEST_F(AravisDeviceTest, AValueOutsideAPropertysRangeIsRefusedAsTheSimulatedCamerasRefuseIt) {
  Property gain;
  gain.type = GAIN;
  gain.valueA = 9;
  ASSERT_TRUE(Ok(_device->SetProperty(gain)));
  gain.valueA = 50;  // the fake's GainRaw runs from 0 to 10
  const Error refused = _device->SetProperty(gain);
  EXPECT_EQ(PGRERROR_INVALID_PARAMETER, refused.GetType());
  EXPECT_STREQ("Gain: value 50 is outside 0 to 10.", refused.GetDescription());
  Property now;
  now.type = GAIN;
  ASSERT_TRUE(Ok(_device->GetProperty(&now)));
  EXPECT_EQ(9u, now.valueA) << "nothing was written, the camera did not clamp";

  // A float feature in its property units, at the ends and beyond.
  PropertyInfo info;
  info.type = SHUTTER;
  ASSERT_TRUE(Ok(_device->GetPropertyInfo(&info)));
  Property shutter;
  shutter.type = SHUTTER;
  shutter.valueA = info.max;
  EXPECT_TRUE(Ok(_device->SetProperty(shutter)));
  shutter.valueA = info.min;
  EXPECT_TRUE(Ok(_device->SetProperty(shutter)));
  shutter.valueA = info.max + 1;
  EXPECT_EQ(PGRERROR_INVALID_PARAMETER, _device->SetProperty(shutter).GetType());
  shutter.valueA = info.min - 1;
  EXPECT_EQ(PGRERROR_INVALID_PARAMETER, _device->SetProperty(shutter).GetType());
}

TEST_F(AravisDeviceTest, Format7RefusesRegionsOffTheSensorOrItsIncrementsAndFixedModesFitTheSensor) {
  Format7Info info;
  bool supported = false;
  ASSERT_TRUE(Ok(_device->GetFormat7Info(&info, &supported)));
  ASSERT_TRUE(supported);
  Format7ImageSettings settings;
  settings.width = info.maxWidth;
  settings.height = 16;
  settings.offsetX = 1;
  settings.pixelFormat = PIXEL_FORMAT_MONO8;
  Error error = _device->SetFormat7Configuration(settings, 1400);
  EXPECT_EQ(PGRERROR_INVALID_PARAMETER, error.GetType());
  EXPECT_STREQ("Invalid Format7 configuration: the region leaves the sensor.", error.GetDescription());
  settings.offsetX = 0;
  settings.pixelFormat = PIXEL_FORMAT_422YUV8;
  EXPECT_STREQ("Invalid Format7 configuration: the camera does not offer this pixel format.",
               _device->SetFormat7Configuration(settings, 1400).GetDescription());

  bool fits = false;
  ASSERT_TRUE(Ok(_device->GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480Y8, FRAMERATE_30, &fits)));
  EXPECT_TRUE(fits);
  ASSERT_TRUE(Ok(_device->GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480YUV411, FRAMERATE_30, &fits)));
  EXPECT_FALSE(fits) << "no YUV411 on GenICam";
  ASSERT_TRUE(Ok(_device->SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_15)));
  VideoMode mode;
  FrameRate rate;
  ASSERT_TRUE(Ok(_device->GetVideoModeAndFrameRate(&mode, &rate)));
  EXPECT_EQ(VIDEOMODE_640x480Y8, mode);
  EXPECT_EQ(FRAMERATE_15, rate);
  EXPECT_NEAR(15.0, arv_camera_get_float(_camera, "AcquisitionFrameRate", nullptr), 0.01);
  EXPECT_EQ(640, arv_camera_get_integer(_camera, "Width", nullptr));
}

TEST_F(AravisDeviceTest, BinnedFormat7ModesReachTheCameraAndAFixedModeUnbinsIt) {
  // The fake bins 1 to 16 times: modes 1 to 4, each a region of the binned sensor.
  Format7Info full;
  bool supported = false;
  ASSERT_TRUE(Ok(_device->GetFormat7Info(&full, &supported)));
  ASSERT_TRUE(supported);
  for (int mode = 1; mode < NUM_MODES; ++mode) {
    Format7Info info;
    info.mode = static_cast<Mode>(mode);
    ASSERT_TRUE(Ok(_device->GetFormat7Info(&info, &supported)));
    EXPECT_EQ(mode <= 4, supported) << mode;
    if (!supported) continue;
    EXPECT_EQ(full.maxWidth >> mode, info.maxWidth) << mode;
    EXPECT_EQ(full.maxHeight >> mode, info.maxHeight) << mode;
    EXPECT_EQ(full.pixelFormatBitField, info.pixelFormatBitField);
  }

  Format7ImageSettings settings;
  settings.mode = static_cast<Mode>(2);
  settings.width = full.maxWidth / 4;
  settings.height = 64;
  settings.pixelFormat = PIXEL_FORMAT_MONO8;
  ASSERT_TRUE(Ok(_device->SetFormat7Configuration(settings, 1400)));
  EXPECT_EQ(4, arv_camera_get_integer(_camera, "BinningHorizontal", nullptr));
  EXPECT_EQ(4, arv_camera_get_integer(_camera, "BinningVertical", nullptr));
  Format7ImageSettings read;
  unsigned int packetSize = 0;
  float percentage = 0;
  ASSERT_TRUE(Ok(_device->GetFormat7Configuration(&read, &packetSize, &percentage)));
  EXPECT_EQ(2, read.mode);
  EXPECT_EQ(settings.width, read.width);
  settings.width += 4;
  EXPECT_STREQ("Invalid Format7 configuration: the region leaves the sensor.",
               _device->SetFormat7Configuration(settings, 1400).GetDescription())
      << "wider than the sensor binned 4 times";
  settings.mode = static_cast<Mode>(5);
  EXPECT_STREQ("Format7 mode 5 is not supported by this camera.",
               _device->SetFormat7Configuration(settings, 1400).GetDescription());

  ASSERT_TRUE(Ok(_device->SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_15)));
  EXPECT_EQ(1, arv_camera_get_integer(_camera, "BinningHorizontal", nullptr)) << "the fake's sensor is square";
  ASSERT_TRUE(Ok(_device->GetFormat7Configuration(&read, &packetSize, &percentage)));
  EXPECT_EQ(MODE_0, read.mode);

  // No lines, so no strobes and no timers on any pin.
  for (unsigned int pin = 0; pin < 4; ++pin) {
    StrobeInfo strobe;
    strobe.source = pin;
    ASSERT_TRUE(Ok(_device->GetStrobeInfo(&strobe)));
    EXPECT_FALSE(strobe.present) << pin;
    EXPECT_EQ(0.0f, strobe.maxValue) << pin;
    StrobeControl control;
    control.source = pin;
    EXPECT_EQ(PGRERROR_NOT_IMPLEMENTED, _device->GetStrobe(&control).GetType()) << pin;
    control.onOff = true;
    control.duration = 1.0f;
    EXPECT_EQ(PGRERROR_NOT_IMPLEMENTED, _device->SetStrobe(control).GetType()) << pin;
  }
}

// A retrieval lends the stream's buffer to the image without a copy. The
// buffer goes back when the image lets go of it, so a capture outlasts its
// pool while the driver keeps a frame for the host; a frame kept past the
// capture's end stays readable and is freed, not pushed to the dead stream.
TEST_F(AravisDeviceTest, LentBuffersGoBackToTheStreamWhenTheImageLetsGo) {
  ASSERT_TRUE(Ok(_device->StartCapture()));
  Image kept, incoming;
  for (unsigned i = 1; i <= 3 * AravisDevice::kBufferCount; ++i) {
    auto retrieval = std::async(std::launch::async, [&] { return _device->RetrieveBuffer(&incoming); });
    if (retrieval.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      _device->StopCapture();  // releases the waiting retrieval
      FAIL() << "frame " << i << " never came: the pool ran dry";
    }
    ASSERT_TRUE(Ok(retrieval.get()));
    ASSERT_TRUE(incoming.Borrows());
    ASSERT_EQ(i, incoming.GetFrameNumber());
    std::swap(kept, incoming);  // as the image buffer trades frames with the grab thread
    incoming.ReturnBorrowed();
  }
  ASSERT_TRUE(Ok(_device->StopCapture()));
  ASSERT_TRUE(kept.Borrows());
  const unsigned char* data = kept.GetData();
  EXPECT_EQ(data[1], data[kept.GetStride()]) << "the fake's diagonal ramp, still there";
  kept.ReturnBorrowed();
}

TEST_F(AravisDeviceTest, StoppingReleasesAWaitingRetrieval) {
  arv_camera_set_float(_camera, "AcquisitionFrameRate", 0.1, nullptr);  // a frame every ten seconds
  ASSERT_TRUE(Ok(_device->StartCapture()));
  Image first;
  ASSERT_TRUE(Ok(_device->RetrieveBuffer(&first)));
  auto waiting = std::async(std::launch::async, [&] {
    Image image;
    return _device->RetrieveBuffer(&image).GetType();
  });
  ASSERT_TRUE(Ok(_device->StopCapture()));
  ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
  EXPECT_EQ(PGRERROR_ISOCH_NOT_STARTED, waiting.get());
  EXPECT_EQ(1u, _released.size()) << "the stream, whose thread may sleep a whole frame period, goes elsewhere";
  EXPECT_EQ(PGRERROR_ISOCH_NOT_STARTED, _device->StopCapture().GetType());
}

TEST_F(AravisDeviceTest, ALostCameraFailsEveryCallAtOnceAndIsReleasedElsewhere) {
  arv_camera_set_float(_camera, "AcquisitionFrameRate", 0.1, nullptr);
  ASSERT_TRUE(Ok(_device->StartCapture()));
  Image first;
  ASSERT_TRUE(Ok(_device->RetrieveBuffer(&first)));
  auto waiting = std::async(std::launch::async, [&] {
    Image image;
    return _device->RetrieveBuffer(&image);
  });
  _link->lost = true;
  ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
  Error error = waiting.get();
  EXPECT_EQ(PGRERROR_NOT_CONNECTED, error.GetType());
  EXPECT_STREQ("Camera 77 has been removed from the bus.", error.GetDescription());
  CameraInfo info;
  EXPECT_EQ(PGRERROR_NOT_CONNECTED, _device->GetCameraInfo(&info).GetType());
  Property property;
  property.type = GAIN;
  EXPECT_EQ(PGRERROR_NOT_CONNECTED, _device->SetProperty(property).GetType());
  ArvCamera* camera = _camera;
  _device.reset();
  EXPECT_EQ(1, std::count(_released.begin(), _released.end(), static_cast<void*>(camera)))
      << "a lost camera is released on the bus's thread, not the caller's";
}

namespace {

// The fake camera with the GenICam description of the plain fake, its pixel
// formats renamed as `renamed` says; opened, with what it logs at level 1.
std::vector<std::string> OpenFakeWithFormats(const std::vector<std::pair<std::string, std::string>>& renamed) {
  GError* error = nullptr;
  ArvDevice* plain = arv_fake_device_new("UNIT2", &error);
  EXPECT_NE(nullptr, plain);
  if (!plain) return {};
  size_t size = 0;
  const char* xml = arv_device_get_genicam_xml(plain, &size);
  std::string description(xml, size);
  g_object_unref(plain);
  for (const auto& [from, to] : renamed) {
    const std::string entry = "<EnumEntry Name=\"" + from + "\"";
    const size_t at = description.find(entry);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) description.replace(at, entry.size(), "<EnumEntry Name=\"" + to + "\"");
  }
  vqtest::TempDir dir;
  const std::string file = dir.Path() + "/fake.xml";
  std::ofstream(file) << description;
  arv_set_fake_camera_genicam_filename(file.c_str());
  ArvDevice* device = arv_fake_device_new("UNIT3", &error);
  arv_set_fake_camera_genicam_filename(nullptr);
  EXPECT_NE(nullptr, device) << (error ? error->message : "");
  if (!device) return {};
  ArvCamera* camera = arv_camera_new_with_device(device, &error);
  g_object_unref(device);
  EXPECT_NE(nullptr, camera);
  if (!camera) return {};
  vqtest::LogCapture log(1, 0);
  std::vector<void*> released;
  AravisDevice(camera, vq::aravis::DeviceIdentity{78, "UNIT3", "Fake"}, std::make_shared<DeviceLink>(),
               [&released](void* object) { released.push_back(object); });
  for (void* object : released) g_object_unref(object);
  return log.Messages();
}

// The fake's first six formats renamed to ones the SDK has no conversion for;
// the tests name the seventh (Mono16).
std::vector<std::pair<std::string, std::string>> WithMono16As(const std::string& last) {
  return {{"BayerBG8", "Coord3D_C16"}, {"BayerGB8", "Mono14"}, {"BayerGR8", "BayerRG14"}, {"BayerRG8", "RGBa8"},
          {"Mono8", "Data8"},          {"RGB8", "BGR10p"},     {"Mono16", last}};
}

}  // namespace

TEST(AravisDeviceOpen, ACameraOfferingOnlyFormatsWithNoConversionNamesThemInALevel1Line) {
  const std::vector<std::string> lines = OpenFakeWithFormats(WithMono16As("Mono8s"));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(
      "AravisDevice: ERROR: camera UNIT3 offers only pixel formats the SDK cannot convert: Coord3D_C16, Mono14, "
      "BayerRG14, RGBa8, Data8, BGR10p, Mono8s\n",
      lines[0]);
}

TEST(AravisDeviceOpen, OneFormatWithAConversionIsEnough) {
  const std::vector<std::string> lines = OpenFakeWithFormats(WithMono16As("Mono12p"));
  EXPECT_TRUE(lines.empty()) << lines.front();
}

#endif
