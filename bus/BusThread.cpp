// The bus thread: it carries out every camera's requests, one per camera per
// pass, so that no camera is opened, closed, started or stopped on a host
// thread or an SDK thread.
#include <ctime>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "platform/Clock.h"

namespace vq {

namespace {

constexpr int kEventWaitMs = 5000;
// A request left pending without a deadline of its own (it made no progress
// this pass) is tried again after this long, or at the next wake-up.
constexpr int kRepollMs = 200;
constexpr int kRemovalGraceSeconds = 10;
// A camera reopened after an error waits this long first, so that a camera
// that keeps failing is retried at a steady pace, not in a busy loop.
constexpr int kReopenPauseMs = 200;
constexpr int kThreadEndWaitMs = 5000;
// Each camera's close waits at most about 35 s for its grab thread.
constexpr int kThreadLastWaitMs = 55000;

}  // namespace

bool CameraList::CreateBusThread() {
  DriverContext* context = GetDriverContext();
  if (_busThread) {
    WriteLog(context, kLogError, "CameraList::CreateBusThread: WARNING: bus thread already active\n");
    DestroyBusThread();
  }
  if (!_busEvent) _busEvent = std::make_unique<vq::Event>();
  _busThreadEnded.Reset();
  _stopBusThread = false;
  try {
    _busThread = std::make_unique<std::thread>([this] {
      DriverThreadScope busThread(DriverThread::kBus);
      BusThreadMain();
      _busThreadEnded.Set();
    });
  } catch (const std::exception&) {
    WriteLog(context, kLogInfo, "CameraList::CreateBusThread: ERROR: failed to initialize bus thread\n");
    return false;
  }
  _busThreadActive = true;
  WriteLog(context, kLogInfo, "CameraList::CreateBusThread: thread created %d\n",
           static_cast<int>(_busThread->native_handle()));
  return true;
}

bool CameraList::DestroyBusThread() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "CameraList::DestroyBusThread: entering\n");
  if (_busThread) {
    _stopBusThread = true;
    _busEvent->Set();
    if (!_busThreadEnded.WaitFor(kThreadEndWaitMs)) {
      // The cameras must not go while the thread may still use them: wait on,
      // for a bounded time, and then leave the thread what it uses.
      WriteLog(context, kLogError,
               "CameraList::DestroyBusThread: WARNING: bus thread did not end within %d ms, waiting for it\n",
               kThreadEndWaitMs);
      if (!_busThreadEnded.WaitFor(kThreadLastWaitMs)) {
        WriteLog(context, kLogError, "CameraList::DestroyBusThread: ERROR: bus thread did not end, left running\n");
        _busThread->detach();
        _busThread.reset();
        _busThreadActive = false;
        return false;
      }
    }
    _busThread->join();
    _busThread.reset();
    _busThreadActive = false;
    WriteLog(context, kLogInfo, "CameraList::DestroyBusThread: thread closed\n");
  }
  WriteLog(context, kLogInfo, "CameraList::DestroyBusThread: leaving\n");
  return true;
}

void CameraList::BusThreadMain() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "CameraList::BusThreadMain entering\n");
  // Each pass handles every camera's state change and one request per
  // camera. Between passes the thread sleeps until a request or a state
  // change wakes it, or until the earliest deadline of a pending request.
  // The stop flag is cleared by CreateBusThread before the thread starts: a
  // stop requested before this line runs must not be lost.
  int waitMs = kEventWaitMs;
  for (;;) {
    _busEvent->WaitFor(waitMs);
    _busEvent->Reset();
    bool pending = false;
    bool progressed = false;
    _nextRequestDeadline = 0;
    for (int i = 0; i < Count(); ++i) {
      Camera& camera = *_cameras[i];
      HandleCameraStateChange(camera);
      if (camera.State().HasRequests() && HandleCameraStateRequests(camera)) progressed = true;
      if (camera.State().HasRequests()) pending = true;
    }
    if (!pending && _stopBusThread) break;
    // A request done may have one queued behind it: the next pass runs at
    // once, not after another camera's deadline.
    waitMs = !pending ? kEventWaitMs : progressed ? 0 : MillisecondsUntilNextTry();
  }
  WriteLog(context, kLogInfo, "CameraList::BusThreadMain leaving\n");
}

int CameraList::MillisecondsUntilNextTry() const {
  if (_nextRequestDeadline == 0) return kRepollMs;
  const int64_t left = _nextRequestDeadline - vq::ClockMs();
  return left <= 0 ? 0 : static_cast<int>(left);
}

void CameraList::KeepRequestUntil(int64_t deadlineMs) {
  if (_nextRequestDeadline == 0 || deadlineMs < _nextRequestDeadline) _nextRequestDeadline = deadlineMs;
}

