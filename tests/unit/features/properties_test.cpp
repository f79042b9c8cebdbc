// Camera properties read into parameters and written back, on a simulated camera.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "sdk/sim/SimControl.h"
#include "tests/unit/features/feature_fixture.h"

using namespace vq;

using namespace FlyCapture2;

namespace {

constexpr unsigned kSerial = 4001;

// Brightness: plain. Gain: every control. Sharpness: one-push without auto.
// WhiteBalance: two values. Shutter: held in absolute mode. No Pan.
std::string FleetWithGainUpTo(unsigned gainMax) {
  return R"({"cameras": [{"model": "Props", "serial": 4001, "color": true,
   "properties": {
     "Brightness": {"min": 0, "max": 255, "value": 100, "onOff": false, "auto": false, "onePush": false},
     "Gain": {"min": 16, "max": )" +
         std::to_string(gainMax) + R"(, "value": 32, "onOff": true, "on": false, "auto": true, "manual": true,
              "autoMode": true, "onePush": true},
     "Sharpness": {"min": 0, "max": 4095, "value": 1000, "onOff": false, "auto": false, "onePush": true},
     "WhiteBalance": {"min": 0, "max": 1023, "value": 500, "valueB": 700, "onOff": true, "on": true, "auto": false,
                      "onePush": false},
     "Shutter": {"min": 1, "max": 4000, "value": 300, "absolute": true, "absMin": 0.01, "absMax": 40.0,
                 "absControl": true, "auto": false, "onOff": false, "onePush": false}
   }}]})";
}

class Properties : public vqtest::FeatureFixture {
 protected:
  std::string Fleet() const override { return FleetWithGainUpTo(64); }
  void SetUp() override {
    FeatureFixture::SetUp();
    OpenCamera(kSerial);
  }
  std::string Range(const std::string& name) {
    std::ostringstream text;
    Params().GetParam(name).PrintRange(text);
    return text.str();
  }
  void InjectFaults(const vq::sim::CameraFaults& faults) { vq::sim::SetFaults(kSerial, faults); }
  Property LastWrite(PropertyType type) {
    std::optional<Property> written = vq::sim::LastPropertyWrite(kSerial, type);
    EXPECT_TRUE(written.has_value());
    return written.value_or(Property());
  }
};

TEST_F(Properties, PropertyNotPresentYieldsNoParameters) {
  EXPECT_TRUE(Cam().Features().GetFlyProperties());
  for (const char* name : {"Pan", "PanOn", "PanAuto", "PanOnePush", "Hue", "Temperature"})
    EXPECT_FALSE(Params().HasParam(name)) << name;
  EXPECT_EQ(1u, Log().Count("Info: property 'Pan' not present\n"));
  EXPECT_TRUE(Log().Contains("Camera::GetFlyProperties: getting property Pan\n"));
  EXPECT_FALSE(Log().Contains("Info: property 'Gain' not present\n"));
}

TEST_F(Properties, SubParametersFollowTheSupportFlags) {
  Cam().Features().GetFlyProperties();
  const std::vector<std::string> names = Names();
  EXPECT_EQ((std::vector<std::string>{"Brightness", "Sharpness", "SharpnessOnePush", "WhiteBalanceOn", "WhiteBalance",
                                      "Shutter", "GainOn", "Gain", "GainAuto", "GainOnePush"}),
            std::vector<std::string>(names.begin() + 4, names.end()));

  EXPECT_EQ(32u, Typed<unsigned>("Gain")._value);
  EXPECT_EQ("[16..64]", Range("Gain"));
  EXPECT_EQ("Camera Settings", Params().GetParam("Gain")._group);
  EXPECT_FALSE(Typed<bool>("GainOn")._value);
  EXPECT_EQ("[0..0]", Range("GainOn"));
  EXPECT_TRUE(Typed<bool>("GainAuto")._value);
  EXPECT_EQ("[1..1]", Range("GainAuto"));
  EXPECT_EQ("Camera Settings", Params().GetParam("GainOnePush")._group);
  EXPECT_EQ(100u, Typed<unsigned>("Brightness")._value);
  EXPECT_EQ("[0..255]", Range("Brightness"));
}

