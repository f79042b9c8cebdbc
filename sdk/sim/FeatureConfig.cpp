#include "sdk/sim/FeatureConfig.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace vq::sim {

using namespace FlyCapture2;

namespace {

const char* const propertyNames[] = {
    "Brightness", "AutoExposure", "Sharpness",   "WhiteBalance", "Hue",       "Saturation",
    "Gamma",      "Iris",         "Focus",       "Zoom",         "Pan",       "Tilt",
    "Shutter",    "Gain",         "TriggerMode", "TriggerDelay", "FrameRate", "Temperature",
};
static_assert(std::size(propertyNames) == kPropertyTypes);

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string Range(double min, double max) { return Number(min) + " to " + Number(max); }

bool Within(double value, double min, double max) { return std::isfinite(value) && value >= min && value <= max; }

std::string CheckProperty(PropertyType type, const PropertyConfig& property) {
  const PropertyInfo& info = property.info;
  const Property& state = property.state;
  if (!info.present) return {};
  const std::string name = PropertyName(type);
  if (info.min > info.max) return name + ": min " + Number(info.min) + " is above max " + Number(info.max);
  if (!std::isfinite(info.absMin) || !std::isfinite(info.absMax) || info.absMin > info.absMax)
    return name + ": the absolute range " + Range(info.absMin, info.absMax) + " is not a range";
  if (state.valueA < info.min || state.valueA > info.max)
    return name + ": value " + Number(state.valueA) + " is outside " + Range(info.min, info.max);
  if (type == WHITE_BALANCE && (state.valueB < info.min || state.valueB > info.max))
    return name + ": value B " + Number(state.valueB) + " is outside " + Range(info.min, info.max);
  if (type != WHITE_BALANCE && state.valueB != 0) return name + ": only WhiteBalance has a value B";
  if (state.autoManualMode && !info.autoSupported) return name + ": starts in automatic mode without supporting it";
  if (!state.autoManualMode && !info.manualSupported && info.autoSupported)
    return name + ": without manual control it must start in automatic mode";
  if (!state.onOff && !info.onOffSupported) return name + ": starts switched off but cannot be switched";
  if (state.absControl && !info.absValSupported) return name + ": starts in absolute mode without supporting it";
  return {};
}

std::string CheckTrigger(const TriggerConfig& trigger) {
  const TriggerModeInfo& info = trigger.info;
  const TriggerMode& state = trigger.state;
  if (!info.present) return {};
  if ((info.modeMask & 0xFFFFu) == 0 || (info.modeMask & ~0xFFFFu) != 0)
    return "the trigger's mode mask must name modes 0 to 15 only, and at least one";
  if (info.sourceMask == 0) return "the trigger has no source";
  if (!TriggerModeSupported(info, state.mode))
    return "the trigger starts in mode " + Number(state.mode) + ", which it does not support";
  if (!TriggerSourceSupported(info, state.source))
    return "the trigger starts with source " + Number(state.source) + ", which it does not support";
  if (state.polarity > 1) return "the trigger's polarity must be 0 or 1";
  if (state.polarity != 0 && !info.polaritySupported)
    return "the trigger starts with polarity 1 without supporting polarity";
  return {};
}

std::string CheckStrobe(unsigned int pin, const StrobeConfig& strobe) {
  const StrobeInfo& info = strobe.info;
  const StrobeControl& state = strobe.state;
  if (!info.present) return {};
  const std::string name = "strobe " + Number(pin);
  if (!std::isfinite(info.minValue) || !std::isfinite(info.maxValue) || info.minValue > info.maxValue)
    return name + ": " + Range(info.minValue, info.maxValue) + " is not a range";
  if (!Within(state.delay, info.minValue, info.maxValue))
    return name + ": delay " + Number(state.delay) + " is outside " + Range(info.minValue, info.maxValue);
  if (!Within(state.duration, info.minValue, info.maxValue))
    return name + ": duration " + Number(state.duration) + " is outside " + Range(info.minValue, info.maxValue);
  if (state.polarity > 1) return name + ": the polarity must be 0 or 1";
  if (state.polarity != 0 && !info.polaritySupported)
    return name + ": starts with polarity 1 without supporting polarity";
  return {};
}

}  // namespace

const char* PropertyName(PropertyType type) {
  return type >= 0 && static_cast<unsigned>(type) < kPropertyTypes ? propertyNames[type] : nullptr;
}

bool PropertyTypeFromName(const std::string& name, PropertyType* type) {
  for (unsigned int i = 0; i < kPropertyTypes; ++i) {
    if (name == propertyNames[i]) {
      *type = static_cast<PropertyType>(i);
      return true;
    }
  }
  return false;
}

std::string PropertyLabel(PropertyType type) {
  const char* name = PropertyName(type);
  return name ? name : "property type " + std::to_string(static_cast<int>(type));
}

float AbsoluteOf(const PropertyInfo& info, unsigned int value) {
  if (info.max <= info.min) return info.absMin;
  double fraction = (static_cast<double>(value) - info.min) / (static_cast<double>(info.max) - info.min);
  return static_cast<float>(info.absMin + fraction * (static_cast<double>(info.absMax) - info.absMin));
}

unsigned int ValueOfAbsolute(const PropertyInfo& info, float absolute) {
  if (!(info.absMax > info.absMin)) return info.min;
  double fraction = (static_cast<double>(absolute) - info.absMin) / (static_cast<double>(info.absMax) - info.absMin);
  double value = std::round(info.min + fraction * (static_cast<double>(info.max) - info.min));
  if (!(value >= info.min)) return info.min;
  if (value > info.max) return info.max;
  return static_cast<unsigned int>(value);
}

unsigned int TriggerModeBit(unsigned int mode) { return mode < 16 ? 1u << (15 - mode) : 0; }

bool TriggerModeSupported(const TriggerModeInfo& info, unsigned int mode) {
  return (info.modeMask & TriggerModeBit(mode)) != 0;
}

bool TriggerSourceSupported(const TriggerModeInfo& info, unsigned int source) {
  return source < 32 && (info.sourceMask >> source & 1u) != 0;
}

std::string CheckFeatureConfig(const FeatureConfig& features) {
  for (unsigned int type = 0; type < kPropertyTypes; ++type) {
    std::string problem = CheckProperty(static_cast<PropertyType>(type), features.properties[type]);
    if (!problem.empty()) return problem;
  }
  std::string problem = CheckTrigger(features.trigger);
  if (!problem.empty()) return problem;
  for (unsigned int pin = 0; pin < kPins; ++pin) {
    problem = CheckStrobe(pin, features.strobes[pin]);
    if (!problem.empty()) return problem;
    if (features.gpioDirections[pin] > 1)
      return "GPIO pin " + Number(pin) + ": direction " + Number(features.gpioDirections[pin]) +
             " is neither 0 (in) nor 1 (out)";
  }
  return {};
}

}  // namespace vq::sim
