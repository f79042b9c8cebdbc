#pragma once
// Counts the host threads copying rows of a camera's image buffer, so that
// the bus thread can wait until none is before it frees the buffer. Entering
// and leaving cost one atomic step each; only a leave that finds a waiter
// takes the lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vq {

class RowReaders {
 public:
  void Enter() { _count.fetch_add(1); }
  void Leave() {
    if (_count.fetch_sub(1) == 1 && _waiting.load()) {
      { std::lock_guard<std::mutex> lock(_lock); }
      _none.notify_all();
    }
  }
  // Returns true once no reader is left, false if one still is after `timeout`.
  bool WaitForNone(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(_lock);
    _waiting = true;
    const bool none = _none.wait_for(lock, timeout, [this] { return _count.load() == 0; });
    _waiting = false;
    return none;
  }

 private:
  std::atomic<int> _count{0};
  std::atomic<bool> _waiting{false};
  std::mutex _lock;
  std::condition_variable _none;
};

}  // namespace vq
