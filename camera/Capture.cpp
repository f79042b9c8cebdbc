// Capture: the host asks for frames (Grab, SetContinuousGrabMode), the bus
// thread starts and stops the SDK capture, the grab thread retrieves frames
// and hands them to the image buffer, and the host pulls rows (GetRow), each
// converted out of the frame as it is pulled.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "camera/Camera.h"
#include "camera/GrabThread.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

// How long a stop lets a frame on its way arrive before it stops the camera.
constexpr std::chrono::milliseconds kStopGrace{500};
// StopCapture releases a blocked retrieval at once; this only bounds the wait
// for a camera whose SDK call hangs.
constexpr std::chrono::milliseconds kStopAck{3000};

// The states that serve the dummy line instead of the frame's rows, and the
// line they log.
constexpr size_t kDummyLineRow = life::OnlyRefusalIndex(life::Op::kCopyRow);
constexpr life::StateSet kDummyLineStates = life::kRefusals[kDummyLineRow].states;

}  // namespace

bool Camera::Grab() {
  WriteLog(_context, kLogDetail, "Camera::Grab: entering, %s \n", Tag().c_str());
  // Each grab owes the host one frame: a capture that runs already retrieves
  // one more (the bus thread wakes its grab thread). While continuous frames
  // flow, a grab adds nothing to count.
  if (!_hostCapture.OweFrame()) {
    if (const life::Refusal* refused = life::Refuses(life::Op::kGrabWhileContinuous, _state.State())) {
      life::LogLine(_context, refused->line, Tag().c_str());
      return refused->result;
    }
  }
  _state.AddRequest(ReqCaptureStart);
  WriteLog(_context, kLogDetail, "Camera::Grab: leaving, %s \n", Tag().c_str());
  return true;
}

