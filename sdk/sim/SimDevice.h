#pragma once
// One connection to a simulated camera, as FlyCapture2::Camera holds it.
// The camera outlives the connection; a capture this connection started is
// stopped when the connection goes away. Every call is counted on the camera.
#include <memory>

#include "sdk/Backend.h"
#include "sdk/sim/SimCamera.h"

namespace vq::sim {

class SimDevice final : public FlyCapture2::detail::CameraDevice {
 public:
  explicit SimDevice(std::shared_ptr<SimCamera> camera);
  ~SimDevice() override;
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  FlyCapture2::Error GetCameraInfo(FlyCapture2::CameraInfo* info) override;
  FlyCapture2::Error StartCapture() override;
  FlyCapture2::Error StopCapture() override;
  FlyCapture2::Error RetrieveBuffer(FlyCapture2::Image* image) override;

  FlyCapture2::Error GetPropertyInfo(FlyCapture2::PropertyInfo* info) override;
  FlyCapture2::Error GetProperty(FlyCapture2::Property* property) override;
  FlyCapture2::Error SetProperty(const FlyCapture2::Property& property) override;

  FlyCapture2::Error GetVideoModeAndFrameRateInfo(FlyCapture2::VideoMode mode, FlyCapture2::FrameRate rate,
                                                  bool* supported) override;
  FlyCapture2::Error GetVideoModeAndFrameRate(FlyCapture2::VideoMode* mode, FlyCapture2::FrameRate* rate) override;
  FlyCapture2::Error SetVideoModeAndFrameRate(FlyCapture2::VideoMode mode, FlyCapture2::FrameRate rate) override;
  FlyCapture2::Error GetFormat7Info(FlyCapture2::Format7Info* info, bool* supported) override;
  FlyCapture2::Error GetFormat7Configuration(FlyCapture2::Format7ImageSettings* settings, unsigned int* packetSize,
                                             float* percentage) override;
  FlyCapture2::Error SetFormat7Configuration(const FlyCapture2::Format7ImageSettings& settings,
                                             unsigned int packetSize) override;

  FlyCapture2::Error GetTriggerModeInfo(FlyCapture2::TriggerModeInfo* info) override;
  FlyCapture2::Error GetTriggerMode(FlyCapture2::TriggerMode* mode) override;
  FlyCapture2::Error SetTriggerMode(const FlyCapture2::TriggerMode& mode) override;
  FlyCapture2::Error FireSoftwareTrigger() override;
  FlyCapture2::Error GetStrobeInfo(FlyCapture2::StrobeInfo* info) override;
  FlyCapture2::Error GetStrobe(FlyCapture2::StrobeControl* control) override;
  FlyCapture2::Error SetStrobe(const FlyCapture2::StrobeControl& control) override;
  FlyCapture2::Error GetGPIOPinDirection(unsigned int pin, unsigned int* direction) override;
  FlyCapture2::Error SetGPIOPinDirection(unsigned int pin, unsigned int direction) override;

 private:
  SimCamera& Count(SimOperation operation);
  template <class Call>
  FlyCapture2::Error Feature(SimOperation operation, unsigned int selector, Call call) {
    return Count(operation).FeatureCall(operation, selector, call);
  }

  std::shared_ptr<SimCamera> _camera;
};

}  // namespace vq::sim
