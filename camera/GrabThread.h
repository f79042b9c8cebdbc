#pragma once
// The thread that serves one open camera: it waits to be woken, retrieves a
// frame into the camera's image buffer and calls the host. In continuous mode
// it wakes itself after every delivered frame.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/Event.h"

namespace vq {

class Camera;

class GrabThread {
 public:
  explicit GrabThread(Camera* camera);
  ~GrabThread();
  GrabThread(const GrabThread&) = delete;
  GrabThread& operator=(const GrabThread&) = delete;

  bool Init();
  // Stops the thread and joins it; false (logged) when it did not end within
  // 30 s and was left running: then what it uses must be kept.
  bool Destroy();
  // Wakes the thread for one retrieval.
  void Wake();

  static int32_t static_ThreadMain(GrabThread* param);
  int32_t ThreadMain();

 private:
  Camera* _camera;
  std::atomic<bool> _stopFlag{false};
  std::unique_ptr<std::thread> _threadHandle;
  std::unique_ptr<vq::Event> _wakeEvent;
  vq::Event _threadEnded;
};

}  // namespace vq
