#include "sdk/sim/SimDevice.h"

namespace vq::sim {

using namespace FlyCapture2;

SimDevice::SimDevice(std::shared_ptr<SimCamera> camera) : _camera(std::move(camera)) { _camera->AddConnection(); }

SimDevice::~SimDevice() {
  _camera->StopCapture(this);
  _camera->RemoveConnection();
}

// Every operation that reaches the camera is counted under its SDK name.
SimCamera& SimDevice::Count(SimOperation operation) {
  _camera->CountCall(operation);
  return *_camera;
}

Error SimDevice::GetCameraInfo(CameraInfo* info) { return Count(SimOperation::GetCameraInfo).GetCameraInfo(info); }
Error SimDevice::StartCapture() { return Count(SimOperation::StartCapture).StartCapture(this); }
Error SimDevice::StopCapture() { return Count(SimOperation::StopCapture).StopCapture(this); }
Error SimDevice::RetrieveBuffer(Image* image) {
  return Count(SimOperation::RetrieveBuffer).RetrieveBuffer(this, image);
}

Error SimDevice::GetPropertyInfo(PropertyInfo* info) {
  return Feature(SimOperation::GetPropertyInfo, info->type, [&](SimFeatures& f) { return f.GetPropertyInfo(info); });
}

Error SimDevice::GetProperty(Property* property) {
  return Feature(SimOperation::GetProperty, property->type, [&](SimFeatures& f) { return f.GetProperty(property); });
}

Error SimDevice::SetProperty(const Property& property) {
  return Feature(SimOperation::SetProperty, property.type, [&](SimFeatures& f) { return f.SetProperty(property); });
}

Error SimDevice::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) {
  return Count(SimOperation::GetVideoModeAndFrameRateInfo).GetVideoModeAndFrameRateInfo(mode, rate, supported);
}

Error SimDevice::GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) {
  return Count(SimOperation::GetVideoModeAndFrameRate).GetVideoModeAndFrameRate(mode, rate);
}

Error SimDevice::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) {
  return Count(SimOperation::SetVideoModeAndFrameRate).SetVideoModeAndFrameRate(mode, rate);
}

Error SimDevice::GetFormat7Info(Format7Info* info, bool* supported) {
  return Count(SimOperation::GetFormat7Info).GetFormat7Info(info, supported);
}

Error SimDevice::GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize, float* percentage) {
  return Count(SimOperation::GetFormat7Configuration).GetFormat7Configuration(settings, packetSize, percentage);
}

Error SimDevice::SetFormat7Configuration(const Format7ImageSettings& settings, unsigned int packetSize) {
  return Count(SimOperation::SetFormat7Configuration).SetFormat7Configuration(settings, packetSize);
}

Error SimDevice::GetTriggerModeInfo(TriggerModeInfo* info) {
  return Feature(SimOperation::GetTriggerModeInfo, 0, [&](SimFeatures& f) { return f.GetTriggerModeInfo(info); });
}

Error SimDevice::GetTriggerMode(TriggerMode* mode) {
  return Feature(SimOperation::GetTriggerMode, 0, [&](SimFeatures& f) { return f.GetTriggerMode(mode); });
}

Error SimDevice::SetTriggerMode(const TriggerMode& mode) {
  return Feature(SimOperation::SetTriggerMode, 0, [&](SimFeatures& f) { return f.SetTriggerMode(mode); });
}

Error SimDevice::FireSoftwareTrigger() {
  if (_camera->FireTrigger()) return Error();
  return FC2_ERROR(PGRERROR_FAILED, "No capture of this camera waits for a trigger.");
}

Error SimDevice::GetStrobeInfo(StrobeInfo* info) {
  return Feature(SimOperation::GetStrobeInfo, info->source, [&](SimFeatures& f) { return f.GetStrobeInfo(info); });
}

Error SimDevice::GetStrobe(StrobeControl* control) {
  return Feature(SimOperation::GetStrobe, control->source, [&](SimFeatures& f) { return f.GetStrobe(control); });
}

Error SimDevice::SetStrobe(const StrobeControl& control) {
  return Feature(SimOperation::SetStrobe, control.source, [&](SimFeatures& f) { return f.SetStrobe(control); });
}

Error SimDevice::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) {
  return Feature(SimOperation::GetGPIOPinDirection, pin,
                 [&](SimFeatures& f) { return f.GetGPIOPinDirection(pin, direction); });
}

Error SimDevice::SetGPIOPinDirection(unsigned int pin, unsigned int direction) {
  return Feature(SimOperation::SetGPIOPinDirection, pin,
                 [&](SimFeatures& f) { return f.SetGPIOPinDirection(pin, direction); });
}

}  // namespace vq::sim
