#pragma once
// The capture of one GenICam camera: a stream with a small pool of buffers of
// one payload each. A retrieval lends the popped buffer to the image it
// fills, without a copy; the buffer goes back to the stream when the image
// lets go of it, or is freed once its capture has ended.
//
// A stream is released where its capture ends, before another can start: a
// GigE Vision stream, when it stops, clears the camera's stream port, so
// releasing it after the next capture has set that port up would stop the
// new capture. Two kinds go to the bus's thread instead: the stream of a lost
// camera (its last commands time out) and the in-process fake's stream (its
// thread wakes only for its next frame; it sends no commands).
#include <memory>
#include <mutex>

#include "sdk/FlyCapture2.h"
#include "sdk/aravis/DeviceLink.h"
#include "sdk/aravis/GenicamNodes.h"

typedef struct _ArvCamera ArvCamera;
typedef struct _ArvBuffer ArvBuffer;

namespace vq::aravis {

class AravisStream {
 public:
  // The camera and its nodes belong to the caller and outlive the stream.
  AravisStream(ArvCamera* camera, GenicamNodes& nodes, const DeviceIdentity& identity, std::shared_ptr<DeviceLink> link,
               Release releaseElsewhere);
  ~AravisStream() { Stop(); }
  AravisStream(const AravisStream&) = delete;
  AravisStream& operator=(const AravisStream&) = delete;

  FlyCapture2::Error Start();
  FlyCapture2::Error Stop();
  FlyCapture2::Error Retrieve(FlyCapture2::Image* image);
  bool Running();

  // Buffers in a capture's pool, and how long one pop waits before the
  // retrieval looks again whether capture was stopped or the camera lost.
  static constexpr unsigned int kBufferCount = 6;
  static constexpr unsigned int kPopPeriodUs = 50000;

 private:
  struct Capture;
  std::shared_ptr<Capture> CurrentCapture();
  static std::shared_ptr<void> LendBuffer(const std::shared_ptr<Capture>& capture, ArvBuffer* buffer);

  ArvCamera* const _camera;
  GenicamNodes& _nodes;
  const DeviceIdentity& _identity;
  const std::shared_ptr<DeviceLink> _link;
  const Release _releaseElsewhere;

  std::mutex _captureMutex;
  std::shared_ptr<Capture> _capture;
};

}  // namespace vq::aravis
