#include "camera/GrabThread.h"

#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "platform/Clock.h"

namespace vq {

namespace {

constexpr int kFailuresBeforeReset = 3;
constexpr std::chrono::seconds kIncompleteBeforeReset{3};
constexpr int kResetPauseMs = 100;
constexpr int kThreadEndWaitMs = 3000;
constexpr int kThreadLastWaitMs = 27000;

}  // namespace

GrabThread::GrabThread(Camera* camera) : _camera(camera) {}

GrabThread::~GrabThread() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "GrabThread::~GrabThread: entering on port=%d\n", _camera->Port());
  Destroy();
  WriteLog(context, kLogInfo, "GrabThread::~GrabThread: leaving on port=%d\n", _camera->Port());
}

bool GrabThread::Init() {
  DriverContext* context = GetDriverContext();
  const int port = _camera->Port();
  WriteLog(context, kLogInfo, "GrabThread::Init: entering on port=%d\n", port);
  if (_threadHandle) {
    WriteLog(context, kLogError, "GrabThread::Init: already initialized on port=%d\n", port);
    return false;
  }
  if (!_wakeEvent) _wakeEvent = std::make_unique<vq::Event>();
  _threadEnded.Reset();
  try {
    _threadHandle = std::make_unique<std::thread>([this] {
      DriverThreadScope grabThread(DriverThread::kGrab);
      static_ThreadMain(this);
      _threadEnded.Set();
    });
  } catch (const std::exception&) {
    WriteLog(context, kLogInfo, "GrabThread::Init: ERROR: failed to initialize camera thread on port=%d\n", port);
    return false;
  }
  WriteLog(context, kLogInfo, "GrabThread::Init: thread created:%d on port=%d\n",
           static_cast<int>(_threadHandle->native_handle()), port);
  WriteLog(context, kLogInfo, "GrabThread::Init: leaving on port=%d\n", port);
  return true;
}

void GrabThread::Wake() {
  if (_wakeEvent) _wakeEvent->Set();
}

bool GrabThread::Destroy() {
  DriverContext* context = GetDriverContext();
  const int port = _camera->Port();
  WriteLog(context, kLogInfo, "GrabThread::Destroy: entering on port=%d\n", port);
  if (_stopFlag) WriteLog(context, kLogError, "GrabThread::Destroy: WARNING: multiple reentrance, port=%d\n", port);
  if (_threadHandle) {
    _stopFlag = true;
    _wakeEvent->Set();
    if (!_threadEnded.WaitFor(kThreadEndWaitMs)) {
      // The camera frees its SDK object and buffer after this: the thread
      // must be gone first. It is waited for once more; a thread that still
      // runs then (a retrieval the SDK never ends) is left to itself, and the
      // camera keeps what it uses.
      WriteLog(context, kLogError,
               "GrabThread::Destroy: WARNING: thread did not end within %d ms, waiting for it, port=%d\n",
               kThreadEndWaitMs, port);
      if (!_threadEnded.WaitFor(kThreadLastWaitMs)) {
        WriteLog(context, kLogError, "GrabThread::Destroy: ERROR: thread did not end, left running, port=%d\n", port);
        _threadHandle->detach();
        return false;
      }
    }
    _threadHandle->join();
    _threadHandle.reset();
    WriteLog(context, kLogInfo, "GrabThread::Destroy: thread closed on port=%d\n", port);
  }
  _wakeEvent.reset();
  WriteLog(context, kLogInfo, "GrabThread::Destroy: leaving on port=%d\n", port);
  return true;
}

int32_t GrabThread::static_ThreadMain(GrabThread* param) {
  if (!param) return -1;
  WriteLog(GetDriverContext(), kLogInfo, "GrabThread::static_ThreadMain\n");
  return param->ThreadMain();
}

