// Properties of the simulated cameras: what they report, how writes are
// checked and take effect, and how brightness, gain and shutter change the
// pixel levels of the frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "sdk/sim/LevelTransfer.h"
#include "sdk/sim/TestPattern.h"
#include "sim_test_support.h"

namespace simtest {
namespace {

class SimPropertiesTest : public SimTest {
 protected:
  void Connect(unsigned int serial) {
    vq::sim::SetFreeRunning(serial, true);
    ASSERT_TRUE(Ok(ConnectBySerial(_camera, serial)));
  }

  PropertyInfo Info(PropertyType type) {
    PropertyInfo info;
    info.type = type;
    EXPECT_TRUE(Ok(_camera.GetPropertyInfo(&info)));
    return info;
  }

  Property Read(PropertyType type) {
    Property property;
    property.type = type;
    EXPECT_TRUE(Ok(_camera.GetProperty(&property)));
    return property;
  }

  // Reads the property, changes the record and writes it back.
  Error Write(PropertyType type, const std::function<void(Property&)>& change) {
    Property property = Read(type);
    change(property);
    return _camera.SetProperty(&property);
  }

  // Frame 1 of a fresh capture.
  Image Grab() {
    Image image;
    EXPECT_TRUE(Ok(_camera.StartCapture()));
    EXPECT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
    EXPECT_TRUE(Ok(_camera.StopCapture()));
    return image;
  }

  // Every byte after the frame stamp of `after` against `expected` of the
  // same byte of `before`, within `tolerance` levels.
  static void ExpectLevels(const Image& before, const Image& after, const std::function<double(int)>& expected,
                           double tolerance = 0) {
    ASSERT_EQ(before.GetDataSize(), after.GetDataSize());
    int mismatches = 0;
    for (unsigned int i = vq::sim::TestPattern::kStampBytes; i < after.GetDataSize() && mismatches < 5; ++i) {
      double want = expected(before.GetData()[i]);
      if (std::abs(after.GetData()[i] - want) > tolerance) {
        ADD_FAILURE() << "byte " << i << ": " << int(before.GetData()[i]) << " became " << int(after.GetData()[i])
                      << ", expected " << want;
        ++mismatches;
      }
    }
  }

  static bool SamePixels(const Image& a, const Image& b) {
    const unsigned int from = vq::sim::TestPattern::kStampBytes;
    return a.GetDataSize() == b.GetDataSize() &&
           std::equal(a.GetData() + from, a.GetData() + a.GetDataSize(), b.GetData() + from);
  }

  Camera _camera;
};

// ---- what the cameras report --------------------------------------------------

TEST_F(SimPropertiesTest, DefaultCamerasReportRealisticPropertySets) {
  const PropertyType colour[] = {BRIGHTNESS, AUTO_EXPOSURE, SHARPNESS, WHITE_BALANCE, HUE,        SATURATION,
                                 GAMMA,      SHUTTER,       GAIN,      TRIGGER_DELAY, FRAME_RATE, TEMPERATURE};
  const PropertyType mono[] = {BRIGHTNESS, AUTO_EXPOSURE, SHARPNESS, GAMMA, SHUTTER, GAIN, FRAME_RATE, TEMPERATURE};
  for (auto [serial, present] : {std::pair{kColor, std::vector<PropertyType>(std::begin(colour), std::end(colour))},
                                 std::pair{kMono, std::vector<PropertyType>(std::begin(mono), std::end(mono))}}) {
    Camera camera;
    ASSERT_TRUE(Ok(ConnectBySerial(camera, serial)));
    for (int type = BRIGHTNESS; type <= TEMPERATURE; ++type) {
      PropertyInfo info;
      info.type = static_cast<PropertyType>(type);
      ASSERT_TRUE(Ok(camera.GetPropertyInfo(&info)));
      bool expected = std::find(present.begin(), present.end(), type) != present.end();
      EXPECT_EQ(info.present, expected) << "serial " << serial << " type " << type;
      EXPECT_EQ(info.type, type);
    }
  }

  Connect(kColor);
  PropertyInfo brightness = Info(BRIGHTNESS);
  EXPECT_TRUE(brightness.manualSupported);
  EXPECT_FALSE(brightness.autoSupported || brightness.onOffSupported || brightness.onePushSupported);
  EXPECT_EQ(brightness.min, 0u);
  EXPECT_EQ(brightness.max, 255u);
  EXPECT_STREQ(brightness.pUnitAbbr, "%");

  PropertyInfo whiteBalance = Info(WHITE_BALANCE);
  EXPECT_TRUE(whiteBalance.onePushSupported && whiteBalance.onOffSupported);
  EXPECT_FALSE(whiteBalance.autoSupported) << "one-push without automatic mode";
  Property balance = Read(WHITE_BALANCE);
  EXPECT_EQ(balance.valueA, 550u);
  EXPECT_EQ(balance.valueB, 810u);

  PropertyInfo shutter = Info(SHUTTER);
  EXPECT_TRUE(shutter.absValSupported && shutter.autoSupported && shutter.onePushSupported);
  EXPECT_STREQ(shutter.pUnits, "milliseconds");
  EXPECT_FLOAT_EQ(shutter.absMax, 1000.0f / 30.0f);
  EXPECT_NEAR(Read(SHUTTER).absValue, 500.0 / 30.0, 1e-4);

  EXPECT_FALSE(Info(TEMPERATURE).manualSupported);
  PropertyInfo pan = Info(PAN);
  EXPECT_FALSE(pan.present);
  EXPECT_EQ(pan.max, 0u);
}

TEST_F(SimPropertiesTest, AbsentOrUnknownPropertyIsRefused) {
  Connect(kMono);
  Property property;
  property.type = WHITE_BALANCE;
  Error error = _camera.GetProperty(&property);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(), "Property WhiteBalance is not present on this camera.");
  EXPECT_EQ(_camera.SetProperty(&property).GetType(), PGRERROR_NOT_IMPLEMENTED);

