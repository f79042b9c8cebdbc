// Trigger and strobe read into parameters and written back, on simulated cameras.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "sdk/sim/SimControl.h"
#include "tests/unit/features/feature_fixture.h"

using namespace vq;

using namespace FlyCapture2;
using OptionList = std::vector<std::pair<std::string, int64_t>>;

namespace {

constexpr unsigned kTrigger = 4101;   // modes 0, 1, 3; no polarity; strobe pins 0 and 1
constexpr unsigned kPolarity = 4102;  // trigger polarity; a source the driver has no name for
constexpr unsigned kNoSwitch = 4103;  // trigger that cannot be switched; strobe pin 1 only

const char* kFleet = R"({"cameras": [
  {"model": "Trigger", "serial": 4101, "color": true,
   "properties": {"TriggerDelay": {"min": 0, "max": 4095, "value": 10, "onOff": true, "on": false, "auto": false}},
   "trigger": {"modes": [0, 1, 3], "sources": [0, 1, 2, 3, 4], "polarity": false,
               "current": {"on": true, "mode": 1, "source": 4, "parameter": 5}},
   "strobes": [{"pin": 0, "min": 0, "max": 10, "polarity": true,
                "current": {"on": true, "delay": 1.5, "duration": 2.5, "polarity": 1}},
               {"pin": 1, "min": 0, "max": 5, "polarity": false}],
   "gpio": ["in", "out", "in", "in"]},
  {"model": "Polarity", "serial": 4102, "color": false, "properties": {},
   "trigger": {"modes": [14], "sources": [0, 7], "polarity": true,
               "current": {"on": false, "mode": 14, "source": 7, "polarity": 1}},
   "strobes": [{"pin": 0, "min": 0, "max": 1}]},
  {"model": "NoSwitch", "serial": 4103, "color": false, "properties": {},
   "trigger": {"modes": [0], "sources": [0], "onOff": false},
   "strobes": [{"pin": 1, "min": 0, "max": 1}]}
]})";

class TriggerStrobe : public vqtest::FeatureFixture {
 protected:
  std::string Fleet() const override { return kFleet; }
  std::string Range(const std::string& name) {
    std::ostringstream text;
    Params().GetParam(name).PrintRange(text);
    return text.str();
  }
  uint64_t Calls(const char* operation) { return vq::sim::CallCount(Cam().SerialNumber(), operation); }
  void InjectFaults(const vq::sim::CameraFaults& faults) { vq::sim::SetFaults(Cam().SerialNumber(), faults); }
  // The log line "<prefix> <tag>: FlyCapture API Error ..." was written.
  bool LoggedWithTag(const std::string& prefix) {
    return Log().ContainsPrefix(prefix + " " + Cam().Tag() + ": FlyCapture API Error ");
  }
};

TEST_F(TriggerStrobe, TriggerParametersComeFromTheCamera) {
  OpenCamera(kTrigger);
  EXPECT_TRUE(Cam().Features().GetFlyTriggerMode());

  EXPECT_TRUE(Typed<bool>("TriggerOn")._value);
  EXPECT_EQ("[0..1]", Range("TriggerOn"));
  EXPECT_EQ(OptionList({{"GPIO0", 0}, {"GPIO1", 1}, {"GPIO2", 2}, {"GPIO3", 3}, {"None", 4}}),
            Options("TriggerSource"));
  EXPECT_EQ("None", Enum("TriggerSource")._value);
  EXPECT_EQ(OptionList({{"0", 0}, {"1", 1}, {"3", 3}}), Options("TriggerMode1"));
  EXPECT_EQ("1", Enum("TriggerMode1")._value);
  EXPECT_EQ(5u, Typed<unsigned>("TriggerParameter")._value);
  EXPECT_EQ("[0..2147483647]", Range("TriggerParameter"));
  EXPECT_FALSE(Params().HasParam("TriggerPolarity"));
  EXPECT_EQ(10u, Typed<unsigned>("TriggerDelay")._value);
  EXPECT_FALSE(Typed<bool>("TriggerDelayOn")._value);
  for (const char* name : {"TriggerOn", "TriggerSource", "TriggerMode1", "TriggerParameter", "TriggerDelay"})
    EXPECT_EQ("Strobe / Trigger", Params().GetParam(name)._group) << name;
}

