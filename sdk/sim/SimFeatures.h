#pragma once
// The adjustable features of a simulated camera: properties, trigger, strobe
// pins and GPIO pins, answered as an IIDC camera answers for them. Control
// bits that a feature does not support (on/off, auto, one-push, absolute
// mode, polarity) are ignored on a write, as the camera's read-only register
// bits are; values outside a feature's range are refused.
//
// Not synchronised: the camera that owns it calls it under its own lock.
#include <array>
#include <memory>
#include <optional>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/FeatureConfig.h"
#include "sdk/sim/LevelTransfer.h"

namespace vq::sim {

class SimFeatures {
 public:
  // The description must have passed CheckFeatureConfig.
  explicit SimFeatures(const FeatureConfig& config);

  FlyCapture2::Error GetPropertyInfo(FlyCapture2::PropertyInfo* info) const;
  FlyCapture2::Error GetProperty(FlyCapture2::Property* property) const;
  FlyCapture2::Error SetProperty(const FlyCapture2::Property& property);

  FlyCapture2::Error GetTriggerModeInfo(FlyCapture2::TriggerModeInfo* info) const;
  FlyCapture2::Error GetTriggerMode(FlyCapture2::TriggerMode* mode) const;
  FlyCapture2::Error SetTriggerMode(const FlyCapture2::TriggerMode& mode);

  FlyCapture2::Error GetStrobeInfo(FlyCapture2::StrobeInfo* info) const;
  FlyCapture2::Error GetStrobe(FlyCapture2::StrobeControl* control) const;
  FlyCapture2::Error SetStrobe(const FlyCapture2::StrobeControl& control);

  // Direction 0 is input, 1 output; pins 0 to 3.
  FlyCapture2::Error GetGPIOPinDirection(unsigned int pin, unsigned int* direction) const;
  FlyCapture2::Error SetGPIOPinDirection(unsigned int pin, unsigned int direction);

  // ---- what the frames follow -------------------------------------------
  // Frames come only on triggers while this holds.
  bool TriggerOn() const { return _trigger.onOff; }
  unsigned int TriggerPeriodMs() const { return _triggerPeriodMs; }
  void SetTriggerPeriod(unsigned int periodMs) { _triggerPeriodMs = periodMs; }
  // How brightness, gain and shutter change the pixel levels; null while
  // they act as at start-up.
  std::shared_ptr<const LevelTransfer> Levels() const { return _levels; }

  // ---- queries for tests (arguments in range) ------------------------------
  FlyCapture2::Property PropertyState(FlyCapture2::PropertyType type) const { return _properties[type]; }
  FlyCapture2::TriggerMode TriggerState() const { return _trigger; }
  FlyCapture2::StrobeControl StrobeState(unsigned int pin) const { return _strobes[pin]; }
  unsigned int GPIODirection(unsigned int pin) const { return _gpioDirections[pin]; }
  // The records last handed to the write operations, refused ones included.
  std::optional<FlyCapture2::Property> LastPropertyWrite(FlyCapture2::PropertyType type) const {
    return _propertyWrites[type];
  }
  std::optional<FlyCapture2::TriggerMode> LastTriggerModeWrite() const { return _triggerWrite; }
  std::optional<FlyCapture2::StrobeControl> LastStrobeWrite(unsigned int pin) const { return _strobeWrites[pin]; }

 private:
  FlyCapture2::Error CheckPropertyValues(FlyCapture2::PropertyType type, const FlyCapture2::Property& property) const;
  // The absolute value a property acts with, and the one it started with.
  double ActingAbsolute(FlyCapture2::PropertyType type) const;
  double StartAbsolute(FlyCapture2::PropertyType type) const;
  void UpdateLevels();

  const FeatureConfig _config;  // what the camera supports, and its start-up state
  std::array<FlyCapture2::Property, kPropertyTypes> _properties;
  FlyCapture2::TriggerMode _trigger;
  unsigned int _triggerPeriodMs;
  std::array<FlyCapture2::StrobeControl, kPins> _strobes;
  std::array<unsigned int, kPins> _gpioDirections;
  std::shared_ptr<const LevelTransfer> _levels;

  std::array<std::optional<FlyCapture2::Property>, kPropertyTypes> _propertyWrites;
  std::optional<FlyCapture2::TriggerMode> _triggerWrite;
  std::array<std::optional<FlyCapture2::StrobeControl>, kPins> _strobeWrites;
};

}  // namespace vq::sim
