// The camera object: construction, opening and closing. Open and Close run on
// the host's thread and only post a request and wait for its outcome; DoOpen,
// DoClose and Cleanup run on the bus thread and do the SDK work.
#include "camera/Camera.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "camera/GrabThread.h"
#include "params/ParameterAccess.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

using std::chrono::milliseconds;

// How long the host waits for its open or close to be carried out.
constexpr milliseconds kOutcomeWait{5000};
// How long a camera being destroyed waits for the bus thread to close it.
constexpr milliseconds kDestroyWait{4000};
constexpr int kCallbackReturnWaitMs = 5000;
// A row copy is a memcpy: a reader still inside after this long is stuck.
constexpr milliseconds kRowReadersWait{5000};

// The time since `start` in the 10 ms steps the open's log line counts.
int TensOfMillisecondsSince(std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
  return std::max<int>(1, static_cast<int>((elapsed.count() + 9) / 10));
}

}  // namespace

Camera::Camera(CameraIdentity identity, CameraBus& bus)
    : _identity(std::move(identity)),
      _bus(bus),
      _context(GetDriverContext()),
      _bitsPerPixel((_identity.flags & 2) ? 24 : 8),
      _state(_identity.serialNumber, [&bus] { bus.WakeBusThread(); }),
      _settings(_identity) {}

Camera::~Camera() {
  if (!_state.IsState(CamDestroy)) {
    _state.AddRequest(ReqCameraDestroy);
    if (!_state.WaitFor({CamDestroy}, kDestroyWait))
      WriteLog(_context, kLogError, "Camera::~Camera: WARNING: could not reach destructing state, %s \n",
               Tag().c_str());
  }
  WriteLog(_context, kLogInfo, "Camera::~Camera: %s\n", Tag().c_str());
  // A camera that never reached its destroy state (no bus thread) may still
  // hold its SDK resources; they go now, with the grab thread first. Should
  // that thread not end, what it uses stays.
  if (_grabThread && !_grabThread->Destroy()) {
    (void)_grabThread.release();
    (void)_flyCamera.release();
    (void)_imageBuffer.release();
  }
  _grabThread.reset();
  _flyCamera.reset();
}

std::string Camera::Tag() const {
  char tag[128];
  std::snprintf(tag, sizeof tag, "port#%d ser#%d state:%s", _port.load(), _identity.serialNumber,
                StateName(_state.State()));
  return tag;
}

bool Camera::Open(int port, int32_t size[2]) {
  size[0] = 0;
  size[1] = 0;
  _presence.Clear();
  _hostOpen = true;
  if (const life::Refusal* refused = life::Refuses(life::Op::kOpen, _state.State())) {
    life::LogLine(_context, refused->line, Name().c_str(), Tag().c_str());
    size[0] = static_cast<int32_t>(_width.load());
    size[1] = static_cast<int32_t>(_height.load());
    return refused->result;
  }
  // The bus thread carries out the open: from its own log callback it would
  // wait for itself.
  if (CurrentDriverThread() == DriverThread::kBus) {
    _hostOpen = false;
    WriteLog(_context, kLogError, "Camera::Open: ERROR: camera %s cannot be opened from the bus thread, %s\n",
             Name().c_str(), Tag().c_str());
    return false;
  }
  _port = port;
  _hostCapture.HostOpens();
  // The host learns the frame's size from this open; until then there is
  // none a reopen must keep.
  _width = 0;
  _height = 0;
  WriteLog(_context, kLogInfo, "Camera::Open: Posting open request for camera %s\n", Tag().c_str());
  const uint32_t attemptsBefore = _openAttempts;
  const auto start = std::chrono::steady_clock::now();
  _state.AddRequest(ReqCameraOpen);
  // The bus thread may take an opened camera on into Capture at once (the
  // "Continuous" parameter), so the open's own outcome counts, not only the state.
  auto opened = [&] { return _state.IsState(CamOpened) || (_openAttempts != attemptsBefore && !_lastOpenFailed); };
  auto failed = [&] { return _state.IsState(CamOpenErr) || (_openAttempts != attemptsBefore && _lastOpenFailed); };
  // As with a close, the host learns of the open when the bus thread has
  // finished the request.
  _state.WaitUntil([&] { return (opened() && !_state.HasRequest(ReqCameraOpen)) || failed(); }, kOutcomeWait);
  if (opened()) {
    WriteLog(_context, kLogInfo, "Camera::Open: Open state reached for camera after %d sleeps of 10ms, %s\n",
             TensOfMillisecondsSince(start), Tag().c_str());
    WriteLog(_context, kLogError, "Camera %s OPEN, %s\n", Name().c_str(), Tag().c_str());
    size[0] = static_cast<int32_t>(_width.load());
    size[1] = static_cast<int32_t>(_height.load());
    return true;
  }
  if (failed()) {
    WriteLog(_context, kLogError, "Camera::Open: ERROR: Open error for camera %s, %s\n", Name().c_str(), Tag().c_str());
    return false;
  }
  WriteLog(_context, kLogError, "Camera::Open: ERROR: Open timeout for camera %s, %s\n", Name().c_str(), Tag().c_str());
  // The host was told the open failed: an open the bus thread carries out
  // later is closed again, so that no capture starts and no callback comes.
  _hostOpen = false;
  _hostCapture.HostCloses();
  _state.AddRequest(ReqCameraClose);
  return false;
}

