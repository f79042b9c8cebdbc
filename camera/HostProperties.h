#pragma once
// The host's property calls on one camera, from any host thread or a callback
// of the driver's: a command word acts on the driver, the camera list or the
// camera, in any state; any other name reads or writes a parameter of the
// camera's set under its lock, converted to and from the host's 32-bit
// integers. A value written reaches the camera now, through the bus thread,
// or at the next open, as its kind needs.
#include <memory>
#include <optional>

#include "camera/CameraBus.h"
#include "log/DriverContext.h"
#include "sdk/FlyCapture2.h"

namespace vq {

class Camera;

class HostProperties {
 public:
  // `sdkCamera` is the camera's SDK camera, null while it is not open; it is
  // used under the settings' lock.
  HostProperties(Camera& camera, CameraBus& bus, const std::unique_ptr<FlyCapture2::Camera>& sdkCamera);
  HostProperties(const HostProperties&) = delete;
  HostProperties& operator=(const HostProperties&) = delete;

  bool Set(const char* name, int value);
  bool Get(const char* name, int* value);
  bool Range(const char* name, int* minValue, int* maxValue);

 private:
  // The driver's, the camera list's and the bus's words, in any state; false
  // for any other name.
  bool RunCommandWord(const char* name, int value);
  void FireBusReset();
  bool TriggerFromHost(const char* name);
  bool WriteHostValue(const char* name, int value);
  bool ResetFromHost(const char* name);
  std::optional<int> ReadCommandWord(const char* name) const;

  Camera& _camera;
  CameraBus& _bus;
  const std::unique_ptr<FlyCapture2::Camera>& _sdkCamera;
  DriverContext* _context;
};

}  // namespace vq
