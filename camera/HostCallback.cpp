#include "camera/HostCallback.h"

#include "log/DriverContext.h"

namespace vq {

bool HostCallback::Replace(CompleteCallback callback, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(_lock);
  _callback = callback;
  // From inside the callback itself there is nothing to wait for.
  if (!_running || _runningOn == std::this_thread::get_id()) return true;
  return !OnDriverThread() && _returned.wait_for(lock, wait, [this] { return !_running; });
}

CompleteCallback HostCallback::Begin() {
  std::lock_guard<std::mutex> lock(_lock);
  if (_held || !_callback) return nullptr;
  _running = true;
  _runningOn = std::this_thread::get_id();
  return _callback;
}

void HostCallback::End() {
  bool holdWaits;
  {
    std::lock_guard<std::mutex> lock(_lock);
    _running = false;
    holdWaits = _holdWaits;
  }
  _returned.notify_all();
  if (holdWaits) _wakeBusThread();
}

bool HostCallback::Hold() {
  std::lock_guard<std::mutex> lock(_lock);
  _holdWaits = _running;
  if (_running) return false;
  _held = true;
  return true;
}

void HostCallback::Release() {
  std::lock_guard<std::mutex> lock(_lock);
  _held = false;
}

}  // namespace vq
