#pragma once
// Counts the host threads copying rows of a camera's image buffer, in two
// epochs, so that
// - the grab thread, having put a new frame in place of the old, can wait
//   until no reader is still inside the old one before it goes back to the
//   camera (readers that come later find the new frame), and
// - the bus thread can wait until no reader is left before it frees the
//   buffer.
// Entering and leaving cost one atomic step each; only a leave that finds a
// waiter takes the lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vq {

class RowReaders {
 public:
  // Returns the epoch to leave.
  int Enter() {
    for (;;) {
      const int epoch = _epoch.load();
      _count[epoch].fetch_add(1);
      // An epoch changed under the count: the changer may have looked at the
      // count already. Counted in the new epoch instead.
      if (_epoch.load() == epoch) return epoch;
      Leave(epoch);
    }
  }
  void Leave(int epoch) {
    if (_count[epoch].fetch_sub(1) == 1 && _waiters.load() > 0) {
      { std::lock_guard<std::mutex> lock(_lock); }
      _none.notify_all();
    }
  }

  // One thread at a time. Readers that enter from now on count in the other
  // epoch; returns the epoch of those inside, for WaitForEpoch.
  int BeginEpoch() {
    const int previous = _epoch.load();
    _epoch.store(1 - previous);
    return previous;
  }
  int CurrentEpoch() const { return _epoch.load(); }
  // True once the readers of `epoch` have left, false if one still is inside
  // after `timeout`.
  bool WaitForEpoch(int epoch, std::chrono::milliseconds timeout) {
    return WaitUntil(timeout, [this, epoch] { return _count[epoch].load() == 0; });
  }
  // True once no reader is left, false if one still is after `timeout`.
  bool WaitForNone(std::chrono::milliseconds timeout) {
    return WaitUntil(timeout, [this] { return _count[0].load() == 0 && _count[1].load() == 0; });
  }

 private:
  template <typename Done>
  bool WaitUntil(std::chrono::milliseconds timeout, Done done) {
    if (done()) return true;
    std::unique_lock<std::mutex> lock(_lock);
    ++_waiters;
    const bool ended = _none.wait_for(lock, timeout, done);
    --_waiters;
    return ended;
  }

  std::atomic<int> _epoch{0};
  std::atomic<int> _count[2] = {0, 0};
  std::atomic<int> _waiters{0};
  std::mutex _lock;
  std::condition_variable _none;
};

}  // namespace vq
