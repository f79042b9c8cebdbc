#pragma once
// Faults injected into a simulated camera. They stay set until changed.
// (Failing retrievals are a count, see CameraConfig::failRetrievals.)
#include <cstdint>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/SimOperation.h"

namespace vq::sim {

// Which calls of one feature operation fail. Bit n stands for property type
// n, pin n, video mode n or Format7 mode n, whichever the operation is about
// (see SelectorOf); an operation about none of these fails while any bit is
// set. kEveryCall fails every call.
using FaultMask = uint32_t;
constexpr FaultMask kEveryCall = 0xFFFFFFFFu;
constexpr FaultMask CallsFor(unsigned int n) { return n < 32 ? FaultMask{1} << n : 0; }

struct CameraFaults {
  bool connect = false;       // Connect fails
  bool cameraInfo = false;    // GetCameraInfo fails
  bool startCapture = false;  // StartCapture fails
  // StartCapture waits while set, before it does anything, until the faults
  // are changed or the fleet is replaced (30 s at most): a test holds up the
  // thread that starts a capture. Not in the fleet file.
  bool holdStartCapture = false;

  FaultMask getPropertyInfo = 0;  // by property type
  FaultMask getProperty = 0;
  FaultMask setProperty = 0;
  FaultMask getTriggerModeInfo = 0;
  FaultMask getTriggerMode = 0;
  FaultMask setTriggerMode = 0;
  FaultMask getStrobeInfo = 0;  // by pin
  FaultMask getStrobe = 0;
  FaultMask setStrobe = 0;
  FaultMask getGPIODirection = 0;  // by pin
  FaultMask setGPIODirection = 0;
  FaultMask getVideoModeInfo = 0;  // GetVideoModeAndFrameRateInfo, by video mode
  FaultMask getVideoMode = 0;
  FaultMask setVideoMode = 0;    // by the video mode asked for
  FaultMask getFormat7Info = 0;  // by Format7 mode
  FaultMask getFormat7Configuration = 0;
  FaultMask setFormat7Configuration = 0;  // by the Format7 mode asked for

  // The mask of an operation; nullptr for those without one (Connect,
  // GetCameraInfo and the capture operations have their own faults).
  FaultMask* MaskOf(SimOperation operation);
  const FaultMask* MaskOf(SimOperation operation) const;
  // Whether the call of `operation` about `selector` fails.
  bool Fails(SimOperation operation, unsigned int selector) const;
};

// The fleet file's key of an operation's mask ("getProperty", ...); nullptr
// for an operation without one.
const char* FaultKey(SimOperation operation);

// What a call failed by an injected fault returns: a register read or write
// error naming the operation and what it was about, e.g. "Simulated fault:
// GetProperty (Gain) failed."
FlyCapture2::Error InjectedFault(SimOperation operation, unsigned int selector);

}  // namespace vq::sim
