// Video modes, frame rates and Format7 read from and written to a simulated
// camera, with the constraints that keep their parameters consistent.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "features/FeatureTables.h"
#include "sdk/sim/SimControl.h"
#include "tests/unit/features/feature_fixture.h"

using namespace vq;

using namespace FlyCapture2;
using OptionList = std::vector<std::pair<std::string, int64_t>>;

namespace {

constexpr unsigned kFixed = 3001;      // starts in 640x480YUV422 at 30 fps
constexpr unsigned kFormat7 = 3002;    // starts in Format7 mode 1
constexpr unsigned kNoFormat7 = 3003;  // has no Format7 mode

const char* kFleet = R"({"cameras": [
  {"model": "Fixed", "serial": 3001, "color": true,
   "videoModes": [{"mode": "640x480YUV422", "frameRates": ["7.5 fps", "15 fps", "30 fps"]},
                  {"mode": "640x480Y8", "frameRates": ["30 fps"]},
                  {"mode": "1280x960Y8", "frameRates": ["7.5 fps", "15 fps"]}],
   "format7": [{"mode": 0, "maxWidth": 1280, "maxHeight": 960, "pixelFormats": ["RAW8", "MONO8"],
                "packetSize": [4, 4096, 2048]},
               {"mode": 2, "maxWidth": 640, "maxHeight": 480, "pixelFormats": ["MONO8"],
                "packetSize": [8, 2048, 1024]}],
   "current": {"videoMode": "640x480YUV422", "frameRate": "30 fps"}},
  {"model": "InFormat7", "serial": 3002, "color": false,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["15 fps", "30 fps"]}],
   "format7": [{"mode": 0, "maxWidth": 1280, "maxHeight": 960, "pixelFormats": ["MONO8", "MONO16"]},
               {"mode": 1, "maxWidth": 640, "maxHeight": 480, "pixelFormats": ["MONO16"],
                "packetSize": [8, 2048, 1024]}],
   "current": {"videoMode": "FORMAT7",
               "format7": {"mode": 1, "offsetX": 64, "offsetY": 32, "width": 320, "height": 240,
                           "pixelFormat": "MONO16", "packetSize": 512}}},
  {"model": "NoFormat7", "serial": 3003, "color": false,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}], "format7": [],
   "current": {"videoMode": "640x480Y8", "frameRate": "30 fps"}}
]})";

const std::vector<std::string> kFormat7Params = {"Fmt7Mode", "height",         "width",          "offsetX",
                                                 "offsetY",  "Fmt7PacketSize", "Fmt7PixelFormat"};

const int64_t kMono8 = PixelFormatOptionValue(PIXEL_FORMAT_MONO8);
const int64_t kMono16 = PixelFormatOptionValue(PIXEL_FORMAT_MONO16);
const int64_t kRaw8 = PixelFormatOptionValue(PIXEL_FORMAT_RAW8);

bool operator==(const Format7ImageSettings& a, const Format7ImageSettings& b) {
  return a.mode == b.mode && a.offsetX == b.offsetX && a.offsetY == b.offsetY && a.width == b.width &&
         a.height == b.height && a.pixelFormat == b.pixelFormat;
}

class VideoModes : public vqtest::FeatureFixture {
 protected:
  std::string Fleet() const override { return kFleet; }

  void ReadCamera(unsigned serial) {
    OpenCamera(serial);
    ASSERT_TRUE(Cam().Features().GetFlySettings());
  }
  // Applies every constraint, as the dialog does after each edit.
  bool Validate() {
    std::string error;
    return Params().Validate(error);
  }
  std::string ValidationError() {
    std::string error;
    EXPECT_FALSE(Params().Validate(error));
    return error;
  }
  void SetUnsigned(const std::string& name, unsigned value) { Typed<unsigned>(name)._value = value; }
  // "[min..max]" of a parameter.
  std::string Range(const std::string& name) {
    std::ostringstream text;
    Params().GetParam(name).PrintRange(text);
    return text.str();
  }
};