TEST_F(TriggerStrobe, PolarityIsReadWhenSupportedAndAnUnknownSourceSelectsNothing) {
  OpenCamera(kPolarity);
  EXPECT_TRUE(Cam().Features().GetFlyTriggerMode());

  EXPECT_EQ(OptionList({{"Low", 0}, {"High", 1}}), Options("TriggerPolarity"));
  EXPECT_EQ("High", Enum("TriggerPolarity")._value);
  EXPECT_EQ("GPIO0", Enum("TriggerSource")._value);
  EXPECT_EQ(OptionList({{"14", 14}}), Options("TriggerMode1"));
  EXPECT_FALSE(Params().HasParam("TriggerDelay"));
  EXPECT_TRUE(Log().Contains("Info: property 'TriggerDelay' not present\n"));
}

TEST_F(TriggerStrobe, TriggerThatCannotBeSwitchedIsLeftAlone) {
  OpenCamera(kNoSwitch);
  EXPECT_TRUE(Cam().Features().GetFlyTriggerMode());
  for (const char* name : {"TriggerOn", "TriggerSource", "TriggerMode1", "TriggerParameter", "TriggerPolarity"})
    EXPECT_FALSE(Params().HasParam(name)) << name;
  EXPECT_EQ(0u, Calls("GetTriggerMode"));

  EXPECT_TRUE(Cam().Features().SetFlyTriggerMode());
  EXPECT_EQ(std::vector<std::string>{"Camera::SetFlyTriggerMode: WARNING: Trigger mode parameter not found, skipping " +
                                     Cam().Tag() + "\n"},
            Log().Messages());
  EXPECT_EQ(0u, Calls("SetTriggerMode"));
}

TEST_F(TriggerStrobe, TriggerWriteSendsTheParametersAndPolarityZeroWithoutOne) {
  OpenCamera(kTrigger);
  Cam().Features().GetFlyTriggerMode();
  Typed<bool>("TriggerOn")._value = false;
  Enum("TriggerMode1").SelectByValue(3);
  Enum("TriggerSource").SelectByValue(2);
  Typed<unsigned>("TriggerParameter")._value = 9;
  Typed<unsigned>("TriggerDelay")._value = 20;

  EXPECT_TRUE(Cam().Features().SetFlyTriggerMode());
  const std::optional<TriggerMode> written = vq::sim::LastTriggerModeWrite(kTrigger);
  ASSERT_TRUE(written.has_value());
  EXPECT_FALSE(written->onOff);
  EXPECT_EQ(3u, written->mode);
  EXPECT_EQ(2u, written->source);
  EXPECT_EQ(9u, written->parameter);
  EXPECT_EQ(0u, written->polarity);
  EXPECT_EQ(20u, vq::sim::GetPropertyState(kTrigger, TRIGGER_DELAY).valueA);
}

TEST_F(TriggerStrobe, TriggerWriteSendsThePolarityParameter) {
  OpenCamera(kPolarity);
  Cam().Features().GetFlyTriggerMode();
  EXPECT_TRUE(Cam().Features().SetFlyTriggerMode());
  ASSERT_TRUE(vq::sim::LastTriggerModeWrite(kPolarity).has_value());
  EXPECT_EQ(1u, vq::sim::LastTriggerModeWrite(kPolarity)->polarity);
}

