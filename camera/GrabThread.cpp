#include "camera/GrabThread.h"

#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "platform/Clock.h"

namespace vq {

namespace {

constexpr int kFailuresBeforeReset = 3;
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
  // Failures count within one capture: a new capture starts from 0.
  int failures = 0;
  uint32_t failuresGeneration = camera.CaptureGeneration();
  while (!_stopFlag) {
    _wakeEvent->Wait();
    if (_stopFlag) break;
    // Read before the state: a capture that starts or stops after this read
    // has another number, and the retrieval below is dropped quietly.
    const uint32_t generation = camera.CaptureGeneration();
    CameraState& state = camera.State();
    if (!state.IsState(CamCapture)) {
      WriteLog(
          context, kLogDetail,
          "GrabThread::ThreadMain: WARNING: grab event ignored, since camera is not in capturing state:%s, on port=%d\n",
          StateName(state.State()), camera.Port());
      continue;
    }
    if (!state.Continuous() && !camera.FrameOwed()) {
      WriteLog(context, kLogDetail, "GrabThread::ThreadMain: no frame owed to the host, on port=%d\n", camera.Port());
      continue;
    }
    if (camera.StopRequested()) {
      WriteLog(context, kLogInfo,
               "GrabThread::ThreadMain: Capture Stop request posted, stopping image grab, on port=%d\n", camera.Port());
      continue;
    }

    if (generation != failuresGeneration) {
      failures = 0;
      failuresGeneration = generation;
    }

    camera.Statistics().MarkGrabStart();
    bool received = camera.RetrieveImage(generation);
    camera.Statistics().MarkGrabEnd();

    if (_stopFlag) break;
    // A retrieval ended by a capture stop is neither a frame nor a failure.
    if (camera.StopRequested() || camera.RetrievalStopped()) continue;

    if (received) {
      if (WillLog(context, kLogDetail))
        WriteLog(context, kLogDetail, "GrabThread::ThreadMain: grabbing completed on port=%s\n", camera.Tag().c_str());
      failures = 0;
      const bool moreOwed = !state.Continuous() && camera.SingleGrabDelivered();
      if (CompleteCallback callback = camera.BeginCallback()) {
        if (camera.Statistics().MarkCallback())
          WriteLog(context, kLogError, "WARNING: Vantor CB called before Vantors has read the previous image, %s\n",
                   camera.Tag().c_str());
        struct EndCallback {
          Camera& camera;
          ~EndCallback() { camera.EndCallback(); }
        } endCallback{camera};
        {
          HostCallbackScope inCallback;
          callback(0, camera.Port());
        }
        if (WillLog(context, kLogInfo))
          WriteLog(context, kLogInfo, "GrabThread::ThreadMain: CB called, %s\n", camera.Tag().c_str());
      } else {
        WriteLog(context, kLogError, "GrabThread::ThreadMain: ERROR: callback is not assigned, port=%d\n",
                 camera.Port());
      }
      if (state.Continuous() || moreOwed) _wakeEvent->Set();
    } else {
      camera.CountDroppedFrame();
      if (++failures < kFailuresBeforeReset) {
        // Try again at once: nothing else would wake the thread, and a single
        // failed retrieval must not silently end a grab or a stream.
        _wakeEvent->Set();
        continue;
      }
      vq::SleepMs(kResetPauseMs);
      failures = 0;
      // Only the capture that failed is reset: not one stopped or restarted
      // during the pause, nor a camera closed meanwhile.
      if (camera.CaptureGeneration() == generation && state.ChangeState(CamCapture, CamGrabErr))
        WriteLog(context, kLogError,
                 "GrabThread::ThreadMain: ERROR: Retrieve image failure, scheduling camera %s for reset, port=%d\n",
                 camera.Name().c_str(), camera.Port());
    }
  }
  WriteLog(context, kLogInfo, "GrabThread::ThreadMain: leaving on port=%d\n", camera.Port());
  return 0;
}

}  // namespace vq
