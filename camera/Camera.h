#pragma once
// One physical camera found on the bus, kept for the life of the camera list.
// Host threads post requests and poll the state (Open, Close, Grab); the bus
// thread does the SDK work (DoOpen, DoClose, DoStartCapture, DoStopCapture);
// the grab thread retrieves frames (RetrieveImage) and calls the host.
//
// What those threads share lives in parts of its own, each saying who calls
// what: the settings and the parameter lock (CameraSettings), the host's
// property calls (HostProperties), the host's callback (HostCallback), what
// the host asks of the capture (HostCapture), the capture's starts and stops
// as the grab thread sees them (CaptureRun), the frames handed and lost
// (FrameRecord), the state and its request queue (CameraState), the rows the
// host is copying (RowReaders), the bus's events (BusPresence). Which
// request runs which Do*, and what each state refuses, is in CameraLife.h.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "camera/BusPresence.h"
#include "camera/CameraBus.h"
#include "camera/CameraSettings.h"
#include "camera/CameraState.h"
#include "camera/CameraStatistics.h"
#include "camera/CaptureRun.h"
#include "camera/FrameRecord.h"
#include "camera/HostCallback.h"
#include "camera/HostCapture.h"
#include "camera/HostProperties.h"
#include "camera/ImageBuffer.h"
#include "camera/RowReaders.h"
#include "features/CameraFeatures.h"
#include "log/DriverContext.h"
#include "params/CameraIdentity.h"
#include "sdk/FlyCapture2.h"

namespace vq {

class GrabThread;

class Camera {
 public:
  // `bus` is the bus the camera sits on; it outlives the camera.
  Camera(CameraIdentity identity, CameraBus& bus);
  ~Camera();
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  // ---- the host's calls: any host thread, or a callback of the driver's ----
  // Open and Close post a request and wait for the bus thread to carry it out;
  // the others post one, or act at once.
  bool Open(int port, int32_t size[2]);
  void Close();
  // False when the old callback was still running after the wait (or, on a
  // thread of the driver's, at all): the host must not free what it uses yet.
  bool SetCompleteCB(CompleteCallback callback);
  bool Grab();
  void SetContinuousGrabMode(bool on);
  // Copies pixels firstPixel..lastPixel of row `row` into `dest`, cut to one
  // row: the frame's while capturing, the dummy line otherwise. False when
  // nothing was copied.
  bool CopyRow(int row, unsigned char* dest, int firstPixel, int lastPixel);
  // Command words and parameters by name (see HostProperties).
  bool SetProperty(const char* name, int value) { return _properties.Set(name, value); }
  bool GetProperty(const char* name, int* value) { return _properties.Get(name, value); }
  bool GetRange(const char* name, int* minValue, int* maxValue) { return _properties.Range(name, minValue, maxValue); }

  // ---- opening and settings: the bus thread (Camera.cpp) -------------------
  bool DoOpen();
  // DoOpen after a removal or an error: the capture the host asked for is
  // restored instead of the "Continuous" parameter's.
  bool DoReopen();
  bool DoClose();
  // The host has the camera open (or is opening it): a removed camera comes
  // back, a failed open is tried again.
  bool HostOpen() const { return _hostOpen; }
  // The parameter set, its lock and the camera's modes (see CameraSettings).
  CameraSettings& Settings() { return _settings; }
  // Reading the camera's features into parameters and writing them back (see
  // CameraFeatures). The caller holds Settings().Lock(); the SDK camera is
  // connected.
  CameraFeatures Features() {
    return _settings.Features(*_flyCamera, [this] { return Tag(); });
  }

  // ---- capture: the bus thread starts and stops it (Capture.cpp) -----------
  void DoStartCapture();
  // ReqCaptureCont: the host's capture becomes continuous, then it starts.
  void DoStartContinuousCapture();
  // A single grab while the capture runs: the grab thread retrieves one more.
  void DoGrabAgain();
  // Writes the trigger and strobe parameters to the open camera, a running
  // capture stopped and restarted around them.
  void DoApplyTriggerStrobe();
  void DoStopCapture();
  bool AsksContinuous() const { return _hostCapture.Continuous(); }