TEST_F(TriggerStrobe, StrobePinsAreReadUpToTheFirstAbsentOne) {
  OpenCamera(kTrigger);
  EXPECT_TRUE(Cam().Features().GetFlyStrobe());

  EXPECT_EQ(3u, Calls("GetStrobeInfo"));
  EXPECT_FALSE(Params().HasParam("StrobeOn2"));
  EXPECT_TRUE(Typed<bool>("StrobeOn0")._value);
  EXPECT_FLOAT_EQ(1.5f, Typed<float>("StrobeDelay0")._value);
  EXPECT_EQ("[0..10]", Range("StrobeDelay0"));
  EXPECT_FLOAT_EQ(2.5f, Typed<float>("StrobeDuration0")._value);
  EXPECT_EQ("[0..10]", Range("StrobeDuration0"));
  EXPECT_EQ("[0..5]", Range("StrobeDuration1"));
  EXPECT_EQ(OptionList({{"Low", 0}, {"High", 1}}), Options("StrobePolarity0"));
  EXPECT_EQ("High", Enum("StrobePolarity0")._value);
  EXPECT_FALSE(Params().HasParam("StrobePolarity1"));
  EXPECT_EQ(OptionList({{"In", 0}, {"Out", 1}}), Options("GPIODirection0"));
  EXPECT_EQ("In", Enum("GPIODirection0")._value);
  EXPECT_EQ("Out", Enum("GPIODirection1")._value);
  for (const char* name : {"StrobeOn1", "StrobeDelay1", "StrobePolarity0", "GPIODirection1"})
    EXPECT_EQ("Strobe / Trigger", Params().GetParam(name)._group) << name;
}

TEST_F(TriggerStrobe, AbsentFirstPinEndsTheStrobeRead) {
  OpenCamera(kNoSwitch);
  EXPECT_TRUE(Cam().Features().GetFlyStrobe());
  EXPECT_EQ(1u, Calls("GetStrobeInfo"));
  EXPECT_FALSE(Params().HasParam("StrobeOn1"));
  EXPECT_FALSE(Params().HasParam("GPIODirection1"));
}

TEST_F(TriggerStrobe, StrobeWriteStopsWithOneWarningAtTheFirstPinWithoutParameters) {
  OpenCamera(kTrigger);
  Cam().Features().GetFlyStrobe();
  Typed<bool>("StrobeOn1")._value = true;
  Typed<float>("StrobeDelay1")._value = 0.5f;
  Enum("GPIODirection1").SelectByValue(0);
  Log().Clear();

  EXPECT_TRUE(Cam().Features().SetFlyStrobe());
  EXPECT_EQ(std::vector<std::string>{"Camera::SetFlyStrobe: WARNING: Strobe control parameter not found, skipping\n"},
            Log().Messages());
  EXPECT_EQ(2u, Calls("SetStrobe"));
  const std::optional<StrobeControl> pin0 = vq::sim::LastStrobeWrite(kTrigger, 0);
  ASSERT_TRUE(pin0.has_value());
  EXPECT_TRUE(pin0->onOff);
  EXPECT_FLOAT_EQ(1.5f, pin0->delay);
  EXPECT_FLOAT_EQ(2.5f, pin0->duration);
  EXPECT_EQ(1u, pin0->polarity);
  const std::optional<StrobeControl> pin1 = vq::sim::LastStrobeWrite(kTrigger, 1);
  ASSERT_TRUE(pin1.has_value());
  EXPECT_TRUE(pin1->onOff);
  EXPECT_FLOAT_EQ(0.5f, pin1->delay);
  EXPECT_EQ(0u, pin1->polarity);
  EXPECT_EQ(0u, vq::sim::GetGPIODirection(kTrigger, 1));
}

TEST_F(TriggerStrobe, FailedStrobeReadKeepsEarlierPinsAndEndsTheFeatureRead) {
  OpenCamera(kTrigger);
  vq::sim::CameraFaults faults;
  faults.getStrobeInfo = vq::sim::CallsFor(1);
  InjectFaults(faults);

  EXPECT_FALSE(Cam().Features().GetFlySettings());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::GetFlyStrobe: ERROR: Failed to get strobe info: FlyCapture API Error "));
  EXPECT_TRUE(Params().HasParam("StrobeOn0"));
  EXPECT_FALSE(Params().HasParam("StrobeOn1"));
  // The strobe is read before the trigger.
  EXPECT_EQ(0u, Calls("GetTriggerModeInfo"));
}