TEST_F(Properties, LaterReadKeepsTheFirstRange) {
  Cam().Features().GetFlyProperties();
  ReopenWithFleet(FleetWithGainUpTo(128));
  vq::sim::ResetCallCounts(kSerial);
  Cam().Features().GetFlyProperties();
  EXPECT_EQ(32u, Typed<unsigned>("Gain")._value);
  EXPECT_EQ("[16..64]", Range("Gain"));
  EXPECT_EQ(5u, vq::sim::CallCount(kSerial, "GetProperty"));
}

TEST_F(Properties, WriteSendsValueAFromTheParameterAndTheRestAsRead) {
  Cam().Features().GetFlyProperties();
  Typed<unsigned>("WhiteBalance")._value = 600;
  Typed<unsigned>("Shutter")._value = 400;
  Typed<unsigned>("Brightness")._value = 7;
  EXPECT_TRUE(Cam().Features().SetFlyProperties());

  const Property whiteBalance = LastWrite(WHITE_BALANCE);
  EXPECT_EQ(600u, whiteBalance.valueA);
  EXPECT_EQ(700u, whiteBalance.valueB);
  EXPECT_TRUE(whiteBalance.onOff);
  const Property shutter = LastWrite(SHUTTER);
  EXPECT_EQ(400u, shutter.valueA);
  EXPECT_FALSE(shutter.absControl);
  EXPECT_EQ(7u, vq::sim::GetPropertyState(kSerial, BRIGHTNESS).valueA);
  // One write per property that has a parameter.
  EXPECT_EQ(5u, vq::sim::CallCount(kSerial, "SetProperty"));
}

TEST_F(Properties, WriteSendsOnlyTheSupportedControlsFromParameters) {
  Cam().Features().GetFlyProperties();
  const bool brightnessOn = vq::sim::GetPropertyState(kSerial, BRIGHTNESS).onOff;
  // Sub-parameters the camera does not support are not sent.
  ParameterAccess::SetParameter<bool>(Params(), "BrightnessOn", !brightnessOn, false, true);
  ParameterAccess::SetParameter<bool>(Params(), "SharpnessAuto", true, false, true);
  Typed<bool>("SharpnessOnePush")._value = true;
  Typed<bool>("GainOn")._value = true;
  Typed<bool>("GainAuto")._value = false;
  Typed<bool>("GainOnePush")._value = true;
  Cam().Features().SetFlyProperties();

  EXPECT_EQ(brightnessOn, LastWrite(BRIGHTNESS).onOff);
  const Property sharpness = LastWrite(SHARPNESS);
  EXPECT_TRUE(sharpness.onePush);
  EXPECT_FALSE(sharpness.autoManualMode);
  const Property gain = LastWrite(GAIN);
  EXPECT_TRUE(gain.onOff);
  EXPECT_FALSE(gain.autoManualMode);
  EXPECT_TRUE(gain.onePush);
}

TEST_F(Properties, PropertyWithoutParameterIsNotWritten) {
  EXPECT_TRUE(Cam().Features().SetFlyProperties());
  EXPECT_EQ(0u, vq::sim::CallCount(kSerial, "SetProperty"));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::SetFlyProperty"));
}

TEST_F(Properties, ParameterOfAPropertyTheCameraLacksIsSkippedSilently) {
  ParameterAccess::SetParameter<unsigned>(Params(), "Pan", 3, 0, 10);
  EXPECT_FALSE(Cam().Features().SetFlyProperty("Pan", PAN));
  EXPECT_EQ(std::vector<std::string>{"Camera::SetFlyProperty: setting property Pan\n"}, Log().Messages());
}

