#pragma once
// An auto-reset event: Set() releases one waiter (or the next Wait if nobody
// waits yet); a wait consumes the signal.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vq {

class Event {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _signalled = true;
    }
    _cv.notify_one();
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(_mutex);
    _signalled = false;
  }

  void Wait() {
    std::unique_lock<std::mutex> lock(_mutex);
    _cv.wait(lock, [this] { return _signalled; });
    _signalled = false;
  }

  // Returns true when signalled, false on time-out.
  bool WaitFor(int milliseconds) {
    std::unique_lock<std::mutex> lock(_mutex);
    if (!_cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return _signalled; })) return false;
    _signalled = false;
    return true;
  }

 private:
  std::mutex _mutex;
  std::condition_variable _cv;
  bool _signalled = false;
};

}  // namespace vq