TEST_F(TriggerStrobe, FailedStrobeControlOrDirectionReadFails) {
  OpenCamera(kTrigger);
  vq::sim::CameraFaults faults;
  faults.getStrobe = vq::sim::CallsFor(0);
  InjectFaults(faults);
  EXPECT_FALSE(Cam().Features().GetFlyStrobe());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::GetFlyStrobe: ERROR: Failed to get strobe control: FlyCapture API Error "));

  faults = vq::sim::CameraFaults();
  faults.getGPIODirection = vq::sim::CallsFor(1);
  InjectFaults(faults);
  EXPECT_FALSE(Cam().Features().GetFlyStrobe());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::GetFlyStrobe: ERROR: Failed to get GPIO direction: FlyCapture API Error "));
  EXPECT_TRUE(Params().HasParam("GPIODirection0"));
  EXPECT_FALSE(Params().HasParam("GPIODirection1"));
}

TEST_F(TriggerStrobe, FailedTriggerReadsFail) {
  OpenCamera(kTrigger);
  vq::sim::CameraFaults faults;
  faults.getTriggerModeInfo = vq::sim::kEveryCall;
  InjectFaults(faults);
  EXPECT_FALSE(Cam().Features().GetFlyTriggerMode());
  EXPECT_TRUE(LoggedWithTag("Camera::GetFlyTriggerMode: ERROR: Failed to get trigger mode info"));

  faults = vq::sim::CameraFaults();
  faults.getTriggerMode = vq::sim::kEveryCall;
  InjectFaults(faults);
  EXPECT_FALSE(Cam().Features().GetFlyTriggerMode());
  EXPECT_TRUE(LoggedWithTag("Camera::GetFlyTriggerMode: ERROR: Failed to get trigger mode"));
  EXPECT_FALSE(Params().HasParam("TriggerOn"));
}

TEST_F(TriggerStrobe, FailedStrobeWriteLeavesTheTriggerAlone) {
  OpenCamera(kTrigger);
  ASSERT_TRUE(Cam().Features().GetFlySettings());
  vq::sim::CameraFaults faults;
  faults.setStrobe = vq::sim::CallsFor(0);
  InjectFaults(faults);
  vq::sim::ResetCallCounts(kTrigger);

  EXPECT_FALSE(Cam().Features().LoadSettgins());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::SetFlyStrobe: ERROR: Failed to set strobe control: FlyCapture API Error "));
  EXPECT_TRUE(Log().Contains("Camera::LoadSettgins: Failed to set camera settings, " + Cam().Tag() + "\n"));
  EXPECT_EQ(0u, Calls("SetTriggerMode"));

  faults = vq::sim::CameraFaults();
  faults.setGPIODirection = vq::sim::CallsFor(0);
  InjectFaults(faults);
  EXPECT_FALSE(Cam().Features().SetFlyStrobe());
  EXPECT_TRUE(Log().ContainsPrefix("Camera::SetFlyStrobe: ERROR: Failed to set GPIO direction: FlyCapture API Error "));
}

TEST_F(TriggerStrobe, FailedTriggerWriteFailsTheWriteSequence) {
  OpenCamera(kTrigger);
  ASSERT_TRUE(Cam().Features().GetFlySettings());
  vq::sim::CameraFaults faults;
  faults.setTriggerMode = vq::sim::kEveryCall;
  InjectFaults(faults);
  vq::sim::ResetCallCounts(kTrigger);

  EXPECT_FALSE(Cam().Features().LoadSettgins());
  EXPECT_TRUE(LoggedWithTag("Camera::SetFlyTriggerMode: ERROR: Failed to set trigger mode"));
  EXPECT_TRUE(Log().Contains("Camera::LoadSettgins: Failed to set camera settings, " + Cam().Tag() + "\n"));
  // The trigger delay is written only after the trigger mode.
  EXPECT_EQ(0u, Calls("SetProperty"));
}

}  // namespace
