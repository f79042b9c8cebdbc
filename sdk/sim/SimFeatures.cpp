#include "sdk/sim/SimFeatures.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vq::sim {

using namespace FlyCapture2;

namespace {

bool ValidPropertyType(PropertyType type) { return type >= 0 && static_cast<unsigned>(type) < kPropertyTypes; }

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string Range(double min, double max) { return Number(min) + " to " + Number(max); }

bool Within(double value, double min, double max) { return std::isfinite(value) && value >= min && value <= max; }

Error Invalid(const std::string& text) { return FC2_ERROR(PGRERROR_INVALID_PARAMETER, text); }

Error InvalidPropertyType(PropertyType type) {
  return Invalid("Invalid property type " + std::to_string(static_cast<int>(type)) + ".");
}

Error PropertyNotPresent(PropertyType type) {
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Property " + PropertyLabel(type) + " is not present on this camera.");
}

Error NoTrigger() { return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "This camera has no trigger."); }

Error InvalidPin(unsigned int pin) {
  return Invalid("Invalid pin " + std::to_string(pin) + " (the camera has pins 0 to 3).");
}

Error StrobeNotPresent(unsigned int pin) {
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Strobe " + std::to_string(pin) + " is not present on this camera.");
}

Error InvalidPolarity(const char* what, unsigned int polarity) {
  return Invalid(std::string("Invalid ") + what + " polarity " + std::to_string(polarity) + " (0 low, 1 high).");
}

// The pixel effects of the three properties that change the picture, as
// differences from the start-up settings, at which the pattern is exposed
// as rendered: brightness in percent of full scale, gain in dB, shutter as
// a ratio of exposure times.
constexpr double kLevelsPerPercent = 255.0 / 100.0;

}  // namespace

SimFeatures::SimFeatures(const FeatureConfig& config)
    : _config(config),
      _trigger(config.trigger.state),
      _triggerPeriodMs(config.trigger.periodMs),
      _gpioDirections(config.gpioDirections) {
  for (unsigned int i = 0; i < kPropertyTypes; ++i) {
    const PropertyConfig& property = config.properties[i];
    Property& state = _properties[i];
    state = property.state;
    state.type = static_cast<PropertyType>(i);
    state.present = property.info.present;
    state.onePush = false;
    state.absValue = AbsoluteOf(property.info, state.valueA);
  }
  for (unsigned int pin = 0; pin < kPins; ++pin) {
    _strobes[pin] = config.strobes[pin].state;
    _strobes[pin].source = pin;
  }
  UpdateLevels();
}

// ---- properties ---------------------------------------------------------------

Error SimFeatures::GetPropertyInfo(PropertyInfo* info) const {
  PropertyType type = info->type;
  if (!ValidPropertyType(type)) return InvalidPropertyType(type);
  *info = _config.properties[type].info.present ? _config.properties[type].info : PropertyInfo();
  info->type = type;
  return Error();
}

Error SimFeatures::GetProperty(Property* property) const {
  PropertyType type = property->type;
  if (!ValidPropertyType(type)) return InvalidPropertyType(type);
  const PropertyInfo& info = _config.properties[type].info;
  if (!info.present) return PropertyNotPresent(type);
  *property = _properties[type];
  if (!info.absValSupported) property->absValue = 0.0f;
  if (!info.readOutSupported) {
    property->valueA = property->valueB = 0;
    property->absValue = 0.0f;
  }
  return Error();
}

Error SimFeatures::SetProperty(const Property& property) {
  PropertyType type = property.type;
  if (!ValidPropertyType(type)) return InvalidPropertyType(type);
  _propertyWrites[type] = property;
  const PropertyConfig& config = _config.properties[type];
  const PropertyInfo& info = config.info;
  if (!info.present) return PropertyNotPresent(type);
  Error error = CheckPropertyValues(type, property);
  if (error != PGRERROR_OK) return error;

  Property& state = _properties[type];
  const bool absolute = property.absControl && info.absValSupported;
  if (info.onOffSupported) state.onOff = property.onOff;
  state.autoManualMode = info.autoSupported && (property.autoManualMode || !info.manualSupported);
  state.absControl = absolute;
  if (info.manualSupported && !state.autoManualMode) {
    state.valueA = absolute ? ValueOfAbsolute(info, property.absValue) : property.valueA;
    state.absValue = absolute ? property.absValue : AbsoluteOf(info, state.valueA);
    if (type == WHITE_BALANCE) state.valueB = property.valueB;
  }
  // Automatic control holds the value where the camera's own adjustment
  // settles; a one-push adjustment gets there once, and the camera clears
  // the flag when it is done.
  if (state.autoManualMode || (info.onePushSupported && property.onePush)) {
    state.valueA = config.state.valueA;
    state.valueB = config.state.valueB;
    state.absValue = AbsoluteOf(info, state.valueA);
  }
  state.onePush = false;
  if (type == BRIGHTNESS || type == GAIN || type == SHUTTER) UpdateLevels();
  return Error();
}