  property.type = UNSPECIFIED_PROPERTY_TYPE;
  error = _camera.SetProperty(&property);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Invalid property type 18.");
  PropertyInfo info;
  info.type = static_cast<PropertyType>(-1);
  EXPECT_EQ(_camera.GetPropertyInfo(&info).GetType(), PGRERROR_INVALID_PARAMETER);
}

// ---- writes ----------------------------------------------------------------------

TEST_F(SimPropertiesTest, ValuesOutsideTheRangeAreRefusedAndChangeNothing) {
  Connect(kColor);
  Error error = Write(GAIN, [](Property& p) { p.valueA = 481; });
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Gain: value 481 is outside 0 to 480.");
  EXPECT_EQ(Read(GAIN).valueA, 0u);

  error = Write(SHUTTER, [](Property& p) {
    p.absControl = true;
    p.absValue = 40.0f;
  });
  EXPECT_STREQ(error.GetDescription(), "Shutter: absolute value 40 is outside 0.0333333 to 33.3333.");
  error = Write(WHITE_BALANCE, [](Property& p) { p.valueB = 1024; });
  EXPECT_STREQ(error.GetDescription(), "WhiteBalance: value B 1024 is outside 0 to 1023.");
  EXPECT_EQ(Read(WHITE_BALANCE).valueB, 810u);
  ASSERT_TRUE(vq::sim::LastPropertyWrite(kColor, WHITE_BALANCE).has_value());
  EXPECT_EQ(vq::sim::LastPropertyWrite(kColor, WHITE_BALANCE)->valueB, 1024u) << "recorded as sent";
}

TEST_F(SimPropertiesTest, UnsupportedControlBitsAreIgnoredAndReadOnlyValuesStay) {
  Connect(kColor);
  ASSERT_TRUE(Ok(Write(BRIGHTNESS, [](Property& p) {
    p.valueA = 10;
    p.onOff = false;  // Brightness cannot be switched off
    p.autoManualMode = true;
    p.onePush = true;
  })));
  Property brightness = Read(BRIGHTNESS);
  EXPECT_EQ(brightness.valueA, 10u);
  EXPECT_TRUE(brightness.onOff);
  EXPECT_FALSE(brightness.autoManualMode);
  EXPECT_FALSE(brightness.onePush);

  ASSERT_TRUE(Ok(Write(TEMPERATURE, [](Property& p) { p.valueA = 100; })));
  EXPECT_EQ(Read(TEMPERATURE).valueA, 3132u);

  ASSERT_TRUE(Ok(Write(SHARPNESS, [](Property& p) {  // no absolute mode
    p.valueA = 2000;
    p.absControl = true;
    p.absValue = 5.0f;
  })));
  Property sharpness = Read(SHARPNESS);
  EXPECT_EQ(sharpness.valueA, 2000u);
  EXPECT_FALSE(sharpness.absControl);
  EXPECT_EQ(sharpness.absValue, 0.0f) << "a property without absolute mode reports no absolute value";
}

TEST_F(SimPropertiesTest, AbsoluteValueFollowsTheIntegerValueAndBack) {
  Connect(kColor);
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) { p.valueA = 240; })));
  EXPECT_FLOAT_EQ(Read(GAIN).absValue, 12.0f);
  ASSERT_TRUE(Ok(Write(SHUTTER, [](Property& p) {
    p.absControl = true;
    p.absValue = 10.0f;
  })));
  Property shutter = Read(SHUTTER);
  EXPECT_TRUE(shutter.absControl);
  EXPECT_EQ(shutter.valueA, 300u);
  EXPECT_FLOAT_EQ(shutter.absValue, 10.0f);
  ASSERT_TRUE(Ok(Write(SHUTTER, [](Property& p) {
    p.absControl = false;
    p.valueA = 600;
  })));
  EXPECT_NEAR(Read(SHUTTER).absValue, 20.0, 1e-4);
}

