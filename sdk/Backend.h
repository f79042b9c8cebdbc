#pragma once
// What a camera backend provides to the SDK classes. The backend is chosen
// once per process, at the first SDK call: "sim", the default, or "aravis"
// (GenICam cameras, when the build has Aravis). VORQUELL_SDK_BACKEND names
// it; without that variable the driver's settings file may (see
// vq::sdk::SetPreferredBackend below).
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "sdk/FlyCapture2.h"

namespace FlyCapture2::detail {

// One connected camera. Operations on a device whose camera has left the bus
// fail; they never crash.
class CameraDevice {
 public:
  virtual ~CameraDevice() = default;

  virtual Error GetCameraInfo(CameraInfo* info) = 0;
  virtual Error StartCapture() = 0;
  virtual Error StopCapture() = 0;
  virtual Error RetrieveBuffer(Image* image) = 0;

  virtual Error GetPropertyInfo(PropertyInfo* info) = 0;
  virtual Error GetProperty(Property* property) = 0;
  virtual Error SetProperty(const Property& property) = 0;

  virtual Error GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) = 0;
  virtual Error GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) = 0;
  virtual Error SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) = 0;
  virtual Error GetFormat7Info(Format7Info* info, bool* supported) = 0;
  virtual Error GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize,
                                        float* percentage) = 0;
  virtual Error SetFormat7Configuration(const Format7ImageSettings& settings, unsigned int packetSize) = 0;

  virtual Error GetTriggerModeInfo(TriggerModeInfo* info) = 0;
  virtual Error GetTriggerMode(TriggerMode* mode) = 0;
  virtual Error SetTriggerMode(const TriggerMode& mode) = 0;
  // One trigger from software, for a capture waiting for triggers.
  virtual Error FireSoftwareTrigger() = 0;
  virtual Error GetStrobeInfo(StrobeInfo* info) = 0;
  virtual Error GetStrobe(StrobeControl* control) = 0;
  virtual Error SetStrobe(const StrobeControl& control) = 0;
  virtual Error GetGPIOPinDirection(unsigned int pin, unsigned int* direction) = 0;
  virtual Error SetGPIOPinDirection(unsigned int pin, unsigned int direction) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual Error GetNumOfCameras(unsigned int* numCameras) = 0;
  virtual Error GetCameraFromIndex(unsigned int index, PGRGuid* guid) = 0;
  virtual Error GetCameraFromSerialNumber(unsigned int serialNumber, PGRGuid* guid) = 0;
  virtual Error FireBusReset(const PGRGuid& guid) = 0;
  virtual Error RegisterCallback(BusEventCallback callback, BusCallbackType type, void* parameter,
                                 CallbackHandle* handle) = 0;
  virtual Error UnregisterCallback(CallbackHandle handle) = 0;
  virtual Error Connect(const PGRGuid& guid, std::shared_ptr<CameraDevice>* device) = 0;
};

// The process-wide backend, created on first use.
Backend& GetBackend();

// Camera::RetrieveBuffer notes the receive time of each frame it delivers,
// for vq::sdk::LastReceiveTimeOnThisThread.
void RecordReceiveTime(std::chrono::steady_clock::time_point time);

}  // namespace FlyCapture2::detail

// The SDK layer's own settings, outside the vendor's API.
namespace vq::sdk {

// The backend a host asks for in its settings file, for hosts that cannot set
// the environment: the [General] keys SdkBackend ("sim", "aravis"),
// AravisInterfaces and AravisDevices (as VORQUELL_ARAVIS_INTERFACES and
// VORQUELL_ARAVIS_DEVICES). Unset members leave the choice to the
// environment and the defaults.
struct BackendPreference {
  std::optional<std::string> backend;
  std::optional<std::string> aravisInterfaces;
  std::optional<std::string> aravisDevices;
};

// The [General] keys of the settings file at `path`; all unset when the file
// or a key is absent. A key present with an empty value is set (to ""), which
// for AravisInterfaces means no interface at all, as for the variable; an
// empty SdkBackend is the default backend.
BackendPreference ReadBackendPreference(const std::string& path);

// Hands the preference to the choice of the backend. Each environment
// variable that is set wins over its key (an explicit override). Takes effect
// only before the first SDK call of the process: false, and nothing changes,
// when the backend has been chosen already.
// \context This function is thread-safe.
bool SetPreferredBackend(const BackendPreference& preference);

// The receive time (Image::GetReceiveTime) of the frame that the calling
// thread's latest successful Camera::RetrieveBuffer delivered; the clock's
// epoch before the first. The driver retrieves a frame and calls the host's
// completion callback on the same thread, so a host linked into one program
// with the driver reads here how long the frame took from the backend to it.
std::chrono::steady_clock::time_point LastReceiveTimeOnThisThread();

}  // namespace vq::sdk
