#pragma once
// A camera's state, the state it came from and its queue of requests for the
// bus thread. CameraLife.h says what becomes of a request queued, what each
// request does in each state, and which transitions there are. Threads other
// than the bus thread never open, close, start or stop a camera: they post a
// request here.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>

#include "camera/CameraLife.h"

namespace vq {

class CameraState {
 public:
  // `wakeBusThread` is called after every request queued and every state
  // change, so that the bus thread sees them at once.
  explicit CameraState(uint32_t serialNo, std::function<void()> wakeBusThread = {});

  // Queues a request for the bus thread as life::QueueingOf decides (repeats,
  // anything behind a pending destroy and a close-and-reopen already queued
  // are refused), logs the outcome's line and wakes the bus thread when the
  // queue changed.
  void AddRequest(StateRequest request);
  // Records a transition and wakes the bus thread; the same state is refused.
  // Debug builds check the transition against life::kTransitions.
  void SetState(CamState state);
  // Records the transition only while the camera is still in `from`: a thread
  // that decided on a change from what it saw earlier cannot overwrite a change
  // made meanwhile (a capture stop racing with a retrieval failure).
  bool ChangeState(CamState from, CamState to);

  // Waits until the camera is in one of `states`, at most `timeout`; true when
  // it got there.
  bool WaitFor(std::initializer_list<CamState> states, std::chrono::milliseconds timeout);
  // Waits until `done` holds, at most `timeout`; true when it does. `done` is
  // checked again after every transition, request popped, change of Busy and
  // Notify, and must not take the state's own locks itself (HasRequest does
  // not count: it takes the queue lock, which no waiter holds).
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Tells waiters to look again: something their condition reads has changed.
  void Notify();

  bool IsState(CamState state) const { return _state == state; }
  CamState State() const { return _state; }
  CamState PrevState() const { return _prevState; }
  // The bus thread takes the pending change, if any, and marks it handled in
  // one step, so that a transition made meanwhile by another thread is never
  // wiped: it stays pending for the next pass.
  bool TakeStateChange(CamState* prev, CamState* now);

  bool HasRequests() const;
  bool HasRequest(StateRequest request) const;
  // Removes every queued capture start (single or continuous). True when the
  // bus thread is starting a capture right now, which cannot be withdrawn.
  bool WithdrawCaptureRequests();
  StateRequest FrontRequest() const;
  void PopRequest();
  std::string PendingText() const;

  // Set by the bus thread while it carries out one of this camera's requests,
  // so that a host waiting for an outcome also waits for the work after the
  // state change (closing ends the grab thread after the state is Closed).
  bool Busy() const { return _busy; }
  void SetBusy(bool busy);

 private:
  // Changes the queue as `outcome` says; the queue lock is held.
  void Enqueue(life::Queueing outcome, StateRequest request);
  // Logs the outcome's line; `queued` is the queue's size after it.
  void LogQueueing(DriverContext* context, life::Queueing outcome, StateRequest request, size_t queued) const;
  void WakeBusThread() {
    if (_wakeBusThread) _wakeBusThread();
  }

  std::atomic<CamState> _state{CamClosed};
  std::atomic<CamState> _prevState{CamClosed};
  std::atomic<bool> _busy{false};
  // Makes a transition and the bus thread's hand-over of it one step each.
  std::mutex _stateLock;
  std::deque<StateRequest> _requests;
  mutable std::mutex _lock;
  uint32_t _serialNo;
  std::function<void()> _wakeBusThread;
  // Waiters of WaitUntil; taken only after the other locks are released.
  std::mutex _waitLock;
  std::condition_variable _changed;
};

}  // namespace vq
