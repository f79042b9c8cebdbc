#pragma once
// What a camera backend provides to the SDK classes. The backend is chosen
// once per process from VORQUELL_SDK_BACKEND: "sim", the default, or
// "aravis" (GenICam cameras, when the build has Aravis).
#include <memory>

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

}  // namespace FlyCapture2::detail