Error SimFeatures::CheckPropertyValues(PropertyType type, const Property& property) const {
  const PropertyInfo& info = _config.properties[type].info;
  const std::string name = PropertyLabel(type);
  if (property.absControl && info.absValSupported) {
    if (!Within(property.absValue, info.absMin, info.absMax))
      return Invalid(name + ": absolute value " + Number(property.absValue) + " is outside " +
                     Range(info.absMin, info.absMax) + ".");
  } else if (property.valueA < info.min || property.valueA > info.max) {
    return Invalid(name + ": value " + Number(property.valueA) + " is outside " + Range(info.min, info.max) + ".");
  }
  if (type == WHITE_BALANCE && (property.valueB < info.min || property.valueB > info.max))
    return Invalid(name + ": value B " + Number(property.valueB) + " is outside " + Range(info.min, info.max) + ".");
  return Error();
}

double SimFeatures::StartAbsolute(PropertyType type) const {
  const PropertyConfig& config = _config.properties[type];
  return AbsoluteOf(config.info, config.state.valueA);
}

double SimFeatures::ActingAbsolute(PropertyType type) const {
  const Property& state = _properties[type];
  // A property that is absent or switched off does not act.
  return state.present && state.onOff ? state.absValue : StartAbsolute(type);
}

void SimFeatures::UpdateLevels() {
  const double offset = (ActingAbsolute(BRIGHTNESS) - StartAbsolute(BRIGHTNESS)) * kLevelsPerPercent;
  double factor = std::pow(10.0, (ActingAbsolute(GAIN) - StartAbsolute(GAIN)) / 20.0);
  const double startShutter = StartAbsolute(SHUTTER);
  if (startShutter > 0) factor *= ActingAbsolute(SHUTTER) / startShutter;
  _levels = LevelTransfer::Make(factor, offset);
}

// ---- trigger ------------------------------------------------------------------------

Error SimFeatures::GetTriggerModeInfo(TriggerModeInfo* info) const {
  *info = _config.trigger.info.present ? _config.trigger.info : TriggerModeInfo();
  return Error();
}

Error SimFeatures::GetTriggerMode(TriggerMode* mode) const {
  const TriggerModeInfo& info = _config.trigger.info;
  if (!info.present) return NoTrigger();
  *mode = _trigger;
  if (!info.readOutSupported) mode->polarity = mode->source = mode->mode = mode->parameter = 0;
  if (!info.valueReadable) mode->parameter = 0;
  return Error();
}

Error SimFeatures::SetTriggerMode(const TriggerMode& mode) {
  _triggerWrite = mode;
  const TriggerModeInfo& info = _config.trigger.info;
  if (!info.present) return NoTrigger();
  if (!TriggerModeSupported(info, mode.mode))
    return Invalid("Trigger mode " + std::to_string(mode.mode) + " is not supported by this camera.");
  if (!TriggerSourceSupported(info, mode.source))
    return Invalid("Trigger source " + std::to_string(mode.source) + " is not supported by this camera.");
  if (info.polaritySupported && mode.polarity > 1) return InvalidPolarity("trigger", mode.polarity);
  if (info.onOffSupported) _trigger.onOff = mode.onOff;
  if (info.polaritySupported) _trigger.polarity = mode.polarity;
  _trigger.source = mode.source;
  _trigger.mode = mode.mode;
  _trigger.parameter = mode.parameter;
  return Error();
}

// ---- strobe and GPIO --------------------------------------------------------------

Error SimFeatures::GetStrobeInfo(StrobeInfo* info) const {
  unsigned int pin = info->source;
  if (pin >= kPins) return InvalidPin(pin);
  *info = _config.strobes[pin].info.present ? _config.strobes[pin].info : StrobeInfo();
  info->source = pin;
  return Error();
}

Error SimFeatures::GetStrobe(StrobeControl* control) const {
  unsigned int pin = control->source;
  if (pin >= kPins) return InvalidPin(pin);
  const StrobeInfo& info = _config.strobes[pin].info;
  if (!info.present) return StrobeNotPresent(pin);
  *control = _strobes[pin];
  if (!info.readOutSupported) control->delay = control->duration = 0.0f;
  return Error();
}

Error SimFeatures::SetStrobe(const StrobeControl& control) {
  unsigned int pin = control.source;
  if (pin >= kPins) return InvalidPin(pin);
  _strobeWrites[pin] = control;
  const StrobeInfo& info = _config.strobes[pin].info;
  if (!info.present) return StrobeNotPresent(pin);
  const std::string name = "Strobe " + std::to_string(pin);
  if (!Within(control.delay, info.minValue, info.maxValue))
    return Invalid(name + ": delay " + Number(control.delay) + " is outside " + Range(info.minValue, info.maxValue) +
                   ".");
  if (!Within(control.duration, info.minValue, info.maxValue))
    return Invalid(name + ": duration " + Number(control.duration) + " is outside " +
                   Range(info.minValue, info.maxValue) + ".");
  if (info.polaritySupported && control.polarity > 1) return InvalidPolarity("strobe", control.polarity);
  StrobeControl& state = _strobes[pin];
  if (info.onOffSupported) state.onOff = control.onOff;
  if (info.polaritySupported) state.polarity = control.polarity;
  state.delay = control.delay;
  state.duration = control.duration;
  return Error();
}

Error SimFeatures::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) const {
  if (pin >= kPins) return InvalidPin(pin);
  *direction = _gpioDirections[pin];
  return Error();
}

Error SimFeatures::SetGPIOPinDirection(unsigned int pin, unsigned int direction) {
  if (pin >= kPins) return InvalidPin(pin);
  if (direction > 1) return Invalid("Invalid GPIO direction " + std::to_string(direction) + " (0 input, 1 output).");
  _gpioDirections[pin] = direction;
  return Error();
}

}  // namespace vq::sim