TEST_F(VideoModes, FirstReadOffersTheSupportedModesAndTheirFrameRates) {
  ReadCamera(kFixed);

  EXPECT_EQ(OptionList({{"640x480YUV422", 3}, {"640x480Y8", 5}, {"1280x960Y8", 17}, {"FORMAT7", 23}}),
            Options("DCAMVideoMode"));
  EXPECT_EQ("640x480YUV422", Enum("DCAMVideoMode")._value);
  EXPECT_EQ("DCAM Formats", Enum("DCAMVideoMode")._group);
  EXPECT_EQ(OptionList({{"7.5 fps", 2}, {"15 fps", 3}, {"30 fps", 4}}), Options("DCAMFrameRate"));
  EXPECT_EQ("30 fps", Enum("DCAMFrameRate")._value);
  EXPECT_EQ("DCAM Formats", Enum("DCAMFrameRate")._group);

  EXPECT_TRUE(Log().Contains("Info: Supported video mode (17, 3)\n"));
  EXPECT_FALSE(Log().Contains("Info: Supported video mode (17, 4)\n"));
}

TEST_F(VideoModes, FrameRateIsKeptWhenTheNewModeOffersItAndReplacedOtherwise) {
  ReadCamera(kFixed);

  Enum("DCAMFrameRate").SelectByValue(FRAMERATE_15);
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_1280x960Y8);
  Validate();
  EXPECT_EQ(OptionList({{"7.5 fps", 2}, {"15 fps", 3}}), Options("DCAMFrameRate"));
  EXPECT_EQ("15 fps", Enum("DCAMFrameRate")._value);

  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_640x480Y8);
  Validate();
  EXPECT_EQ(OptionList({{"30 fps", 4}}), Options("DCAMFrameRate"));
  EXPECT_EQ("30 fps", Enum("DCAMFrameRate")._value);

  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_1280x960Y8);
  Validate();
  EXPECT_EQ("7.5 fps", Enum("DCAMFrameRate")._value);
}

TEST_F(VideoModes, Format7OffersOnlyTheFormat7FrameRate) {
  ReadCamera(kFixed);
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_FORMAT7);
  Validate();
  EXPECT_EQ(OptionList({{"FORMAT7", 8}}), Options("DCAMFrameRate"));
  EXPECT_EQ("FORMAT7", Enum("DCAMFrameRate")._value);
}

TEST_F(VideoModes, Format7ParametersAreInForceOnlyInFormat7OnceValidated) {
  ReadCamera(kFixed);
  for (const std::string& name : kFormat7Params) EXPECT_TRUE(Params().GetParam(name)._enabled) << name;

  SetUnsigned("width", 5000);
  EXPECT_TRUE(Validate());
  for (const std::string& name : kFormat7Params) EXPECT_FALSE(Params().GetParam(name)._enabled) << name;

  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_FORMAT7);
  EXPECT_EQ("Format7: width: out of range [0..1280]", ValidationError());
  for (const std::string& name : kFormat7Params) EXPECT_TRUE(Params().GetParam(name)._enabled) << name;
}

TEST_F(VideoModes, Format7ParametersTakeTheLimitsOfTheConfiguredMode) {
  ReadCamera(kFixed);

  EXPECT_EQ(OptionList({{"Mode 0", 0}, {"Mode 2", 2}}), Options("Fmt7Mode"));
  EXPECT_EQ("Mode 0", Enum("Fmt7Mode")._value);
  EXPECT_EQ("Format7", Enum("Fmt7Mode")._group);
  // The full sensor: no room is left for an offset.
  EXPECT_EQ(1280u, Typed<unsigned>("width")._value);
  EXPECT_EQ("[0..1280]", Range("width"));
  EXPECT_EQ("[0..960]", Range("height"));
  EXPECT_EQ("[0..0]", Range("offsetX"));
  EXPECT_EQ("[0..0]", Range("offsetY"));
  EXPECT_EQ(2048u, Typed<unsigned>("Fmt7PacketSize")._value);
  EXPECT_EQ("[4..4096]", Range("Fmt7PacketSize"));
  EXPECT_EQ(OptionList({{"MONO8", kMono8}, {"RAW8", kRaw8}}), Options("Fmt7PixelFormat"));
  EXPECT_EQ("RAW8", Enum("Fmt7PixelFormat")._value);
  EXPECT_EQ("Format7", Enum("Fmt7PixelFormat")._group);
}

TEST_F(VideoModes, OffsetMaximaFollowTheExtentWhileItIsInRange) {
  ReadCamera(kFixed);

  SetUnsigned("width", 640);
  SetUnsigned("height", 600);
  Validate();
  EXPECT_EQ("[0..640]", Range("offsetX"));
  EXPECT_EQ("[0..360]", Range("offsetY"));

  SetUnsigned("width", 2000);
  SetUnsigned("height", 961);
  Validate();
  EXPECT_EQ("[0..640]", Range("offsetX"));
  EXPECT_EQ("[0..360]", Range("offsetY"));
}

