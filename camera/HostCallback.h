#pragma once
// The host's completion callback of one camera, and when it may be called:
// - host threads replace it (Replace); a replacement waits for a call of the
//   old one in progress, so that a host that replaces or clears its callback
//   is never called through the old one afterwards;
// - the grab thread calls it between Begin and End;
// - the bus thread holds it (Hold) before it closes the camera, and lets it
//   go (Release) once the camera is open again.
// No lock of this class is held while the host's code runs.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "include/VorquellCamera.h"

namespace vq {

class HostCallback {
 public:
  // `wakeBusThread` is called when a callback returns that a held close
  // waits for.
  template <typename Wake>
  explicit HostCallback(Wake wakeBusThread) : _wakeBusThread(std::move(wakeBusThread)) {}

  // Host thread. The callback from now on; the one before it, or null.
  CompleteCallback Current() const {
    std::lock_guard<std::mutex> lock(_lock);
    return _callback;
  }
  // Host thread. True once no call of the old callback runs; false when one
  // still does after `wait` (or at once, on a thread of the driver's, where
  // the wait could close a circle of two callbacks each clearing the
  // other's): the host must not free what the old one uses yet.
  bool Replace(CompleteCallback callback, std::chrono::milliseconds wait);

  // Grab thread: the callback to call now, or null; a non-null one must be
  // followed by End once it has returned.
  CompleteCallback Begin();
  void End();

  // Bus thread, before it closes the camera: true once no callback runs and
  // none will start until Release. False while the host's callback runs;
  // its return then wakes the bus thread, which never waits for host code
  // (a callback may itself be closing the camera).
  bool Hold();
  void Release();

 private:
  std::function<void()> _wakeBusThread;
  mutable std::mutex _lock;
  std::condition_variable _returned;
  CompleteCallback _callback = nullptr;
  bool _running = false;
  std::thread::id _runningOn;
  bool _held = false;
  bool _holdWaits = false;  // a Hold found the callback running
};

}  // namespace vq
