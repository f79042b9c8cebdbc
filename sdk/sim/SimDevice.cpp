#include "sdk/sim/SimDevice.h"

namespace vq::sim {

using namespace FlyCapture2;

SimDevice::SimDevice(std::shared_ptr<SimCamera> camera) : _camera(std::move(camera)) { _camera->AddConnection(); }

SimDevice::~SimDevice() {
  _camera->StopCapture(this);
  _camera->RemoveConnection();
}

Error SimDevice::GetCameraInfo(CameraInfo* info) { return _camera->GetCameraInfo(info); }
Error SimDevice::StartCapture() { return _camera->StartCapture(this); }
Error SimDevice::StopCapture() { return _camera->StopCapture(this); }
Error SimDevice::RetrieveBuffer(Image* image) { return _camera->RetrieveBuffer(this, image); }

// Features are reached only while the camera is on the bus.
#define SIM_FEATURE(call)                              \
  do {                                                 \
    Error available = _camera->CheckAvailable();       \
    if (available != PGRERROR_OK) return available;    \
    return _camera->Features().call;                   \
  } while (0)

Error SimDevice::GetPropertyInfo(PropertyInfo* info) { SIM_FEATURE(GetPropertyInfo(info)); }
Error SimDevice::GetProperty(Property* property) { SIM_FEATURE(GetProperty(property)); }
Error SimDevice::SetProperty(const Property& property) { SIM_FEATURE(SetProperty(property)); }

Error SimDevice::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) {
  return _camera->GetVideoModeAndFrameRateInfo(mode, rate, supported);
}

Error SimDevice::GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) {
  return _camera->GetVideoModeAndFrameRate(mode, rate);
}

Error SimDevice::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) {
  return _camera->SetVideoModeAndFrameRate(mode, rate);
}

Error SimDevice::GetFormat7Info(Format7Info* info, bool* supported) { return _camera->GetFormat7Info(info, supported); }

Error SimDevice::GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize, float* percentage) {
  return _camera->GetFormat7Configuration(settings, packetSize, percentage);
}

Error SimDevice::SetFormat7Configuration(const Format7ImageSettings& settings, unsigned int packetSize) {
  return _camera->SetFormat7Configuration(settings, packetSize);
}

Error SimDevice::GetTriggerModeInfo(TriggerModeInfo* info) { SIM_FEATURE(GetTriggerModeInfo(info)); }
Error SimDevice::GetTriggerMode(TriggerMode* mode) { SIM_FEATURE(GetTriggerMode(mode)); }
Error SimDevice::SetTriggerMode(const TriggerMode& mode) { SIM_FEATURE(SetTriggerMode(mode)); }
Error SimDevice::GetStrobeInfo(StrobeInfo* info) { SIM_FEATURE(GetStrobeInfo(info)); }
Error SimDevice::GetStrobe(StrobeControl* control) { SIM_FEATURE(GetStrobe(control)); }
Error SimDevice::SetStrobe(const StrobeControl& control) { SIM_FEATURE(SetStrobe(control)); }

Error SimDevice::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) {
  SIM_FEATURE(GetGPIOPinDirection(pin, direction));
}

Error SimDevice::SetGPIOPinDirection(unsigned int pin, unsigned int direction) {
  SIM_FEATURE(SetGPIOPinDirection(pin, direction));
}

}  // namespace vq::sim