void Camera::Close() {
  // From here on nothing reopens the camera or restarts its capture: not a
  // pending reopen after a removal, not a failed open's retry.
  _hostOpen = false;
  _hostCapture.HostCloses();
  // An open still queued (one the host gave up waiting for) is closed after it.
  const life::Refusal* refused = life::Refuses(life::Op::kClose, _state.State());
  if (refused && !_state.Busy() && !_state.HasRequest(ReqCameraOpen)) {
    life::LogLine(_context, refused->line, Name().c_str(), Tag().c_str());
    return;
  }
  WriteLog(_context, kLogInfo, "Camera::Close: Posting close request for camera %s, %s\n", Name().c_str(),
           Tag().c_str());
  _state.AddRequest(ReqCameraClose);
  // On one of the driver's threads (the completion callback, a log callback
  // of the bus thread) the close is carried out once that thread is free
  // again: waiting here would wait for itself.
  if (OnDriverThread()) {
    WriteLog(_context, kLogInfo, "Camera::Close: close of camera %s is carried out after the callback, %s\n",
             Name().c_str(), Tag().c_str());
    return;
  }
  // Closed is set before the grab thread ends and the SDK camera goes: the
  // host learns of the close when the bus thread has finished it, so that
  // no frame reaches the host after its close returned.
  auto closed = [this] { return _state.IsState(CamClosed) && !_state.Busy() && !_state.HasRequest(ReqCameraClose); };
  if (_state.WaitUntil(closed, kOutcomeWait)) {
    WriteLog(_context, kLogInfo, "Camera::Close: Close state reached for camera %s, %s\n", Name().c_str(),
             Tag().c_str());
    return;
  }
  WriteLog(_context, kLogError, "Camera::Close: ERROR: Close timeout for camera %s, %s\n", Name().c_str(),
           Tag().c_str());
}

