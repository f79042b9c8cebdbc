#pragma once
// What the bus and every connection to one GenICam camera share: whether the
// camera has been lost, and who it is.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "sdk/FlyCapture2.h"

namespace vq::aravis {

struct DeviceLink {
  std::atomic<bool> lost{false};
  // Called (once, on an Aravis thread) when the camera's control is lost.
  std::function<void()> onControlLost;
};

struct DeviceIdentity {
  uint32_t serialNumber = 0;
  std::string serial;     // as the camera reports it
  std::string transport;  // "USB3Vision", "GigEVision", "Fake"
};

// Takes over references (to streams, and to a lost camera) that must not be
// dropped on the caller's thread.
using Release = std::function<void(void* object)>;

// PGRERROR_NOT_CONNECTED once the camera has been lost: every call fails at
// once instead of waiting on the dead camera.
inline FlyCapture2::Error Gone(const DeviceLink& link, const DeviceIdentity& identity) {
  if (!link.lost) return FlyCapture2::Error();
  return FC2_ERROR(FlyCapture2::PGRERROR_NOT_CONNECTED,
                   "Camera " + std::to_string(identity.serialNumber) + " has been removed from the bus.");
}

}  // namespace vq::aravis
