#pragma once
// The adjustable features of a simulated camera as a fleet describes them:
// per property type what the camera supports and where it starts, the
// trigger, the strobe pins and the GPIO pin directions. Each description is
// the SDK's own information record plus the start-up state.
#include <array>
#include <string>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

constexpr unsigned int kPropertyTypes = FlyCapture2::UNSPECIFIED_PROPERTY_TYPE;  // 0..17
constexpr unsigned int kPins = 4;                                                // strobe and GPIO pins 0..3

struct PropertyConfig {
  // What the camera reports: present, supported controls, the integer range
  // and the absolute range it maps onto linearly, the units.
  FlyCapture2::PropertyInfo info;
  // The start-up state; automatic and one-push adjustment settle on its
  // values. Its absValue is derived from valueA.
  FlyCapture2::Property state;
};

struct TriggerConfig {
  // Mode mask: bit 15 - n stands for mode n. Source mask: bit n for source n
  // (0 to 3 the GPIO pins).
  FlyCapture2::TriggerModeInfo info;
  FlyCapture2::TriggerMode state;  // at start-up
  // While capturing with the trigger on, a trigger arrives every this many
  // milliseconds; 0 for none (triggers come from FireSoftwareTrigger only).
  unsigned int periodMs = 0;
};

struct StrobeConfig {
  FlyCapture2::StrobeInfo info;      // minValue..maxValue bound delay and duration
  FlyCapture2::StrobeControl state;  // at start-up
};

struct FeatureConfig {
  std::array<PropertyConfig, kPropertyTypes> properties;
  TriggerConfig trigger;
  std::array<StrobeConfig, kPins> strobes;
  std::array<unsigned int, kPins> gpioDirections{};  // 0 input, 1 output
};

// The driver's names: "Brightness", "AutoExposure", ..., "TriggerMode",
// "TriggerDelay", "FrameRate", "Temperature"; nullptr outside 0..17.
const char* PropertyName(FlyCapture2::PropertyType type);
bool PropertyTypeFromName(const std::string& name, FlyCapture2::PropertyType* type);
// "Gain", or "property type 99" for a number outside the enumeration.
std::string PropertyLabel(FlyCapture2::PropertyType type);

// The absolute value that an integer value stands for, and back (rounded,
// kept in the integer range).
float AbsoluteOf(const FlyCapture2::PropertyInfo& info, unsigned int value);
unsigned int ValueOfAbsolute(const FlyCapture2::PropertyInfo& info, float absolute);

bool TriggerModeSupported(const FlyCapture2::TriggerModeInfo& info, unsigned int mode);
bool TriggerSourceSupported(const FlyCapture2::TriggerModeInfo& info, unsigned int source);
unsigned int TriggerModeBit(unsigned int mode);  // 0..15; 0 outside

// Why a feature description is not usable; empty when it is.
std::string CheckFeatureConfig(const FeatureConfig& features);

}  // namespace vq::sim
