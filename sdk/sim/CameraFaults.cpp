#include "sdk/sim/CameraFaults.h"

#include <string>

#include "sdk/sim/FeatureConfig.h"
#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

std::string SelectorText(SimOperation operation, unsigned int selector) {
  switch (SelectorOf(operation)) {
    case FaultSelector::PropertyType: return " (" + PropertyLabel(static_cast<PropertyType>(selector)) + ")";
    case FaultSelector::Pin: return " (pin " + std::to_string(selector) + ")";
    case FaultSelector::VideoMode: {
      const char* name = VideoModeName(static_cast<VideoMode>(selector));
      return " (" + (name ? std::string(name) : "video mode " + std::to_string(selector)) + ")";
    }
    case FaultSelector::Format7Mode: return " (mode " + std::to_string(selector) + ")";
    case FaultSelector::None: break;
  }
  return "";
}

struct FaultRow {
  SimOperation operation;
  FaultMask CameraFaults::*mask;
  const char* key;  // in the fleet file
};

const FaultRow faultRows[] = {
    {SimOperation::GetPropertyInfo, &CameraFaults::getPropertyInfo, "getPropertyInfo"},
    {SimOperation::GetProperty, &CameraFaults::getProperty, "getProperty"},
    {SimOperation::SetProperty, &CameraFaults::setProperty, "setProperty"},
    {SimOperation::GetTriggerModeInfo, &CameraFaults::getTriggerModeInfo, "getTriggerModeInfo"},
    {SimOperation::GetTriggerMode, &CameraFaults::getTriggerMode, "getTriggerMode"},
    {SimOperation::SetTriggerMode, &CameraFaults::setTriggerMode, "setTriggerMode"},
    {SimOperation::GetStrobeInfo, &CameraFaults::getStrobeInfo, "getStrobeInfo"},
    {SimOperation::GetStrobe, &CameraFaults::getStrobe, "getStrobe"},
    {SimOperation::SetStrobe, &CameraFaults::setStrobe, "setStrobe"},
    {SimOperation::GetGPIOPinDirection, &CameraFaults::getGPIODirection, "getGPIODirection"},
    {SimOperation::SetGPIOPinDirection, &CameraFaults::setGPIODirection, "setGPIODirection"},
    {SimOperation::GetVideoModeAndFrameRateInfo, &CameraFaults::getVideoModeInfo, "getVideoModeInfo"},
    {SimOperation::GetVideoModeAndFrameRate, &CameraFaults::getVideoMode, "getVideoMode"},
    {SimOperation::SetVideoModeAndFrameRate, &CameraFaults::setVideoMode, "setVideoMode"},
    {SimOperation::GetFormat7Info, &CameraFaults::getFormat7Info, "getFormat7Info"},
    {SimOperation::GetFormat7Configuration, &CameraFaults::getFormat7Configuration, "getFormat7Configuration"},
    {SimOperation::SetFormat7Configuration, &CameraFaults::setFormat7Configuration, "setFormat7Configuration"},
};

const FaultRow* RowOf(SimOperation operation) {
  for (const auto& row : faultRows)
    if (row.operation == operation) return &row;
  return nullptr;
}

}  // namespace

const FaultMask* CameraFaults::MaskOf(SimOperation operation) const {
  return const_cast<CameraFaults*>(this)->MaskOf(operation);
}

FaultMask* CameraFaults::MaskOf(SimOperation operation) {
  const FaultRow* row = RowOf(operation);
  return row ? &(this->*row->mask) : nullptr;
}

bool CameraFaults::Fails(SimOperation operation, unsigned int selector) const {
  const FaultMask* mask = MaskOf(operation);
  if (!mask || *mask == 0) return false;
  if (*mask == kEveryCall || SelectorOf(operation) == FaultSelector::None) return true;
  return (*mask & CallsFor(selector)) != 0;
}

const char* FaultKey(SimOperation operation) {
  const FaultRow* row = RowOf(operation);
  return row ? row->key : nullptr;
}

Error InjectedFault(SimOperation operation, unsigned int selector) {
  ErrorType type = IsWrite(operation) ? PGRERROR_WRITE_REGISTER_FAILED : PGRERROR_READ_REGISTER_FAILED;
  return FC2_ERROR(type, std::string("Simulated fault: ") + OperationName(operation) +
                             SelectorText(operation, selector) + " failed.");
}

}  // namespace vq::sim