TEST_F(SimPropertiesTest, AutomaticAndOnePushAdjustmentSettleOnTheStartUpValues) {
  Connect(kColor);
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) { p.valueA = 200; })));
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) {
    p.autoManualMode = true;
    p.valueA = 300;  // the camera's own control decides the value
  })));
  Property gain = Read(GAIN);
  EXPECT_TRUE(gain.autoManualMode);
  EXPECT_EQ(gain.valueA, 0u);

  ASSERT_TRUE(Ok(Write(WHITE_BALANCE, [](Property& p) {
    p.valueA = 100;
    p.valueB = 200;
  })));
  EXPECT_EQ(Read(WHITE_BALANCE).valueB, 200u);
  ASSERT_TRUE(Ok(Write(WHITE_BALANCE, [](Property& p) { p.onePush = true; })));
  Property balance = Read(WHITE_BALANCE);
  EXPECT_FALSE(balance.onePush) << "the camera clears the flag when done";
  EXPECT_EQ(balance.valueA, 550u);
  EXPECT_EQ(balance.valueB, 810u);
  EXPECT_TRUE(vq::sim::LastPropertyWrite(kColor, WHITE_BALANCE)->onePush);
}

TEST_F(SimPropertiesTest, ValueWithoutReadOutReadsAsZero) {
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "M", "serial": 7, "color": false,
      "properties": {"Gain": {"readOut": false, "value": 40}}}]})");
  Connect(7);
  Property gain = Read(GAIN);
  EXPECT_EQ(gain.valueA, 0u);
  EXPECT_EQ(gain.absValue, 0.0f);
  EXPECT_EQ(vq::sim::GetPropertyState(7, GAIN).valueA, 40u);
  EXPECT_FLOAT_EQ(vq::sim::GetPropertyState(7, GAIN).absValue, 2.0f);
  EXPECT_THROW(vq::sim::GetPropertyState(7, UNSPECIFIED_PROPERTY_TYPE), std::invalid_argument);
}

// ---- pixel levels -------------------------------------------------------------------

TEST_F(SimPropertiesTest, AtStartUpValuesFramesAreThePatternUnchanged) {
  Connect(kMono);
  Image frame = Grab();
  vq::sim::FrameLayout layout;
  layout.width = layout.sensorWidth = 640;
  layout.height = layout.sensorHeight = 480;
  layout.format = PIXEL_FORMAT_MONO8;
  Image pattern;
  vq::sim::TestPattern(layout).Render(1, &pattern);
  EXPECT_TRUE(SamePixels(frame, pattern));

  ASSERT_TRUE(Ok(Write(BRIGHTNESS, [](Property& p) { p.valueA = 100; })));
  EXPECT_FALSE(SamePixels(Grab(), pattern));
  ASSERT_TRUE(Ok(Write(BRIGHTNESS, [](Property& p) { p.valueA = 0; })));
  EXPECT_TRUE(SamePixels(Grab(), pattern));
}

TEST_F(SimPropertiesTest, BrightnessRaisesEveryLevelUpToFullScale) {
  Connect(kMono);
  Image before = Grab();
  ASSERT_TRUE(Ok(Write(BRIGHTNESS, [](Property& p) { p.valueA = 204; })));  // 20 % of full scale
  ExpectLevels(before, Grab(), [](int level) { return std::min(255, level + 51); });
}