void CameraList::HandleCameraStateChange(Camera& camera) {
  CameraState& state = camera.State();
  CamState now;
  CamState prev;
  if (!state.TakeStateChange(&prev, &now)) return;
  WriteLog(GetDriverContext(), kLogDetail, "CameraList::HandleCameraStateChange, %s, prevState=%s, nowstate=%s\n",
           camera.Tag().c_str(), StateName(prev), StateName(now));
  if (!life::Holds(life::kRecoveredStates, now)) return;
  // A camera the host has closed is not reopened: it is closed for good.
  if (camera.HostOpen()) {
    _reopenNotBefore[&camera] = vq::ClockMs() + kReopenPauseMs;
    state.AddRequest(ReqCameraCloseOpen);
  } else if (!state.HasRequest(ReqCameraClose))
    state.AddRequest(ReqCameraClose);
}

bool CameraList::HandleCameraStateRequests(Camera& camera) {
  CameraState& state = camera.State();
  if (!state.HasRequests()) return false;
  DriverContext* context = GetDriverContext();
  if (context->debugView > 2 || context->logLevel > 2)
    WriteLog(context, kLogDetail, "CameraList::HandleCameraStateRequests still pending: %s\n",
             state.PendingText().c_str());
  bool remove = true;
  // Busy until the request is popped: a host waiting for the outcome waits
  // for all of the work.
  state.SetBusy(true);
  struct ClearBusy {
    CameraState& state;
    ~ClearBusy() { state.SetBusy(false); }
  } clearBusy{state};
  try {
    HandleCameraStateRequest(camera, remove);
  } catch (const std::exception& e) {
    // A failed open has left the camera in OpenErr, from which the next pass
    // schedules a reopen; the request that failed is done.
    WriteLog(context, kLogDetail, "CameraList::HandleCameraStateRequests: request failed: %s, %s\n", e.what(),
             camera.Tag().c_str());
  } catch (...) {
    WriteLog(context, kLogDetail, "CameraList::HandleCameraStateRequests: request failed, %s\n", camera.Tag().c_str());
  }
  if (remove) state.PopRequest();
  return remove;
}

// What a request does in each state is life::RuleFor's; this carries it out
// and consults the side conditions its rule names.
void CameraList::HandleCameraStateRequest(Camera& camera, bool& remove) {
  DriverContext* context = GetDriverContext();
  CameraState& state = camera.State();
  remove = true;
  const StateRequest r = state.FrontRequest();
  const CamState s = state.State();
  const life::RequestRule rule = life::RuleFor(s, r);
  auto noAction = [&] { life::LogLine(context, life::kNoActionLine, StateName(s), RequestName(r)); };

  switch (rule.gate) {
    case life::Gate::kNone: break;
    case life::Gate::kCallbacksHeld:
      if (!camera.Callback().Hold()) {
        remove = false;
        return;
      }
      break;
    case life::Gate::kReopen:
      if (!ReopenMayGo(camera, rule, remove)) return;
      break;
    case life::Gate::kNotContinuous:
      if (camera.AsksContinuous()) {
        noAction();
        return;
      }
      break;
  }

  switch (rule.step) {
    case life::Step::kNoAction: noAction(); break;
    case life::Step::kDrop: break;
    case life::Step::kDropCloseOpen: life::LogLine(context, life::kCloseOpenIgnoredLine); break;
    case life::Step::kOpen: camera.DoOpen(); break;
    case life::Step::kReopen:
      camera.Presence().Clear();
      camera.DoReopen();
      break;
    case life::Step::kClose: camera.DoClose(); break;
    case life::Step::kStopCapture: camera.DoStopCapture(); break;
    case life::Step::kStartCapture: camera.DoStartCapture(); break;
    case life::Step::kStartContinuous: camera.DoStartContinuousCapture(); break;
    case life::Step::kGrabAgain: camera.DoGrabAgain(); break;
    case life::Step::kApplyTriggerStrobe: camera.DoApplyTriggerStrobe(); break;
    case life::Step::kDestroy: state.SetState(CamDestroy); break;
  }
  remove = rule.then == life::Then::kDone;
}

bool CameraList::ReopenMayGo(Camera& camera, const life::RequestRule& rule, bool& remove) {
  DriverContext* context = GetDriverContext();
  if (!camera.HostOpen()) {
    life::LogLine(context, life::kReopenDroppedLine, camera.Tag().c_str());
    return false;
  }
  life::LogLine(context, rule.note, camera.Tag().c_str());
  const int64_t removed = camera.Presence().RemovalTime();
  if (!camera.Presence().Arrived() && removed > 0 && std::time(nullptr) - removed < kRemovalGraceSeconds) {
    life::LogLine(context, life::kRemovalGraceLine, camera.Tag().c_str());
    KeepRequestUntil(vq::ClockMs() + (removed + kRemovalGraceSeconds - std::time(nullptr)) * 1000);
    remove = false;
    return false;
  }
  const auto pause = _reopenNotBefore.find(&camera);
  if (pause != _reopenNotBefore.end() && vq::ClockMs() < pause->second) {
    KeepRequestUntil(pause->second);
    remove = false;
    return false;
  }
  return true;
}

}  // namespace vq
