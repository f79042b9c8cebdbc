#pragma once
// The operations a simulated camera answers, by their SDK names: what the
// call counters count and what injected faults name.
#include <cstddef>
#include <string>

namespace vq::sim {

enum class SimOperation {
  Connect,
  GetCameraInfo,
  StartCapture,
  StopCapture,
  RetrieveBuffer,
  GetPropertyInfo,
  GetProperty,
  SetProperty,
  GetVideoModeAndFrameRateInfo,
  GetVideoModeAndFrameRate,
  SetVideoModeAndFrameRate,
  GetFormat7Info,
  GetFormat7Configuration,
  SetFormat7Configuration,
  GetTriggerModeInfo,
  GetTriggerMode,
  SetTriggerMode,
  GetStrobeInfo,
  GetStrobe,
  SetStrobe,
  GetGPIOPinDirection,
  SetGPIOPinDirection,
};

constexpr size_t kOperationCount = static_cast<size_t>(SimOperation::SetGPIOPinDirection) + 1;

// What the number that selects among an operation's calls stands for.
enum class FaultSelector { None, PropertyType, Pin, VideoMode, Format7Mode };

// "SetVideoModeAndFrameRate" and so on.
const char* OperationName(SimOperation operation);
bool OperationFromName(const std::string& name, SimOperation* operation);
// Whether the operation changes the camera (a register write) or only reads.
bool IsWrite(SimOperation operation);
FaultSelector SelectorOf(SimOperation operation);

}  // namespace vq::sim