TEST_F(VideoModes, ChangingTheFormat7ModeChangesLimitsAndPixelFormats) {
  ReadCamera(kFixed);
  SetUnsigned("width", 320);

  Enum("Fmt7Mode").SelectByValue(2);
  Validate();
  EXPECT_EQ("[0..640]", Range("width"));
  EXPECT_EQ("[0..480]", Range("height"));
  EXPECT_EQ("[0..320]", Range("offsetX"));
  EXPECT_EQ("[8..2048]", Range("Fmt7PacketSize"));
  // RAW8 is not offered in mode 2: the first offered format takes its place.
  EXPECT_EQ(OptionList({{"MONO8", kMono8}}), Options("Fmt7PixelFormat"));
  EXPECT_EQ("MONO8", Enum("Fmt7PixelFormat")._value);

  Enum("Fmt7Mode").SelectByValue(0);
  Validate();
  EXPECT_EQ(OptionList({{"MONO8", kMono8}, {"RAW8", kRaw8}}), Options("Fmt7PixelFormat"));
  EXPECT_EQ("MONO8", Enum("Fmt7PixelFormat")._value);
}

TEST_F(VideoModes, CameraInFormat7IsReadWithItsConfiguration) {
  ReadCamera(kFormat7);

  EXPECT_EQ("FORMAT7", Enum("DCAMVideoMode")._value);
  EXPECT_EQ(OptionList({{"FORMAT7", 8}}), Options("DCAMFrameRate"));
  EXPECT_EQ("Mode 1", Enum("Fmt7Mode")._value);
  EXPECT_EQ(64u, Typed<unsigned>("offsetX")._value);
  EXPECT_EQ(32u, Typed<unsigned>("offsetY")._value);
  EXPECT_EQ(320u, Typed<unsigned>("width")._value);
  EXPECT_EQ(240u, Typed<unsigned>("height")._value);
  EXPECT_EQ(512u, Typed<unsigned>("Fmt7PacketSize")._value);
  EXPECT_EQ("[0..320]", Range("offsetX"));
  EXPECT_EQ("[0..240]", Range("offsetY"));
  EXPECT_EQ("[0..640]", Range("width"));
  EXPECT_EQ("[8..2048]", Range("Fmt7PacketSize"));
  // Only MONO16 of the table's candidates fits mode 1's bit field.
  EXPECT_EQ(OptionList({{"MONO16", kMono16}}), Options("Fmt7PixelFormat"));
  EXPECT_EQ("MONO16", Enum("Fmt7PixelFormat")._value);
  EXPECT_EQ((std::pair<unsigned, unsigned>{320, 240}), ParameterAccess::GetImageSize(Params()));
}

TEST_F(VideoModes, CameraWithoutFormat7FailsItsFirstRead) {
  OpenCamera(kNoFormat7);
  try {
    Cam().Features().GetFlySettings();
    FAIL() << "the first Format7 read did not throw";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("Camera::GetFormat7Info: Mode 0 not supported", e.what());
  }
  EXPECT_TRUE(Log().Contains(
      "WARNING: format7 configuration not available from FlyCapture. Will create Format7 parameters anyway, " +
      Cam().Tag() + "\n"));
  EXPECT_EQ(OptionList({{"640x480Y8", 5}, {"FORMAT7", 23}}), Options("DCAMVideoMode"));
  EXPECT_EQ(0u, Enum("Fmt7Mode").OptionCount());
  // The preset configuration, without limits.
  EXPECT_EQ(1500u, Typed<unsigned>("Fmt7PacketSize")._value);
  EXPECT_EQ("[0..0]", Range("Fmt7PacketSize"));
  EXPECT_EQ(0u, Typed<unsigned>("width")._value);
}

