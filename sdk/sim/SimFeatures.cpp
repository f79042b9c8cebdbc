#include "sdk/sim/SimFeatures.h"

#include <string>

namespace vq::sim {

using namespace FlyCapture2;

namespace {

bool ValidPropertyType(PropertyType type) { return type >= BRIGHTNESS && type < UNSPECIFIED_PROPERTY_TYPE; }

Error InvalidPropertyType(PropertyType type) {
  return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid property type " + std::to_string(type) + ".");
}

Error PropertyNotPresent(PropertyType type) {
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Property " + std::to_string(type) + " is not present on this camera.");
}

Error InvalidPin(unsigned int pin) {
  return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid pin " + std::to_string(pin) + " (the camera has pins 0 to 3).");
}

}  // namespace

Error SimFeatures::GetPropertyInfo(PropertyInfo* info) {
  if (!ValidPropertyType(info->type)) return InvalidPropertyType(info->type);
  PropertyType type = info->type;
  *info = PropertyInfo();
  info->type = type;
  info->present = false;
  return Error();
}

Error SimFeatures::GetProperty(Property* property) {
  if (!ValidPropertyType(property->type)) return InvalidPropertyType(property->type);
  return PropertyNotPresent(property->type);
}

Error SimFeatures::SetProperty(const Property& property) {
  if (!ValidPropertyType(property.type)) return InvalidPropertyType(property.type);
  return PropertyNotPresent(property.type);
}

Error SimFeatures::GetTriggerModeInfo(TriggerModeInfo* info) {
  *info = TriggerModeInfo();
  return Error();
}

Error SimFeatures::GetTriggerMode(TriggerMode*) {
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "This camera has no trigger.");
}

Error SimFeatures::SetTriggerMode(const TriggerMode&) {
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "This camera has no trigger.");
}

Error SimFeatures::GetStrobeInfo(StrobeInfo* info) {
  unsigned int source = info->source;
  if (source >= kGpioPins) return InvalidPin(source);
  *info = StrobeInfo();
  info->source = source;
  return Error();
}

Error SimFeatures::GetStrobe(StrobeControl* control) {
  if (control->source >= kGpioPins) return InvalidPin(control->source);
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Strobe " + std::to_string(control->source) + " is not present on this camera.");
}

Error SimFeatures::SetStrobe(const StrobeControl& control) {
  if (control.source >= kGpioPins) return InvalidPin(control.source);
  return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Strobe " + std::to_string(control.source) + " is not present on this camera.");
}

Error SimFeatures::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) {
  if (pin >= kGpioPins) return InvalidPin(pin);
  std::lock_guard<std::mutex> lock(_mutex);
  *direction = _gpioDirections[pin];
  return Error();
}

Error SimFeatures::SetGPIOPinDirection(unsigned int pin, unsigned int direction) {
  if (pin >= kGpioPins) return InvalidPin(pin);
  if (direction > 1)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Invalid GPIO direction " + std::to_string(direction) + " (0 input, 1 output).");
  std::lock_guard<std::mutex> lock(_mutex);
  _gpioDirections[pin] = direction;
  return Error();
}

}  // namespace vq::sim
