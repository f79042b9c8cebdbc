#include "sdk/sim/SimOperation.h"

#include <iterator>

namespace vq::sim {

namespace {

struct OperationRow {
  SimOperation operation;
  const char* name;
  bool write;
  FaultSelector selector;
};

using S = FaultSelector;

const OperationRow operations[] = {
    {SimOperation::Connect, "Connect", false, S::None},
    {SimOperation::GetCameraInfo, "GetCameraInfo", false, S::None},
    {SimOperation::StartCapture, "StartCapture", true, S::None},
    {SimOperation::StopCapture, "StopCapture", true, S::None},
    {SimOperation::RetrieveBuffer, "RetrieveBuffer", false, S::None},
    {SimOperation::GetPropertyInfo, "GetPropertyInfo", false, S::PropertyType},
    {SimOperation::GetProperty, "GetProperty", false, S::PropertyType},
    {SimOperation::SetProperty, "SetProperty", true, S::PropertyType},
    {SimOperation::GetVideoModeAndFrameRateInfo, "GetVideoModeAndFrameRateInfo", false, S::VideoMode},
    {SimOperation::GetVideoModeAndFrameRate, "GetVideoModeAndFrameRate", false, S::None},
    {SimOperation::SetVideoModeAndFrameRate, "SetVideoModeAndFrameRate", true, S::VideoMode},
    {SimOperation::GetFormat7Info, "GetFormat7Info", false, S::Format7Mode},
    {SimOperation::GetFormat7Configuration, "GetFormat7Configuration", false, S::None},
    {SimOperation::SetFormat7Configuration, "SetFormat7Configuration", true, S::Format7Mode},
    {SimOperation::GetTriggerModeInfo, "GetTriggerModeInfo", false, S::None},
    {SimOperation::GetTriggerMode, "GetTriggerMode", false, S::None},
    {SimOperation::SetTriggerMode, "SetTriggerMode", true, S::None},
    {SimOperation::GetStrobeInfo, "GetStrobeInfo", false, S::Pin},
    {SimOperation::GetStrobe, "GetStrobe", false, S::Pin},
    {SimOperation::SetStrobe, "SetStrobe", true, S::Pin},
    {SimOperation::GetGPIOPinDirection, "GetGPIOPinDirection", false, S::Pin},
    {SimOperation::SetGPIOPinDirection, "SetGPIOPinDirection", true, S::Pin},
};
static_assert(std::size(operations) == kOperationCount);

const OperationRow& Row(SimOperation operation) { return operations[static_cast<size_t>(operation)]; }

}  // namespace

const char* OperationName(SimOperation operation) { return Row(operation).name; }

bool OperationFromName(const std::string& name, SimOperation* operation) {
  for (const auto& row : operations) {
    if (name == row.name) {
      *operation = row.operation;
      return true;
    }
  }
  return false;
}

bool IsWrite(SimOperation operation) { return Row(operation).write; }

FaultSelector SelectorOf(SimOperation operation) { return Row(operation).selector; }

}  // namespace vq::sim
