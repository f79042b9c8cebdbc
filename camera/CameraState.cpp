#include "camera/CameraState.h"

#include <cassert>

#include "log/DriverContext.h"

namespace vq {

CameraState::CameraState(uint32_t serialNo, std::function<void()> wakeBusThread)
    : _serialNo(serialNo), _wakeBusThread(std::move(wakeBusThread)) {}

bool CameraState::WaitFor(std::initializer_list<CamState> states, std::chrono::milliseconds timeout) {
  return WaitUntil(
      [this, states] {
        for (CamState state : states)
          if (_state == state) return true;
        return false;
      },
      timeout);
}

bool CameraState::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(_waitLock);
  return _changed.wait_for(lock, timeout, done);
}

void CameraState::Notify() {
  // Taking the lock orders this with a waiter between its check and its
  // sleep: the waiter is either before its check or already asleep.
  { std::lock_guard<std::mutex> lock(_waitLock); }
  _changed.notify_all();
}

void CameraState::SetBusy(bool busy) {
  {
    std::lock_guard<std::mutex> lock(_lock);
    _busy = busy;
  }
  Notify();
}

void CameraState::AddRequest(StateRequest request) {
  DriverContext* context = GetDriverContext();
  // Logged before the queue lock is taken, so the queue lock is never held
  // while waiting for the log's.
  WriteLog(context, kLogDetail, "CameraList::AddStateRequest, %s\n", RequestName(request));
  std::unique_lock<std::mutex> lock(_lock);
  const life::Queueing outcome = life::QueueingOf(_requests, request, _busy);
  Enqueue(outcome, request);
  const size_t queued = _requests.size();
  lock.unlock();
  LogQueueing(context, outcome, request, queued);
  if (life::RowOf(outcome).wakesBusThread) WakeBusThread();
}

void CameraState::Enqueue(life::Queueing outcome, StateRequest request) {
  using life::Queueing;
  switch (outcome) {
    case Queueing::kIgnoredBehindDestroy:
    case Queueing::kCloseOpenAlreadyQueued:
    case Queueing::kRepeatIgnored: return;
    case Queueing::kCloseOpenExpanded:
      // The reopen restarts the capture the host asked for (Camera::ResumeCapture),
      // not whatever the camera was doing.
      _requests.push_back(ReqCameraClose);
      _requests.push_back(ReqCameraOpenOnArrival);
      return;
    case Queueing::kDestroyNext: _requests.clear(); break;
    case Queueing::kDestroyBehindRunning: _requests.resize(1); break;  // the front one only
    case Queueing::kAppended: break;
  }
  _requests.push_back(request);
}

void CameraState::LogQueueing(DriverContext* context, life::Queueing outcome, StateRequest request,
                              size_t queued) const {
  using life::Queueing;
  const life::Line& line = life::RowOf(outcome).line;
  switch (outcome) {
    case Queueing::kIgnoredBehindDestroy:
    case Queueing::kCloseOpenAlreadyQueued:
    case Queueing::kRepeatIgnored: return life::LogLine(context, line, RequestName(request), _serialNo);
    case Queueing::kCloseOpenExpanded: return life::LogLine(context, line, _serialNo);
    case Queueing::kDestroyNext:
    case Queueing::kDestroyBehindRunning:
    case Queueing::kAppended:
      return life::LogLine(context, line, RequestName(request), _serialNo, static_cast<int>(queued));
  }
}

void CameraState::SetState(CamState state) {
  DriverContext* context = GetDriverContext();
  CamState old;
  {
    std::lock_guard<std::mutex> lock(_stateLock);
    old = _state;
    if (state != old) {
      assert(life::TransitionAllowed(old, state));
      _prevState = old;
      _state = state;
    }
  }
  if (state == old) {
    WriteLog(context, kLogInfo, "CameraState::SetState: WARNING: state %s ignored, camera ser# %d\n", StateName(state),
             _serialNo);
    return;
  }
  WriteLog(context, kLogInfo, "CameraState::SetState: new state:%s, prev state:%s, serial#%d\n", StateName(state),
           StateName(old), _serialNo);
  Notify();
  WakeBusThread();
}

bool CameraState::ChangeState(CamState from, CamState to) {
  {
    std::lock_guard<std::mutex> lock(_stateLock);
    if (_state != from || from == to) return false;
    assert(life::TransitionAllowed(from, to));
    _prevState = from;
    _state = to;
  }
  WriteLog(GetDriverContext(), kLogInfo, "CameraState::SetState: new state:%s, prev state:%s, serial#%d\n",
           StateName(to), StateName(from), _serialNo);
  Notify();
  WakeBusThread();
  return true;
}

bool CameraState::TakeStateChange(CamState* prev, CamState* now) {
  std::lock_guard<std::mutex> lock(_stateLock);
  *prev = _prevState;
  *now = _state;
  if (*now == *prev || *prev == CamNotInit) return false;
  _prevState = CamNotInit;
  return true;
}

bool CameraState::HasRequests() const {
  std::lock_guard<std::mutex> lock(_lock);
  return !_requests.empty();
}

bool CameraState::HasRequest(StateRequest request) const {
  std::lock_guard<std::mutex> lock(_lock);
  for (StateRequest queued : _requests)
    if (queued == request) return true;
  return false;
}

bool CameraState::WithdrawCaptureRequests() {
  auto isStart = [](StateRequest r) { return r == ReqCaptureStart || r == ReqCaptureCont; };
  std::lock_guard<std::mutex> lock(_lock);
  // The request at the front is the one the bus thread is carrying out while
  // busy: it stays, and the bus thread pops it when done.
  const bool runningStart = _busy && !_requests.empty() && isStart(_requests.front());
  const StateRequest running = runningStart ? _requests.front() : ReqNotAssigned;
  std::erase_if(_requests, isStart);
  if (runningStart) _requests.push_front(running);
  return runningStart;
}

StateRequest CameraState::FrontRequest() const {
  std::lock_guard<std::mutex> lock(_lock);
  return _requests.empty() ? ReqNotAssigned : _requests.front();
}

void CameraState::PopRequest() {
  {
    std::lock_guard<std::mutex> lock(_lock);
    if (!_requests.empty()) _requests.pop_front();
  }
  Notify();
}

std::string CameraState::PendingText() const {
  std::lock_guard<std::mutex> lock(_lock);
  std::string text;
  for (StateRequest request : _requests) {
    text += RequestName(request);
    text += ";";
  }
  return text;
}

}  // namespace vq