TEST_F(VideoModes, LaterReadKeepsOptionsAndRangesAndTakesTheValues) {
  ReadCamera(kFixed);
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_FORMAT7);
  Enum("Fmt7Mode").SelectByValue(2);
  Validate();
  SetUnsigned("width", 320);
  SetUnsigned("height", 240);
  SetUnsigned("Fmt7PacketSize", 1024);
  ASSERT_TRUE(Cam().Features().SetFlyFormat7Configuration());
  Log().Clear();

  ASSERT_TRUE(Cam().Features().GetFlySettings());
  EXPECT_FALSE(Log().ContainsPrefix("Info: Supported video mode"));
  EXPECT_EQ("FORMAT7", Enum("DCAMVideoMode")._value);
  EXPECT_EQ(320u, Typed<unsigned>("width")._value);
  EXPECT_EQ(240u, Typed<unsigned>("height")._value);
  // The ranges stay those the constraint gave for mode 2.
  EXPECT_EQ("[0..640]", Range("width"));
  EXPECT_EQ("[8..2048]", Range("Fmt7PacketSize"));
  EXPECT_EQ("MONO8", Enum("Fmt7PixelFormat")._value);
}

TEST_F(VideoModes, WriteInAFixedModeSetsOnlyTheVideoMode) {
  ReadCamera(kFixed);
  const Format7ImageSettings format7Before = vq::sim::CurrentFormat7Settings(kFixed);
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_640x480Y8);
  Validate();
  SetUnsigned("width", 320);

  EXPECT_TRUE(Cam().Features().LoadSettgins());
  EXPECT_EQ(VIDEOMODE_640x480Y8, vq::sim::CurrentVideoMode(kFixed));
  EXPECT_EQ(FRAMERATE_30, vq::sim::CurrentFrameRate(kFixed));
  EXPECT_TRUE(format7Before == vq::sim::CurrentFormat7Settings(kFixed));
  EXPECT_EQ(1u, vq::sim::CallCount(kFixed, "SetVideoModeAndFrameRate"));
  EXPECT_EQ(0u, vq::sim::CallCount(kFixed, "SetFormat7Configuration"));
}

TEST_F(VideoModes, WriteInFormat7SetsOnlyTheFormat7Configuration) {
  ReadCamera(kFixed);
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_FORMAT7);
  Enum("Fmt7Mode").SelectByValue(2);
  Validate();
  SetUnsigned("offsetX", 16);
  SetUnsigned("offsetY", 8);
  SetUnsigned("width", 320);
  SetUnsigned("height", 240);
  SetUnsigned("Fmt7PacketSize", 1024);

  // Entering Format7 is the Format7 write's business: the video-mode write
  // does not reach the camera.
  EXPECT_TRUE(Cam().Features().LoadSettgins());
  EXPECT_EQ(0u, vq::sim::CallCount(kFixed, "SetVideoModeAndFrameRate"));
  EXPECT_EQ(1u, vq::sim::CallCount(kFixed, "SetFormat7Configuration"));
  EXPECT_EQ(VIDEOMODE_FORMAT7, vq::sim::CurrentVideoMode(kFixed));
  Format7ImageSettings expected;
  expected.mode = static_cast<Mode>(2);
  expected.offsetX = 16;
  expected.offsetY = 8;
  expected.width = 320;
  expected.height = 240;
  expected.pixelFormat = PIXEL_FORMAT_MONO8;
  EXPECT_TRUE(expected == vq::sim::CurrentFormat7Settings(kFixed));
}

TEST_F(VideoModes, RefusedWritesFailTheWriteSequence) {
  ReadCamera(kFixed);
  // The mode changes without the constraint: 30 fps is not offered in 1280x960Y8.
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_1280x960Y8);
  EXPECT_FALSE(Cam().Features().LoadSettgins());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::SetFlyVideoMode: ERROR: Failed to set video mode " + Cam().Tag() +
                                   ": FlyCapture API Error "));
  EXPECT_TRUE(Log().Contains("Camera::LoadSettgins: Failed to set camera settings, " + Cam().Tag() + "\n"));

  Log().Clear();
  Enum("DCAMVideoMode").SelectByValue(VIDEOMODE_FORMAT7);
  SetUnsigned("width", 1300);
  EXPECT_FALSE(Cam().Features().LoadSettgins());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::SetFlyFormat7Configuration: ERROR: Failed to set format7 configuration " +
                                   Cam().Tag() + ": FlyCapture API Error "));
  EXPECT_TRUE(Log().Contains("Camera::LoadSettgins: Failed to set camera settings, " + Cam().Tag() + "\n"));
  EXPECT_EQ(VIDEOMODE_640x480YUV422, vq::sim::CurrentVideoMode(kFixed));
}

}  // namespace