bool Camera::DoOpen() {
  WriteLog(_context, kLogInfo, "Camera::DoOpen: Opening camera %s, %s\n", Name().c_str(), Tag().c_str());
  if (const life::Refusal* refused = life::Refuses(life::Op::kDoOpen, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return refused->result;
  }
  try {
    {
      // The parameter set is read and written throughout; host property
      // commands and the dialog's final assignment wait meanwhile.
      LockDeferringLog<std::mutex> lock(_settings.Lock());
      _settings.LoadFile(_context);
      _statistics.Reset();
      _frames.ClearDrops();
      ConnectToCamera();
      ReadCameraConfiguration();
      _settings.PutBackOverCamera(_reopening);
      WriteLog(_context, kLogDetail, "CameraList::Open: configuration loaded from file %s\n", Tag().c_str());
      WriteCameraConfiguration();
      _softwareTrigger = Features().SoftwareTriggerSelected();
      auto [width, height] = ParameterAccess::GetImageSize(_settings.Parameters());
      if (_reopening && _width != 0 && (width != _width || height != _height)) {
        WriteLog(_context, kLogError,
                 "Camera::DoOpen: ERROR: camera %s came back with frames of %ux%u, the host has %ux%u, %s\n",
                 Name().c_str(), width, height, _width.load(), _height.load(), Tag().c_str());
        throw std::runtime_error("CameraList::Open: the frame size changed");
      }
      _width = width;
      _height = height;
      _settings.KeepInEffect();
    }
    _imageBuffer =
        std::make_unique<ImageBuffer>(IsColor(), _width.load(), static_cast<int32_t>(_height.load()), _rowReaders);
    StartGrabThread();
    _hostCallback.Release();
    // The host's open lets the "Continuous" parameter decide; a reopen after
    // a removal or an error restores what the host asked for since.
    const bool parameterDecides = !_reopening || _hostCapture.AtOpen();
    if (parameterDecides) _hostCapture.ClearForParameter();
    _state.SetState(CamOpened);
    bool continuous;
    {
      LockDeferringLog<std::mutex> lock(_settings.Lock());
      continuous = ParameterAccess::GetContinuous(_settings.Parameters());
    }
    RecordOpenOutcome(true);
    if (parameterDecides) {
      if (continuous) SetContinuousGrabMode(true);
    } else {
      ResumeCapture();
    }
    WriteLog(_context, kLogInfo, "Camera::DoOpen: leaving, %s\n", Tag().c_str());
    return true;
  } catch (const std::exception& e) {
    WriteLog(_context, kLogError, "Camera::DoOpen: EXCEPTION catch...throw again, %s: %s\n", Tag().c_str(), e.what());
    Cleanup();
    RecordOpenOutcome(false);
    _state.SetState(CamOpenErr);
    throw;
  } catch (...) {
    WriteLog(_context, kLogError, "Camera::DoOpen: EXCEPTION catch...throw again, port %s\n", Tag().c_str());
    Cleanup();
    RecordOpenOutcome(false);
    _state.SetState(CamOpenErr);
    throw;
  }
}

bool Camera::DoReopen() {
  struct ClearOnExit {
    bool& flag;
    ~ClearOnExit() { flag = false; }
  } clearReopening{_reopening};
  _reopening = true;
  return DoOpen();
}

void Camera::ResumeCapture() {
  // Nothing restarts for a host that has closed the camera meanwhile.
  const bool continuous = _hostCapture.Continuous();
  if (!_hostOpen || (!continuous && !_hostCapture.FrameOwed())) return;
  if (_state.HasRequest(ReqCaptureStart) || _state.HasRequest(ReqCaptureCont)) return;
  WriteLog(_context, kLogInfo, "Camera::ResumeCapture: restarting %s capture, %s\n",
           continuous ? "continuous" : "single", Tag().c_str());
  _state.AddRequest(continuous ? ReqCaptureCont : ReqCaptureStart);
}

void Camera::RecordOpenOutcome(bool opened) {
  _lastOpenFailed = !opened;
  ++_openAttempts;
  _state.Notify();
}

void Camera::ConnectToCamera() {
  _flyCamera = std::make_unique<FlyCapture2::Camera>();
  FlyCapture2::PGRGuid guid;
  FlyCapture2::Error error = _bus.SdkBus().GetCameraFromSerialNumber(_identity.serialNumber, &guid);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "CameraList::Open: ERROR: failed to obtain guid for camera %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    throw std::runtime_error("CameraList::Open: Failed to obtain camera guid");
  }
  error = _flyCamera->Connect(&guid);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "CameraList::Open: ERROR: failed to connect camera %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    throw std::runtime_error("CameraList::Open: Failed to open camera");
  }
  WriteLog(_context, kLogDetail, "CameraList::Open: camera connected on port %s\n", Tag().c_str());
}

void Camera::ReadCameraConfiguration() {
  if (!Features().GetFlySettings()) {
    WriteLog(_context, kLogError, "CameraList::Open: ERROR: failed to get camera configuration, %s\n", Tag().c_str());
    throw std::runtime_error("CameraList::Open: Failed to camera configuration");
  }
  WriteLog(_context, kLogDetail, "CameraList::Open: got camera configuration %s\n", Tag().c_str());
}