TEST_F(Properties, FailedReadEndsOnlyThatProperty) {
  vq::sim::CameraFaults faults;
  faults.getProperty = vq::sim::CallsFor(GAIN);
  faults.getPropertyInfo = vq::sim::CallsFor(SHUTTER);
  InjectFaults(faults);
  EXPECT_TRUE(Cam().Features().GetFlyProperties());
  EXPECT_TRUE(
      Log().ContainsPrefix("Camera::GetFlyProperty: ERROR: Failed to get property Gain: FlyCapture API Error "));
  EXPECT_TRUE(Log().Contains("Info: property 'Shutter' not present\n"));
  EXPECT_FALSE(Params().HasParam("Gain"));
  EXPECT_FALSE(Params().HasParam("GainOn"));
  EXPECT_FALSE(Params().HasParam("Shutter"));
  EXPECT_TRUE(Params().HasParam("Brightness"));
}

TEST_F(Properties, FailedWriteEndsOnlyThatProperty) {
  Cam().Features().GetFlyProperties();
  vq::sim::CameraFaults faults;
  faults.setProperty = vq::sim::CallsFor(GAIN);
  faults.getPropertyInfo = vq::sim::CallsFor(SHUTTER);
  faults.getProperty = vq::sim::CallsFor(BRIGHTNESS);
  InjectFaults(faults);
  vq::sim::ResetCallCounts(kSerial);

  EXPECT_TRUE(Cam().Features().SetFlyProperties());
  EXPECT_TRUE(
      Log().ContainsPrefix("Camera::SetFlyProperty: ERROR: Failed to set property Gain: FlyCapture API Error "));
  EXPECT_TRUE(Log().ContainsPrefix(
      "Camera::SetFlyProperty: WARNING: Failed to get property info Shutter: FlyCapture API Error "));
  EXPECT_TRUE(
      Log().ContainsPrefix("Camera::SetFlyProperty: ERROR: Failed to get property Brightness: FlyCapture API Error "));
  // Sharpness and WhiteBalance still reach the camera, and Gain's refused write.
  EXPECT_EQ(3u, vq::sim::CallCount(kSerial, "SetProperty"));
}

TEST_F(Properties, SubParameterOfAnotherTypeFailsTheWrite) {
  Cam().Features().GetFlyProperties();
  Params().AddParam(new Param<int>("Camera Settings", "GainOn", 1, 0, 1, 0));
  try {
    Cam().Features().SetFlyProperties();
    FAIL() << "the write did not throw";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("Camera::GetParameter: Paramter 'GainOn' accessed by wrong type", e.what());
  }
}

// A floating-point parameter reaches the host truncated toward zero; one that
// holds no number (NaN, an infinity) or one beyond the host's int fails the read.
struct FloatRead {
  float stored;
  bool read;
  int value;
};

class FloatProperty : public Properties, public ::testing::WithParamInterface<FloatRead> {};

TEST_P(FloatProperty, IsTruncatedOrFailsTheRead) {
  Params().AddParam(new Param<float>("Camera Settings", "Probe", GetParam().stored, -1e30f, 1e30f, 0.0f));
  _lock.unlock();
  int value = -7;
  EXPECT_EQ(GetParam().read, Cam().GetProperty("Probe", &value));
  EXPECT_EQ(GetParam().value, value);
}

INSTANTIATE_TEST_SUITE_P(Values, FloatProperty,
                         ::testing::Values(FloatRead{2.9f, true, 2}, FloatRead{-2.9f, true, -2},
                                           FloatRead{std::numeric_limits<float>::quiet_NaN(), false, -7},
                                           FloatRead{std::numeric_limits<float>::infinity(), false, -7},
                                           FloatRead{-std::numeric_limits<float>::infinity(), false, -7},
                                           FloatRead{3e9f, false, -7}));

}  // namespace