int32_t GrabThread::ThreadMain() {
  DriverContext* context = GetDriverContext();
  Camera& camera = *_camera;
  WriteLog(context, kLogInfo, "GrabThread::ThreadMain: entering, clock=%ld on port=%d",
           static_cast<long>(vq::ClockMs()), camera.Port());
  while (!_stopFlag) {
    _wakeEvent->Wait();
    if (_stopFlag) break;
    // Read before the state: a capture that starts or stops after this read
    // has another number, and the retrieval below is dropped quietly.
    const uint32_t generation = camera.CaptureGeneration();
    const CamState now = camera.State().State();
    if (const life::Refusal* refused = life::Refuses(life::Op::kGrabThreadWake, now)) {
      life::LogLine(context, refused->line, StateName(now), camera.Port());
      continue;
    }
    if (!camera.AsksContinuous() && !camera.FrameOwed()) {
      WriteLog(context, kLogDetail, "GrabThread::ThreadMain: no frame owed to the host, on port=%d\n", camera.Port());
      continue;
    }
    if (camera.StopRequested()) {
      WriteLog(context, kLogInfo,
               "GrabThread::ThreadMain: Capture Stop request posted, stopping image grab, on port=%d\n", camera.Port());
      continue;
    }
    // Failures and incomplete frames count within one capture.
    if (generation != _run.generation) {
      _run.Clear();
      _run.generation = generation;
    }

    camera.Statistics().MarkGrabStart();
    const Camera::Retrieval retrieval = camera.RetrieveImage(generation);
    camera.Statistics().MarkGrabEnd();

    if (_stopFlag) break;
    if (retrieval == Camera::Retrieval::kStopped || camera.StopRequested()) continue;
    switch (retrieval) {
      case Camera::Retrieval::kFrame: OnFrame(); break;
      case Camera::Retrieval::kIncomplete: OnIncompleteFrame(generation); break;
      default: OnFailure(generation); break;
    }
  }
  WriteLog(context, kLogInfo, "GrabThread::ThreadMain: leaving on port=%d\n", camera.Port());
  return 0;
}

void GrabThread::OnFrame() {
  DriverContext* context = GetDriverContext();
  Camera& camera = *_camera;
  if (WillLog(context, kLogDetail))
    WriteLog(context, kLogDetail, "GrabThread::ThreadMain: grabbing completed on port=%s\n", camera.Tag().c_str());
  _run.Clear();
  const bool moreOwed = !camera.AsksContinuous() && camera.SingleGrabDelivered();
  if (CompleteCallback callback = camera.Callback().Begin()) {
    if (camera.Statistics().MarkCallback())
      WriteLog(context, kLogError, "WARNING: Vantor CB called before Vantors has read the previous image, %s\n",
               camera.Tag().c_str());
    struct EndCallback {
      Camera& camera;
      ~EndCallback() { camera.Callback().End(); }
    } endCallback{camera};
    {
      HostCallbackScope inCallback;
      callback(0, camera.Port());
    }
    if (WillLog(context, kLogInfo))
      WriteLog(context, kLogInfo, "GrabThread::ThreadMain: CB called, %s\n", camera.Tag().c_str());
  } else {
    WriteLog(context, kLogError, "GrabThread::ThreadMain: ERROR: callback is not assigned, port=%d\n", camera.Port());
  }
  if (camera.AsksContinuous() || moreOwed) _wakeEvent->Set();
}

// A lossy link loses some frames and delivers the rest: the lost ones are
// dropped and counted, and the next frame is retrieved at once. Only a link
// that delivers nothing whole for a while resets the camera.
void GrabThread::OnIncompleteFrame(uint32_t generation) {
  _camera->Frames().CountIncomplete();
  const auto now = std::chrono::steady_clock::now();
  if (!_run.incompleteSince) _run.incompleteSince = now;
  if (now - *_run.incompleteSince < kIncompleteBeforeReset) {
    _wakeEvent->Set();
    return;
  }
  ScheduleReset(generation);
}

void GrabThread::OnFailure(uint32_t generation) {
  _camera->Frames().CountDropped();
  if (++_run.failures < kFailuresBeforeReset) {
    // Try again at once: nothing else would wake the thread, and a single
    // failed retrieval must not silently end a grab or a stream.
    _wakeEvent->Set();
    return;
  }
  ScheduleReset(generation);
}

void GrabThread::ScheduleReset(uint32_t generation) {
  Camera& camera = *_camera;
  WriteLog(GetDriverContext(), kLogDetail,
           "GrabThread::ThreadMain: camera %s reset in %d ms unless its capture ends, port=%d\n", camera.Name().c_str(),
           kResetPauseMs, camera.Port());
  vq::SleepMs(kResetPauseMs);
  _run.Clear();
  // Only the capture that failed is reset: not one stopped or restarted
  // during the pause, nor a camera closed meanwhile.
  if (camera.CaptureGeneration() == generation && camera.State().ChangeState(CamCapture, CamGrabErr))
    WriteLog(GetDriverContext(), kLogError,
             "GrabThread::ThreadMain: ERROR: Retrieve image failure, scheduling camera %s for reset, port=%d\n",
             camera.Name().c_str(), camera.Port());
}

}  // namespace vq
