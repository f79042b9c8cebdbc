#pragma once
// Bus-event callbacks and the thread that delivers them. Events are queued
// in the order raised and delivered one at a time on the queue's own thread
// to every callback registered for their type, in registration order.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

class BusEventQueue {
 public:
  BusEventQueue() = default;
  ~BusEventQueue();
  BusEventQueue(const BusEventQueue&) = delete;
  BusEventQueue& operator=(const BusEventQueue&) = delete;

  FlyCapture2::Error Register(FlyCapture2::BusEventCallback callback, FlyCapture2::BusCallbackType type,
                              void* parameter, FlyCapture2::CallbackHandle* handle);
  // When it returns, the callback is not running and will not run again,
  // except when called from inside a callback: then it only unregisters.
  FlyCapture2::Error Unregister(FlyCapture2::CallbackHandle handle);

  // Queues an event; the delivery thread starts on the first one.
  void Raise(FlyCapture2::BusCallbackType type, unsigned int serialNumber);

  // Waits until every event raised before the call has been delivered.
  // Returns at once when called from a callback.
  void Flush();

  // Ends delivery: pending events are dropped, the thread is joined (after
  // the callback it may be running returns). Later events are dropped too.
  void Shutdown();

 private:
  struct Registration {
    FlyCapture2::BusEventCallback callback;
    FlyCapture2::BusCallbackType type;
    void* parameter;
  };
  struct Event {
    FlyCapture2::BusCallbackType type;
    unsigned int serialNumber;
  };

  void Run();
  void Deliver(std::unique_lock<std::mutex>& lock, const Event& event);
  bool OnDeliveryThread() const;

  std::mutex _mutex;
  std::condition_variable _wake;                     // an event was queued, or shutdown
  std::condition_variable _idle;                     // a callback returned, or an event was done
  std::map<uintptr_t, Registration> _registrations;  // by handle; handles grow
  uintptr_t _nextHandle = 1;
  uintptr_t _running = 0;  // handle of the callback being called, 0 if none
  std::deque<Event> _pending;
  uint64_t _raised = 0;
  uint64_t _done = 0;
  bool _stopping = false;
  std::thread _thread;
  std::thread::id _threadId;
};

}  // namespace vq::sim