TEST_F(SimPropertiesTest, ShutterAndGainScaleTheLevels) {
  Connect(kMono);
  Image before = Grab();
  ASSERT_TRUE(Ok(Write(SHUTTER, [](Property& p) { p.valueA = 250; })));  // half the start-up exposure
  ExpectLevels(
      before, Grab(), [](int level) { return level / 2.0; }, 0.5);

  ASSERT_TRUE(Ok(Write(SHUTTER, [](Property& p) { p.valueA = 500; })));
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) { p.valueA = 120; })));  // 6 dB
  ExpectLevels(
      before, Grab(), [](int level) { return std::min(255.0, level * std::pow(10.0, 6.0 / 20)); }, 0.5);
}

TEST_F(SimPropertiesTest, GainInAutomaticModeOrSwitchedOffDoesNotChangeTheLevels) {
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "M", "serial": 7, "color": false,
      "properties": {"Gain": {"onOff": true}}}]})");
  Connect(7);
  Image before = Grab();
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) {
    p.valueA = 400;
    p.onOff = false;
  })));
  EXPECT_TRUE(SamePixels(before, Grab()));
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) { p.onOff = true; })));
  EXPECT_FALSE(SamePixels(before, Grab()));
  ASSERT_TRUE(Ok(Write(GAIN, [](Property& p) { p.autoManualMode = true; })));
  EXPECT_TRUE(SamePixels(before, Grab()));
}

TEST_F(SimPropertiesTest, YuvFramesChangeInLumaAndKeepTheirColours) {
  Connect(kColor);  // 640x480 YUV422: U Y V Y
  Image before = Grab();
  ASSERT_TRUE(Ok(Write(BRIGHTNESS, [](Property& p) { p.valueA = 204; })));
  Image after = Grab();
  for (unsigned int i = 8; i < after.GetDataSize(); ++i) {
    int expected = i % 2 ? std::min(255, before.GetData()[i] + 44) : before.GetData()[i];  // 51 * 219 / 255
    ASSERT_EQ(after.GetData()[i], expected) << "byte " << i;
  }
}

TEST_F(SimPropertiesTest, SixteenBitFramesScaleTheirFullValues) {
  Connect(kMono);
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_1280x960Y16, FRAMERATE_15)));
  Image before = Grab();
  ASSERT_TRUE(Ok(Write(SHUTTER, [](Property& p) { p.valueA = 250; })));
  Image after = Grab();
  for (unsigned int i = 8; i + 1 < after.GetDataSize(); i += 2) {
    int was = before.GetData()[i] | before.GetData()[i + 1] << 8;
    int now = after.GetData()[i] | after.GetData()[i + 1] << 8;
    ASSERT_NEAR(now, was / 2.0, 1.0) << "pixel " << i / 2;
  }
}

// ---- the level tables ------------------------------------------------------------------

TEST(LevelTransfer, NeutralSettingsNeedNoTable) {
  EXPECT_EQ(vq::sim::LevelTransfer::Make(1.0, 0.0), nullptr);
  auto levels = vq::sim::LevelTransfer::Make(2.0, -10.0);
  ASSERT_NE(levels, nullptr);
  EXPECT_EQ(levels->Level(0), 0);
  EXPECT_EQ(levels->Level(100), 190);
  EXPECT_EQ(levels->Level(200), 255);
  EXPECT_EQ(levels->Luma(16), 7) << "16 + 0 * 2 - 10 * 219 / 255";
  EXPECT_EQ(levels->Chroma(128), 128);
  EXPECT_EQ(levels->Chroma(138), 148);
  EXPECT_EQ(levels->Level16(2000), 4000 - 2570);
  EXPECT_EQ(levels->Level16(1000), 0);
}

TEST(LevelTransfer, CopyKnowsWhichYuvBytesAreLuma) {
  auto levels = vq::sim::LevelTransfer::Make(1.0, 51.0);
  const uint8_t yuv411[] = {128, 100, 100, 128, 100, 100, 128, 100};  // U Y Y V Y Y | U Y
  uint8_t out[sizeof yuv411];
  levels->Copy(PIXEL_FORMAT_411YUV8, yuv411, out, sizeof out);
  const uint8_t expected[] = {128, 144, 144, 128, 144, 144, 128, 144};
  EXPECT_TRUE(std::equal(out, out + sizeof out, expected));
}

}  // namespace
}  // namespace simtest
