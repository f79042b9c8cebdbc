#pragma once
// Whether a camera is on the bus, as the bus's events report it: when it was
// removed, and whether it has arrived again since. The SDK's event thread
// marks them; the bus thread reads them to decide when a removed camera may
// be reopened and clears them at the reopen, as the host's open does. No lock:
// each is one atomic, and a reader that sees an arrival without its removal
// only reopens sooner.
#include <atomic>
#include <cstdint>

namespace vq {

class BusPresence {
 public:
  // `when` in seconds since the epoch.
  void MarkRemoved(int64_t when) {
    _removalTime = when;
    _arrived = false;
  }
  void MarkArrived() { _arrived = true; }
  void Clear() {
    _removalTime = 0;
    _arrived = false;
  }

  // 0 when the camera has not been removed since the last Clear.
  int64_t RemovalTime() const { return _removalTime; }
  bool Arrived() const { return _arrived; }

 private:
  std::atomic<int64_t> _removalTime{0};
  std::atomic<bool> _arrived{false};
};

}  // namespace vq