void Camera::WriteCameraConfiguration() {
  if (!Features().LoadSettgins()) {
    WriteLog(_context, kLogError, "CameraList::Open: ERROR: failed to setup camera, %s\n", Tag().c_str());
    throw std::runtime_error("CameraList::Open: Failed to setup camera");
  }
  WriteLog(_context, kLogDetail, "CameraList::Open: camera settings set %s\n", Tag().c_str());
}

void Camera::StartGrabThread() {
  if (_grabThread) {
    WriteLog(_context, kLogError, "Camera::Open: WARNING: grab thread already initialized for camera=%s, %s\n",
             Name().c_str(), Tag().c_str());
    return;
  }
  _grabThread = std::make_unique<GrabThread>(this);
  if (!_grabThread->Init()) {
    WriteLog(_context, kLogError, "Camera::Open: ERROR: grab thread could not be initialized for camera=%s\n",
             Tag().c_str());
    throw std::runtime_error("CameraList::Open: grab thread could not be initialized");
  }
}

bool Camera::DoClose() {
  WriteLog(_context, kLogInfo, "Camera::DoClose: entering %s\n", Tag().c_str());
  if (const life::Refusal* refused = life::Refuses(life::Op::kDoClose, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return refused->result;
  }
  _state.SetState(CamClosed);
  Cleanup();
  WriteLog(_context, kLogInfo, "Camera::Close: leaving, %s\n", Tag().c_str());
  return true;
}

void Camera::Cleanup() {
  if (const life::Refusal* refused = life::Refuses(life::Op::kCleanup, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  try {
    if (_grabThread && !_grabThread->Destroy()) {
      // The thread outlived every wait: it keeps what it may still use (this
      // camera, its SDK camera, its buffer) for the rest of the process.
      WriteLog(_context, kLogError, "Camera::Cleanup: ERROR: grab thread left running, camera kept, %s\n",
               Tag().c_str());
      _keptForThread = true;
      (void)_grabThread.release();
      (void)_flyCamera.release();
      (void)_imageBuffer.release();
      return;
    }
    _grabThread.reset();
    if (_flyCamera) {
      // Host property commands write the camera's properties through it
      // while holding the parameter lock.
      LockDeferringLog<std::mutex> lock(_settings.Lock());
      if (_flyCamera->IsConnected()) _flyCamera->Disconnect();
      _flyCamera.reset();
    }
    if (_imageBuffer) {
      // The state has left Capture, so no new row is handed out; rows the
      // host is still copying finish first.
      if (_rowReaders.WaitForNone(kRowReadersWait)) {
        _imageBuffer->Release();
        _imageBuffer.reset();
      } else {
        // A host thread still inside a row copy after this long keeps the buffer.
        WriteLog(_context, kLogError, "Camera::Cleanup: ERROR: a row copy did not end within %d ms, buffer kept, %s\n",
                 static_cast<int>(kRowReadersWait.count()), Tag().c_str());
        (void)_imageBuffer.release();
      }
    }
  } catch (...) {
    WriteLog(_context, kLogError, "Camera::Cleanup: WARNING: exception point caught on port %s\n", Tag().c_str());
  }
}

bool Camera::SetCompleteCB(CompleteCallback callback) {
  std::string line = "Camera::SetCompleteCB: ";
  if (CompleteCallback stored = _hostCallback.Current()) {
    line += "CB was already assigned. ";
    if (callback && stored == callback) line += "The new CB is the same function. ";
  }
  if (!callback) line += "Resetting CB to null. ";
  line += "\n";
  WriteLog(_context, kLogInfo, "%s", line.c_str());
  if (_hostCallback.Replace(callback, milliseconds(kCallbackReturnWaitMs))) return true;
  WriteLog(_context, kLogError, "Camera::SetCompleteCB: WARNING: the previous CB did not return within %d ms, %s\n",
           OnDriverThread() ? 0 : kCallbackReturnWaitMs, Tag().c_str());
  return false;
}

}  // namespace vq
