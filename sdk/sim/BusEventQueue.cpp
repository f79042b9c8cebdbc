#include "sdk/sim/BusEventQueue.h"

#include <vector>

#include "platform/DebugOutput.h"

namespace vq::sim {

using namespace FlyCapture2;

BusEventQueue::~BusEventQueue() { Shutdown(); }

Error BusEventQueue::Register(BusEventCallback callback, BusCallbackType type, void* parameter,
                              CallbackHandle* handle) {
  if (type != BUS_RESET && type != ARRIVAL && type != REMOVAL)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Unknown bus callback type " + std::to_string(type) + ".");
  std::lock_guard<std::mutex> lock(_mutex);
  uintptr_t id = _nextHandle++;
  _registrations[id] = Registration{callback, type, parameter};
  *handle = reinterpret_cast<CallbackHandle>(id);
  return Error();
}

Error BusEventQueue::Unregister(CallbackHandle handle) {
  auto id = reinterpret_cast<uintptr_t>(handle);
  std::unique_lock<std::mutex> lock(_mutex);
  if (_registrations.erase(id) == 0) return FC2_ERROR(PGRERROR_NOT_FOUND, "Unknown bus callback handle.");
  // From inside a callback, waiting for the running callback would wait for
  // ourselves.
  if (!OnDeliveryThread()) _idle.wait(lock, [&] { return _running != id; });
  return Error();
}

void BusEventQueue::Raise(BusCallbackType type, unsigned int serialNumber) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_stopping) return;
    _pending.push_back(Event{type, serialNumber});
    ++_raised;
    if (!_thread.joinable()) {
      _thread = std::thread([this] { Run(); });
      _threadId = _thread.get_id();
    }
  }
  _wake.notify_one();
}

void BusEventQueue::Flush() {
  std::unique_lock<std::mutex> lock(_mutex);
  if (OnDeliveryThread()) return;
  uint64_t target = _raised;
  _idle.wait(lock, [&] { return _done >= target || _stopping; });
}

void BusEventQueue::Shutdown() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = true;
    _pending.clear();
    thread.swap(_thread);
  }
  _wake.notify_all();
  _idle.notify_all();
  if (!thread.joinable()) return;
  // A callback that ends the process runs the shutdown on this very thread.
  if (thread.get_id() == std::this_thread::get_id())
    thread.detach();
  else
    thread.join();
}

bool BusEventQueue::OnDeliveryThread() const { return std::this_thread::get_id() == _threadId; }

void BusEventQueue::Run() {
  std::unique_lock<std::mutex> lock(_mutex);
  while (true) {
    _wake.wait(lock, [&] { return _stopping || !_pending.empty(); });
    if (_stopping) return;
    Event event = _pending.front();
    _pending.pop_front();
    Deliver(lock, event);
    ++_done;
    _idle.notify_all();
  }
}

void BusEventQueue::Deliver(std::unique_lock<std::mutex>& lock, const Event& event) {
  std::vector<uintptr_t> ids;
  for (const auto& [id, registration] : _registrations)
    if (registration.type == event.type) ids.push_back(id);
  for (uintptr_t id : ids) {
    if (_stopping) return;
    // Unregistered by an earlier callback of this event?
    auto it = _registrations.find(id);
    if (it == _registrations.end()) continue;
    Registration registration = it->second;
    _running = id;
    lock.unlock();
    try {
      registration.callback(registration.parameter, event.serialNumber);
    } catch (...) {
      vq::OutputDebugString("SimBus: a bus event callback threw an exception; it was ignored\n");
    }
    lock.lock();
    _running = 0;
    _idle.notify_all();
  }
}

}  // namespace vq::sim
