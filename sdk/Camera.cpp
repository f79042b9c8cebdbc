#include "sdk/Backend.h"

namespace FlyCapture2 {

namespace {
Error NotConnected() { return FC2_ERROR(PGRERROR_NOT_CONNECTED, "Camera is not connected."); }
Error NullArgument() { return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null argument."); }
}  // namespace

Camera::Camera() = default;

Camera::~Camera() { Disconnect(); }

std::shared_ptr<detail::CameraDevice> Camera::Device() {
  std::lock_guard<std::mutex> lock(_deviceMutex);
  return _device;
}

Error Camera::Connect(PGRGuid* guid) {
  if (!guid) return NullArgument();
  std::shared_ptr<detail::CameraDevice> device;
  Error error = detail::GetBackend().Connect(*guid, &device);
  if (error != PGRERROR_OK) return error;
  std::lock_guard<std::mutex> lock(_deviceMutex);
  _device = std::move(device);
  return Error();
}

Error Camera::Disconnect() {
  std::shared_ptr<detail::CameraDevice> device;
  {
    std::lock_guard<std::mutex> lock(_deviceMutex);
    device.swap(_device);
  }
  if (!device) return NotConnected();
  device->StopCapture();  // releases a retrieval blocked in another thread
  return Error();
}

bool Camera::IsConnected() { return Device() != nullptr; }

// Each operation takes its own reference to the device, so a disconnect in
// another thread never frees it under a running call.
#define FC2_WITH_DEVICE(call)           \
  do {                                  \
    auto device = Device();             \
    if (!device) return NotConnected(); \
    return device->call;                \
  } while (0)

#define FC2_REQUIRE(pointer) \
  if (!(pointer)) return NullArgument()

Error Camera::GetCameraInfo(CameraInfo* info) {
  FC2_REQUIRE(info);
  FC2_WITH_DEVICE(GetCameraInfo(info));
}

Error Camera::StartCapture(ImageEventCallback callback, const void*) {
  if (callback) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "Image event callbacks are not supported.");
  FC2_WITH_DEVICE(StartCapture());
}

Error Camera::StopCapture() { FC2_WITH_DEVICE(StopCapture()); }

Error Camera::RetrieveBuffer(Image* image) {
  FC2_REQUIRE(image);
  auto device = Device();
  if (!device) return NotConnected();
  Error error = device->RetrieveBuffer(image);
  if (error == PGRERROR_OK) detail::RecordReceiveTime(image->GetReceiveTime());
  return error;
}

Error Camera::GetPropertyInfo(PropertyInfo* info) {
  FC2_REQUIRE(info);
  FC2_WITH_DEVICE(GetPropertyInfo(info));
}

Error Camera::GetProperty(Property* property) {
  FC2_REQUIRE(property);
  FC2_WITH_DEVICE(GetProperty(property));
}

Error Camera::SetProperty(const Property* property, bool) {
  FC2_REQUIRE(property);
  FC2_WITH_DEVICE(SetProperty(*property));
}

Error Camera::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) {
  FC2_REQUIRE(supported);
  FC2_WITH_DEVICE(GetVideoModeAndFrameRateInfo(mode, rate, supported));
}

Error Camera::GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) {
  FC2_REQUIRE(mode && rate);
  FC2_WITH_DEVICE(GetVideoModeAndFrameRate(mode, rate));
}

Error Camera::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) {
  FC2_WITH_DEVICE(SetVideoModeAndFrameRate(mode, rate));
}

Error Camera::GetFormat7Info(Format7Info* info, bool* supported) {
  FC2_REQUIRE(info && supported);
  FC2_WITH_DEVICE(GetFormat7Info(info, supported));
}

Error Camera::GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize, float* percentage) {
  FC2_REQUIRE(settings && packetSize && percentage);
  FC2_WITH_DEVICE(GetFormat7Configuration(settings, packetSize, percentage));
}

Error Camera::SetFormat7Configuration(const Format7ImageSettings* settings, unsigned int packetSize) {
  FC2_REQUIRE(settings);
  FC2_WITH_DEVICE(SetFormat7Configuration(*settings, packetSize));
}

Error Camera::GetTriggerModeInfo(TriggerModeInfo* info) {
  FC2_REQUIRE(info);
  FC2_WITH_DEVICE(GetTriggerModeInfo(info));
}

Error Camera::GetTriggerMode(TriggerMode* mode) {
  FC2_REQUIRE(mode);
  FC2_WITH_DEVICE(GetTriggerMode(mode));
}

Error Camera::SetTriggerMode(const TriggerMode* mode, bool) {
  FC2_REQUIRE(mode);
  FC2_WITH_DEVICE(SetTriggerMode(*mode));
}

Error Camera::FireSoftwareTrigger(bool) { FC2_WITH_DEVICE(FireSoftwareTrigger()); }

Error Camera::GetStrobeInfo(StrobeInfo* info) {
  FC2_REQUIRE(info);
  FC2_WITH_DEVICE(GetStrobeInfo(info));
}

Error Camera::GetStrobe(StrobeControl* control) {
  FC2_REQUIRE(control);
  FC2_WITH_DEVICE(GetStrobe(control));
}

Error Camera::SetStrobe(const StrobeControl* control, bool) {
  FC2_REQUIRE(control);
  FC2_WITH_DEVICE(SetStrobe(*control));
}

Error Camera::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) {
  FC2_REQUIRE(direction);
  FC2_WITH_DEVICE(GetGPIOPinDirection(pin, direction));
}

Error Camera::SetGPIOPinDirection(unsigned int pin, unsigned int direction, bool) {
  FC2_WITH_DEVICE(SetGPIOPinDirection(pin, direction));
}

}  // namespace FlyCapture2
