#pragma once
// What a camera needs of the bus it sits on. The camera list implements it and
// hands itself to every camera it builds; it outlives its cameras, so a camera
// may call it from any thread for as long as the camera exists.
#include "sdk/FlyCapture2.h"

namespace vq {

class CameraBus {
 public:
  static constexpr int kDummyLineSize = 12288;

  virtual ~CameraBus() = default;

  // The SDK bus: finds a camera by serial number and fires bus resets.
  virtual FlyCapture2::BusManager& SdkBus() = 0;
  // Signals the bus thread that a request or a state change awaits it.
  virtual void WakeBusThread() = 0;
  // kDummyLineSize bytes of 0x78, handed out for rows of a camera
  // that is not capturing; null until the bus is enumerated.
  virtual const unsigned char* DummyLine() const = 0;

  // Host commands that act on the whole bus.
  virtual void PrintAllStats() const = 0;
  virtual void ResetAllStats() = 0;
  // As if the SDK had reported the camera's removal or arrival.
  virtual void SimulateRemoval(unsigned int serialNumber) = 0;
  virtual void SimulateArrival(unsigned int serialNumber) = 0;
};

}  // namespace vq