void Camera::SetContinuousGrabMode(bool on) {
  WriteLog(_context, kLogInfo, "Camera::SetContinuousGrabMode: mode=%s, %s\n", on ? "on" : "off", Tag().c_str());
  // Stored before the state is looked at: a closed camera remembers the mode
  // until its next open.
  const bool wasOn = _hostCapture.SetContinuous(on);
  // A capture restart queued by a close-and-reopen must not undo the host's
  // off; nor may a start the bus thread is carrying out right now.
  if (!on && _state.WithdrawCaptureRequests()) _state.AddRequest(ReqCaptureStop);
  if (wasOn == on) {
    WriteLog(_context, kLogError, "Camera::SetContinuousGrabMode: WARNING: already in the required cont state, %s\n",
             Tag().c_str());
    return;
  }
  if (const life::Refusal* refused = life::Refuses(life::Op::kSetContinuousGrabMode, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  if (_state.IsState(CamCapture)) _state.AddRequest(ReqCaptureStop);
  if (on) _state.AddRequest(ReqCaptureStart);
  WriteLog(_context, kLogDetail, "Camera::SetContinuousGrabMode: leaving, %s\n", Tag().c_str());
}

void Camera::DoStartCapture() {
  if (const life::Refusal* refused = life::Refuses(life::Op::kDoStartCapture, _state.State(), _flyCamera != nullptr)) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  FlyCapture2::Error error = _flyCamera->StartCapture();
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::DoStartCapture: ERROR, %s : %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    return;
  }
  _captureRun.Started();
  _state.SetState(CamCapture);
  _grabThread->Wake();
}

void Camera::DoStartContinuousCapture() {
  _hostCapture.SetContinuous(true);
  DoStartCapture();
}

void Camera::DoStopCapture() {
  WriteLog(_context, kLogInfo, "Camera::DoStopCapture: entering, %s \n", Tag().c_str());
  if (const life::Refusal* refused = life::Refuses(life::Op::kDoStopCapture, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  if (!_flyCamera) {
    // Nothing to stop (a grab error set on a camera that was closed meanwhile):
    // the state alone goes back, so that a waiting close can go on.
    _state.SetState(CamOpened);
    return;
  }
  struct EndStop {
    CaptureRun& run;
    ~EndStop() { run.EndStop(); }
  } endStop{_captureRun};
  _captureRun.BeginStop();
  // A frame on its way may still arrive; then the SDK stop releases a
  // retrieval that waits for one, and the grab thread acknowledges it before
  // the camera is Opened again, so that nothing of this capture is taken for
  // a failure of the next.
  _captureRun.WaitForRetrievalEnd(kStopGrace);
  FlyCapture2::Error error = _flyCamera->StopCapture();
  if (error != FlyCapture2::PGRERROR_OK)
    WriteLog(_context, kLogError, "Camera::DoStopCapture: ERROR: StopCapture failed, %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
  if (!_captureRun.WaitForRetrievalEnd(kStopAck))
    WriteLog(_context, kLogError, "Camera::DoStopCapture: WARNING: retrieval did not end within %d ms, %s\n",
             static_cast<int>(kStopAck.count()), Tag().c_str());
  _state.SetState(CamOpened);
  // Out of Capture the host reads the dummy line: the last frame, perhaps a
  // buffer of the stream just stopped, is no longer needed.
  if (_imageBuffer) _imageBuffer->DropFrame();
  WriteLog(_context, kLogInfo, "Camera::DoStopCapture: leaving, %s \n", Tag().c_str());
}

void Camera::FireSoftwareTrigger() {
  const FlyCapture2::Error error = _flyCamera->FireSoftwareTrigger();
  if (error != FlyCapture2::PGRERROR_OK)
    WriteLog(_context, kLogError, "Camera::FireSoftwareTrigger: ERROR, %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
}

void Camera::DoApplyTriggerStrobe() {
  if (const life::Refusal* refused = life::Refuses(life::Op::kDoApplyTriggerStrobe, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  const bool restart = _state.IsState(CamCapture);
  if (restart) DoStopCapture();
  {
    LockDeferringLog<std::mutex> lock(_settings.Lock());
    if (_flyCamera && Features().SetFlyTriggerMode() && Features().SetFlyStrobe())
      WriteLog(_context, kLogInfo, "Camera::DoApplyTriggerStrobe: trigger and strobe set, %s\n", Tag().c_str());
    _softwareTrigger = Features().SoftwareTriggerSelected();
  }
  if (restart) DoStartCapture();
}

void Camera::DoGrabAgain() {
  if (!_grabThread) return;
  WriteLog(_context, kLogDetail, "Camera::DoGrabAgain: one more frame, %s\n", Tag().c_str());
  _grabThread->Wake();
}

Camera::Retrieval Camera::RetrieveImage(uint32_t generation) {
  // A capture stopped (or stopped and started again) since the grab thread
  // decided to retrieve is not this retrieval's: nothing to report.
  const life::Refusal* refused = nullptr;
  const CaptureRun::Start start = _captureRun.BeginRetrieval(generation, [&] {
    refused = life::Refuses(life::Op::kRetrieveImage, _state.State());
    return refused != nullptr;
  });
  if (start == CaptureRun::Start::kEnded) return Retrieval::kStopped;
  if (start == CaptureRun::Start::kRefused) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return Retrieval::kFailed;
  }
  // Cleared on every way out, exceptions included; a stopping bus thread waits
  // for it. A frame left in the incoming image (the one the image buffer
  // handed back, or one not taken) gives its camera buffer back first.
  struct EndRetrieval {
    Camera& camera;
    ~EndRetrieval() {
      camera._receivedImage.ReturnBorrowed();
      camera._captureRun.EndRetrieval();
    }
  } endRetrieval{*this};

  if (_softwareTrigger && !_hostCapture.Continuous()) FireSoftwareTrigger();
  FlyCapture2::Error error = _flyCamera->RetrieveBuffer(&_receivedImage);
  if (!_captureRun.Current(generation)) {
    WriteLog(_context, kLogInfo,
             "Camera::RetrieveImage: Emergency quitting function because capture stop state detected, %s \n",
             Tag().c_str());
    return Retrieval::kStopped;
  }
  if (error == FlyCapture2::PGRERROR_IMAGE_INCOMPLETE) {
    // A lossy link's everyday fault, not the camera's: below the error level.
    if (WillLog(_context, kLogInfo))
      WriteLog(_context, kLogInfo, "Camera::RetrieveImage: incomplete frame dropped, %s: %s\n", Tag().c_str(),
               error.GetDescription());
    return Retrieval::kIncomplete;
  }
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::RetrieveImage: ERROR: RetrieveBuffer, %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    return Retrieval::kFailed;
  }
  if (WillLog(_context, kLogDetail))
    WriteLog(_context, kLogDetail, "Camera::RetrieveImage: INFO: Image received, %s\n", Tag().c_str());
  // The frame goes to the image buffer as it came; the host's row pulls
  // convert it (a colour camera's buffer holds BGR rows, a monochrome one's
  // grey rows). Whether they can is known now.
  error = _receivedImage.CheckConversion(_imageBuffer->RowFormat());
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::RetrieveImage: ERROR: Failed to convert image to RGB, %s: %s\n",
             Tag().c_str(), FormatFlyError(error).c_str());
    return Retrieval::kFailed;
  }
  FlyImageToImageBuffer(&_receivedImage);
  return Retrieval::kFrame;
}

void Camera::FlyImageToImageBuffer(FlyCapture2::Image* image) {
  if (!image) {
    WriteLog(_context, kLogError, "Camera::FlyImageToImageBuffer: ERROR: image ptr==null, %s\n", Tag().c_str());
    return;
  }
  if (const life::Refusal* refused = life::Refuses(life::Op::kFlyImageToImageBuffer, _state.State())) {
    life::LogLine(_context, refused->line, Tag().c_str());
    return;
  }
  if (!image->GetData()) {
    WriteLog(_context, kLogError, "Camera::FlyImageToImageBuffer: ERROR: image->GetData() returns null, %s\n",
             Tag().c_str());
    return;
  }
  // RetrieveImage has made sure the frame converts to the buffer's rows.
  // What the host may ask of the frame is kept before the frame goes.
  const uint64_t cameraTime = image->GetTimeStamp();
  _frames.Handed(image->GetFrameNumber(),
                 cameraTime != 0 ? cameraTime / 1000
                                 : static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                             image->GetReceiveTime().time_since_epoch())
                                                             .count()));
  _imageBuffer->TakeFrame(*image);
}

// Bytes of a row the host asked for: (last - first + 1) pixels from the row's
// start, cut to one image row (width x bytes per pixel) and to the line served,
// so that nothing outside the row is read and the host never gets more than a
// row, from the dummy line of an idle camera neither.
inline size_t Camera::RowCopyLength(int firstPixel, int lastPixel, size_t lineSize) const {
  const int64_t pixels = static_cast<int64_t>(lastPixel) - firstPixel + 1;
  if (pixels <= 0 || _bitsPerPixel < 8) return 0;
  const int64_t bytesPerPixel = _bitsPerPixel / 8;
  const int64_t bytes = std::min<int64_t>(pixels, _width) * bytesPerPixel;
  return static_cast<size_t>(std::min<int64_t>(bytes, static_cast<int64_t>(lineSize)));
}

bool Camera::CopyRow(int row, unsigned char* dest, int firstPixel, int lastPixel) {
  if (row == 0 || row == static_cast<int64_t>(_height) - 1) [[unlikely]]
    MarkFirstOrLastRow(row);
  if (!dest) return false;
  // Counted before the state is read: Cleanup changes the state first and
  // then waits for the count to drop, so the buffer stays while the row is
  // copied; a frame the grab thread replaces meanwhile stays too. Nothing in
  // between logs: no host code runs while counted.
  const RowReaders::Pass pass = _rowReaders.Enter();
  if (life::Holds(kDummyLineStates, _state.State())) [[unlikely]] {
    _rowReaders.Leave(pass);
    return CopyDummyLine(row, dest, firstPixel, lastPixel);
  }
  ImageBuffer* buffer = _imageBuffer.get();
  const size_t length = buffer ? RowCopyLength(firstPixel, lastPixel, buffer->RowSize()) : 0;
  std::unique_ptr<FlyCapture2::Error> failure;
  const bool copied = length > 0 && buffer->CopyLine(row, dest, length, &failure);
  _rowReaders.Leave(pass);
  if (!copied || failure) [[unlikely]]
    ReportRowFault(row, length, failure.get());
  return copied;
}

// The rare parts of CopyRow, out of its way.

void Camera::MarkFirstOrLastRow(int row) {
  if (row == 0) {
    _statistics.MarkFirstRow();
    if (WillLog(_context, kLogDetail)) WriteLog(_context, kLogDetail, "Camera::GetRow, first row, %s\n", Tag().c_str());
  } else {
    _statistics.MarkLastRow();
    if (WillLog(_context, kLogInfo))
      WriteLog(_context, kLogInfo, "Camera::GetRow, last row of %d, %s\n", static_cast<int>(_height), Tag().c_str());
  }
}

bool Camera::CopyDummyLine(int row, unsigned char* dest, int firstPixel, int lastPixel) {
  life::LogLine(_context, life::kRefusals[kDummyLineRow].line, row, static_cast<int>(_height - 1), Tag().c_str());
  const size_t length = RowCopyLength(firstPixel, lastPixel, CameraBus::kDummyLineSize);
  if (length == 0) return false;
  std::memcpy(dest, _bus.DummyLine(), length);
  return true;
}

void Camera::ReportRowFault(int row, size_t length, const FlyCapture2::Error* failure) {
  if (length > 0 && (row < 0 || row >= static_cast<int64_t>(_height)))
    WriteLog(_context, kLogError, "ImageBuffer::GetLine: ERROR: line index out of range: %d", row);
  if (failure)
    WriteLog(_context, kLogError, "ImageBuffer::ReadLine: ERROR: row %d not converted: %s\n", row,
             FormatFlyError(*failure).c_str());
}

}  // namespace vq
