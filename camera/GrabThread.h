#pragma once
// The thread that serves one open camera: it waits to be woken, retrieves a
// frame into the camera's image buffer and calls the host. In continuous mode
// it wakes itself after every delivered frame.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
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

 private:
  static int32_t static_ThreadMain(GrabThread* param);
  int32_t ThreadMain();
  void OnFrame();
  void OnIncompleteFrame(uint32_t generation);
  void OnFailure(uint32_t generation);
  // Three failures in a row, or 3 s of incomplete frames only: the camera
  // goes to GrabErr, and the bus thread closes and reopens it.
  void ScheduleReset(uint32_t generation);

  // What has gone wrong since the last frame of one capture (grab thread only).
  struct FailureRun {
    uint32_t generation = 0;
    int failures = 0;
    std::optional<std::chrono::steady_clock::time_point> incompleteSince;  // the first incomplete frame's arrival

    void Clear() {
      failures = 0;
      incompleteSince.reset();
    }
  };
  Camera* _camera;
  std::atomic<bool> _stopFlag{false};
  std::unique_ptr<std::thread> _threadHandle;
  std::unique_ptr<vq::Event> _wakeEvent;
  vq::Event _threadEnded;
  FailureRun _run;
};

}  // namespace vq
