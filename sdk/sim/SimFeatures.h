#pragma once
// The adjustable features of a simulated camera: properties, trigger, strobe
// and GPIO pins. For now no property, trigger or strobe is present; the GPIO
// pins remember their direction.
#include <array>
#include <mutex>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

class SimFeatures {
 public:
  static constexpr unsigned int kGpioPins = 4;

  FlyCapture2::Error GetPropertyInfo(FlyCapture2::PropertyInfo* info);
  FlyCapture2::Error GetProperty(FlyCapture2::Property* property);
  FlyCapture2::Error SetProperty(const FlyCapture2::Property& property);

  FlyCapture2::Error GetTriggerModeInfo(FlyCapture2::TriggerModeInfo* info);
  FlyCapture2::Error GetTriggerMode(FlyCapture2::TriggerMode* mode);
  FlyCapture2::Error SetTriggerMode(const FlyCapture2::TriggerMode& mode);

  FlyCapture2::Error GetStrobeInfo(FlyCapture2::StrobeInfo* info);
  FlyCapture2::Error GetStrobe(FlyCapture2::StrobeControl* control);
  FlyCapture2::Error SetStrobe(const FlyCapture2::StrobeControl& control);

  // Direction 0 is input, 1 output; pins 0 to 3.
  FlyCapture2::Error GetGPIOPinDirection(unsigned int pin, unsigned int* direction);
  FlyCapture2::Error SetGPIOPinDirection(unsigned int pin, unsigned int direction);

 private:
  std::mutex _mutex;
  std::array<unsigned int, kGpioPins> _gpioDirections{};
};

}  // namespace vq::sim
