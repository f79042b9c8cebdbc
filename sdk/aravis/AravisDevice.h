#pragma once
// One connection to a GenICam camera through Aravis, as FlyCapture2::Camera
// holds it: the SDK's features mapped onto the camera's GenICam nodes, each
// call under the camera's feature lock (GenicamNodes), and its capture
// (AravisStream).
//
// Removal: once the camera is gone (its "control-lost" signal, or the bus no
// longer finding it) the shared link is marked lost and every call fails at
// once, without waiting on the dead camera; a blocked retrieval is released
// within one pop period. A lost camera and its stream are released on the
// bus's own thread, since Aravis may wait seconds there for the dead camera.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/Backend.h"
#include "sdk/aravis/AravisStream.h"
#include "sdk/aravis/DeviceLink.h"
#include "sdk/aravis/GenicamMapping.h"
#include "sdk/aravis/GenicamNodes.h"

typedef struct _ArvCamera ArvCamera;

namespace vq::aravis {

class AravisDevice final : public FlyCapture2::detail::CameraDevice {
 public:
  // Takes over the reference to `camera`. `releaseElsewhere` takes over
  // references (to streams, and to the camera when it is lost) that must not
  // be dropped on the caller's thread.
  using Release = aravis::Release;
  AravisDevice(ArvCamera* camera, DeviceIdentity identity, std::shared_ptr<DeviceLink> link, Release releaseElsewhere);
  ~AravisDevice() override;
  AravisDevice(const AravisDevice&) = delete;
  AravisDevice& operator=(const AravisDevice&) = delete;

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

  static constexpr unsigned int kBufferCount = AravisStream::kBufferCount;

 private:
  struct SensorSize {
    unsigned int width = 0;
    unsigned int height = 0;
  };

  FlyCapture2::Error Gone() const;
  FlyCapture2::Error CheckNotCapturing(const char* what);
  // PGRERROR_INVALID_PARAMETER when a value of `property` lies outside the
  // range GetPropertyInfo reports for it.
  FlyCapture2::Error CheckPropertyRange(const FlyCapture2::Property& property, const PropertyMapping& mapping,
                                        const char* value);
  SensorSize Sensor();
  SensorGeometry Geometry();
  BinningRange Binning();
  std::vector<std::string> PixelFormats();
  void ReportUnconvertibleFormats();
  FlyCapture2::Error WriteRegion(unsigned int binning, unsigned int x, unsigned int y, unsigned int width,
                                 unsigned int height, const std::string& pixelFormat);
  FlyCapture2::Error SelectFrameStart();
  FlyCapture2::Error SelectLine(unsigned int pin, bool* present);
  // The timer that drives the selected line as strobe `pin`, or -1.
  int StrobeTimer(unsigned int pin);

  ArvCamera* const _camera;
  GenicamNodes _nodes;
  const DeviceIdentity _identity;
  const std::shared_ptr<DeviceLink> _link;
  const Release _releaseElsewhere;
  unsigned long _lostHandler = 0;

  AravisStream _stream;

  // The fixed mode last set through this connection; Format7 otherwise.
  std::atomic<FlyCapture2::VideoMode> _mode{FlyCapture2::VIDEOMODE_FORMAT7};
  std::atomic<FlyCapture2::FrameRate> _rate{FlyCapture2::FRAMERATE_FORMAT7};
  std::atomic<unsigned int> _packetSize{0};
};

}  // namespace vq::aravis