  // ---- capture: the grab thread retrieves and hands frames over ------------
  enum class Retrieval {
    kFrame,       // a frame is in the image buffer
    kIncomplete,  // the camera's frame came but not whole (a lossy link): dropped
    kFailed,      // nothing came, or nothing the driver can use
    kStopped,     // a capture stop ended the retrieval: neither frame nor failure
  };
  // A retrieval for the capture of `generation` (see CaptureGeneration), read
  // before the grab thread saw the camera capturing.
  Retrieval RetrieveImage(uint32_t generation);
  // Counts capture starts and stops; a retrieval that began under another
  // count belongs to a capture that has ended.
  uint32_t CaptureGeneration() const { return _captureRun.Generation(); }
  bool StopRequested() const { return _captureRun.StopRequested(); }
  // A frame of the host's single grabs has been delivered; true while more
  // are owed (the grab thread retrieves on).
  bool SingleGrabDelivered() { return _hostCapture.FrameDelivered(); }
  // Frames the host's grabs still wait for; a grab thread woken without one
  // owed (and not continuous) retrieves nothing.
  bool FrameOwed() const { return _hostCapture.FrameOwed(); }
  // The frames handed to the host and those lost (see FrameRecord).
  FrameRecord& Frames() { return _frames; }
  const FrameRecord& Frames() const { return _frames; }
  // The host's callback, as the grab thread calls it and the bus thread
  // holds it (see HostCallback).
  HostCallback& Callback() { return _hostCallback; }
  // A grab thread that never ended still uses this camera: its owner must
  // not free it.
  bool KeptForThread() const { return _keptForThread; }

  // ---- who and where the camera is: any thread -----------------------------
  // "port#%d ser#%d state:%s", the end of almost every camera log line.
  std::string Tag() const;
  int Port() const { return _port; }
  // Another camera is opened on this camera's port.
  void ReleasePort() { _port = -1; }
  const std::string& Name() const { return _identity.name; }
  uint32_t SerialNumber() const { return _identity.serialNumber; }
  bool IsColor() const { return (_identity.flags & 2) != 0; }
  // 24 for a colour camera's BGR rows, 8 for grey ("PixelSize").
  int32_t BitsPerPixel() const { return _bitsPerPixel; }
  uint32_t Width() const { return _width; }
  uint32_t Height() const { return _height; }
  CameraState& State() { return _state; }
  const CameraState& State() const { return _state; }
  CameraStatistics& Statistics() { return _statistics; }
  // What the bus's events report of the camera (see BusPresence).
  BusPresence& Presence() { return _presence; }

 private:
  // Opening (Camera.cpp).
  void ConnectToCamera();
  void ReadCameraConfiguration();
  void WriteCameraConfiguration();
  void StartGrabThread();
  void RecordOpenOutcome(bool opened);
  // After a reopen: posts the capture the host still asks for, unless a
  // capture request is already queued.
  void ResumeCapture();
  void Cleanup();
  // Capture (Capture.cpp).
  void FlyImageToImageBuffer(FlyCapture2::Image* image);
  // Grab thread or a host command: one trigger from software, a failure logged.
  void FireSoftwareTrigger();
  inline size_t RowCopyLength(int firstPixel, int lastPixel, size_t lineSize) const;
  // CopyRow's rare parts: the first and last row's marks, the dummy line of
  // a camera not capturing, a row out of range or not converted.
  void MarkFirstOrLastRow(int row);
  bool CopyDummyLine(int row, unsigned char* dest, int firstPixel, int lastPixel);
  void ReportRowFault(int row, size_t length, const FlyCapture2::Error* failure);

  // Who and where.
  CameraIdentity _identity;
  CameraBus& _bus;
  DriverContext* _context;
  int32_t _bitsPerPixel;
  std::atomic<int32_t> _port{-1};
  CameraState _state;
  CameraStatistics _statistics;
  BusPresence _presence;

  // Opening and settings.
  CameraSettings _settings;
  std::atomic<bool> _hostOpen{false};
  bool _reopening = false;  // bus thread only
  // Outcome of the latest DoOpen. The bus thread turns OpenErr into a close
  // and reopen at once, often before the host's next poll sees OpenErr, so
  // the host also learns of a failure from here.
  std::atomic<uint32_t> _openAttempts{0};
  std::atomic<bool> _lastOpenFailed{false};
  // The frame's size the host learnt at its open.
  std::atomic<uint32_t> _width{0};
  std::atomic<uint32_t> _height{0};
  std::unique_ptr<FlyCapture2::Camera> _flyCamera;
  HostProperties _properties{*this, _bus, _flyCamera};

  // Capture. Declared after the SDK camera: the incoming frame may hold one
  // of its buffers, and the grab thread, declared last, ends first.
  HostCapture _hostCapture;
  CaptureRun _captureRun;
  HostCallback _hostCallback{[this] { _bus.WakeBusThread(); }};
  FrameRecord _frames;
  // The software trigger is selected: each single grab's retrieval fires it.
  std::atomic<bool> _softwareTrigger{false};
  // Rows of _imageBuffer the host is copying right now (see CopyRow).
  RowReaders _rowReaders;
  std::unique_ptr<ImageBuffer> _imageBuffer;
  // The grab thread's incoming frame. It trades places with the image
  // buffer's frame at each hand-over, so two images, each keeping its
  // memory, serve every frame without an allocation.
  FlyCapture2::Image _receivedImage;
  std::unique_ptr<GrabThread> _grabThread;
  std::atomic<bool> _keptForThread{false};
};

}  // namespace vq
