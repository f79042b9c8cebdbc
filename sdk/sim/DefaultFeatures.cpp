#include "sdk/sim/DefaultFeatures.h"

#include <cstdio>

namespace vq::sim {

using namespace FlyCapture2;

namespace {

// A present property in manual mode, switched on, with its integer range
// mapped onto itself until Absolute says otherwise.
class PropertyBuilder {
 public:
  PropertyBuilder(unsigned int min, unsigned int max, unsigned int value) {
    _property.info.present = true;
    _property.info.manualSupported = true;
    _property.info.readOutSupported = true;
    _property.info.min = min;
    _property.info.max = max;
    _property.info.absMin = static_cast<float>(min);
    _property.info.absMax = static_cast<float>(max);
    _property.state.present = true;
    _property.state.onOff = true;
    _property.state.valueA = value;
  }
  PropertyBuilder& Auto() {
    _property.info.autoSupported = true;
    return *this;
  }
  PropertyBuilder& OnePush() {
    _property.info.onePushSupported = true;
    return *this;
  }
  PropertyBuilder& Switchable(bool on) {
    _property.info.onOffSupported = true;
    _property.state.onOff = on;
    return *this;
  }
  PropertyBuilder& Absolute(float min, float max, const char* units, const char* abbreviation) {
    _property.info.absValSupported = true;
    _property.info.absMin = min;
    _property.info.absMax = max;
    std::snprintf(_property.info.pUnits, sizeof _property.info.pUnits, "%s", units);
    std::snprintf(_property.info.pUnitAbbr, sizeof _property.info.pUnitAbbr, "%s", abbreviation);
    return *this;
  }
  PropertyBuilder& ReadOnly() {
    _property.info.manualSupported = false;
    return *this;
  }
  PropertyBuilder& ValueB(unsigned int value) {
    _property.state.valueB = value;
    return *this;
  }
  operator PropertyConfig() const { return _property; }

 private:
  PropertyConfig _property;
};

// The properties both cameras share. Brightness, gain and shutter start at
// 0 %, 0 dB and 16.67 ms (half the integer range).
void AddCommonProperties(FeatureConfig* features) {
  auto& p = features->properties;
  p[BRIGHTNESS] = PropertyBuilder(0, 255, 0).Absolute(0.0f, 25.0f, "percent", "%");
  p[AUTO_EXPOSURE] =
      PropertyBuilder(1, 1023, 512).Auto().OnePush().Switchable(true).Absolute(-7.585f, 2.414f, "EV", "EV");
  p[SHARPNESS] = PropertyBuilder(0, 4095, 1024).Auto();
  p[GAMMA] = PropertyBuilder(512, 4095, 1024).Switchable(false).Absolute(0.5f, 3.999f, "", "");
  p[SHUTTER] =
      PropertyBuilder(1, 1000, 500).Auto().OnePush().Absolute(1.0f / 30.0f, 1000.0f / 30.0f, "milliseconds", "ms");
  p[GAIN] = PropertyBuilder(0, 480, 0).Auto().OnePush().Absolute(0.0f, 24.0f, "decibels", "dB");
  p[FRAME_RATE] =
      PropertyBuilder(1, 480, 480).Auto().Switchable(false).Absolute(0.0625f, 30.0f, "frames per second", "fps");
  p[TEMPERATURE] = PropertyBuilder(0, 4095, 3132).ReadOnly().Absolute(0.0f, 409.5f, "kelvin", "K");
}

TriggerConfig Trigger(std::initializer_list<unsigned int> modes, std::initializer_list<unsigned int> sources) {
  TriggerConfig trigger;
  trigger.info.present = true;
  trigger.info.readOutSupported = true;
  trigger.info.onOffSupported = true;
  trigger.info.valueReadable = true;
  for (unsigned int mode : modes) trigger.info.modeMask |= TriggerModeBit(mode);
  for (unsigned int source : sources) trigger.info.sourceMask |= 1u << source;
  trigger.state.mode = *modes.begin();
  trigger.state.source = *sources.begin();
  return trigger;
}

StrobeConfig Strobe(unsigned int pin, bool polarity) {
  StrobeConfig strobe;
  strobe.info.source = pin;
  strobe.info.present = true;
  strobe.info.readOutSupported = true;
  strobe.info.onOffSupported = true;
  strobe.info.polaritySupported = polarity;
  strobe.info.minValue = 0.0f;
  strobe.info.maxValue = 4.0f;  // ms
  strobe.state.source = pin;
  strobe.state.duration = 1.0f;
  return strobe;
}

}  // namespace

FeatureConfig DefaultColorFeatures() {
  FeatureConfig features;
  AddCommonProperties(&features);
  auto& p = features.properties;
  p[WHITE_BALANCE] = PropertyBuilder(0, 1023, 550).ValueB(810).OnePush().Switchable(true);
  p[HUE] = PropertyBuilder(0, 4095, 2048).Switchable(false).Absolute(-180.0f, 180.0f, "degrees", "deg");
  p[SATURATION] = PropertyBuilder(0, 4095, 1024).Auto().Switchable(true).Absolute(0.0f, 399.9f, "percent", "%");
  p[TRIGGER_DELAY] = PropertyBuilder(0, 4095, 0).Switchable(false).Absolute(0.0f, 4.095f, "milliseconds", "ms");
  features.trigger = Trigger({0, 1, 3, 14, 15}, {0, 1, 2, 3});
  features.trigger.info.polaritySupported = true;
  features.trigger.info.softwareTriggerSupported = true;
  features.strobes[0] = Strobe(0, true);
  features.strobes[1] = Strobe(1, true);
  features.gpioDirections = {0, 1, 0, 0};
  return features;
}

FeatureConfig DefaultMonoFeatures() {
  FeatureConfig features;
  AddCommonProperties(&features);
  features.trigger = Trigger({0, 1, 3}, {0, 2});
  features.strobes[0] = Strobe(0, false);
  return features;
}

}  // namespace vq::sim
