#include "sdk/sim/SimCamera.h"

#include <cstdio>
#include <string>

#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

// A start held up by a test (CameraFaults::holdStartCapture) goes on after
// this long at the latest, so that a test that never releases it cannot keep
// the starting thread for good.
constexpr std::chrono::seconds kLongestStartHold{30};

// One isochronous packet per bus cycle of 125 us.
constexpr std::chrono::nanoseconds kBusCycle{125000};

void CopyText(char (&target)[sk_maxStringLength], const std::string& text) {
  std::snprintf(target, sizeof target, "%s", text.c_str());
}

std::string SensorResolution(const CameraConfig& config) {
  unsigned int width = 0, height = 0;
  for (const auto& entry : config.videoModes) {
    ImageGeometry geometry = DcamGeometry(entry.mode);
    if (geometry.width * geometry.height > width * height) width = geometry.width, height = geometry.height;
  }
  for (const auto& mode : config.format7)
    if (mode.maxWidth * mode.maxHeight > width * height) width = mode.maxWidth, height = mode.maxHeight;
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string PairName(VideoMode mode, FrameRate rate) {
  const char* modeName = VideoModeName(mode);
  const char* rateName = FrameRateName(rate);
  return std::string(modeName ? modeName : "?") + " at " + (rateName ? rateName : "?");
}

Error NotCapturing() { return FC2_ERROR(PGRERROR_ISOCH_NOT_STARTED, "Capture is not running."); }

Error BusyCapturing(const char* what) {
  return FC2_ERROR(PGRERROR_ISOCH_ALREADY_STARTED, std::string("Cannot change the ") + what + " while capturing.");
}

}  // namespace

SimCamera::SimCamera(const CameraConfig& config)
    : _serial(config.serial), _config(config), _features(config.features) {}

// ---- bus side -----------------------------------------------------------

void SimCamera::SetOnBus(bool onBus) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _onBus = onBus;
  }
  _changed.notify_all();
}

bool SimCamera::IsOnBus() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _onBus && !_retired;
}

void SimCamera::Retire() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _retired = true;
    _captureOwner = nullptr;
    ++_captureGeneration;
  }
  _changed.notify_all();
}

Error SimCamera::CheckConnect() {
  CountCall(SimOperation::Connect);
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckAvailableLocked();
  if (error != PGRERROR_OK) return error;
  if (_config.faults.connect)
    return FC2_ERROR(PGRERROR_FAILED, "Simulated fault: connecting to camera " + std::to_string(_serial) + " failed.");
  return Error();
}

void SimCamera::SetFaults(const CameraFaults& faults) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _config.faults = faults;
  }
  _changed.notify_all();  // a held StartCapture looks again
}

void SimCamera::FailNextRetrievals(int count) {
  std::lock_guard<std::mutex> lock(_mutex);
  _config.failRetrievals = count > 0 ? count : 0;
}

void SimCamera::DeliverIncompleteFrames(int count) {
  std::lock_guard<std::mutex> lock(_mutex);
  _config.incompleteFrames = count > 0 ? count : 0;
}

void SimCamera::SetLendBuffers(bool lend) {
  std::lock_guard<std::mutex> lock(_mutex);
  _lendBuffers = lend;
}

void SimCamera::SetFreeRunning(bool freeRunning) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _config.freeRunning = freeRunning;
    RestartFrameClockLocked();
  }
  _changed.notify_all();
}

bool SimCamera::FireTrigger() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (CheckAvailableLocked() != PGRERROR_OK || !_captureOwner || !TriggeredLocked()) return false;
    ++_pendingTriggers;
  }
  _changed.notify_all();
  return true;
}

void SimCamera::SetTriggerPeriod(unsigned int periodMs) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _features.SetTriggerPeriod(periodMs);
    RestartFrameClockLocked();
  }
  _changed.notify_all();
}

Error SimCamera::CheckAvailableLocked() const {
  if (_retired)
    return FC2_ERROR(PGRERROR_NOT_CONNECTED,
                     "Camera " + std::to_string(_serial) + " is no longer part of the simulated fleet.");
  if (!_onBus)
    return FC2_ERROR(PGRERROR_NOT_CONNECTED, "Camera " + std::to_string(_serial) + " has been removed from the bus.");
  return Error();
}

Error SimCamera::CheckOperationLocked(SimOperation operation, unsigned int selector) const {
  Error error = CheckAvailableLocked();
  if (error != PGRERROR_OK) return error;
  if (_config.faults.Fails(operation, selector)) return InjectedFault(operation, selector);
  return Error();
}

// ---- identity -------------------------------------------------------------

Error SimCamera::GetCameraInfo(CameraInfo* info) const {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckAvailableLocked();
  if (error != PGRERROR_OK) return error;
  if (_config.faults.cameraInfo)
    return FC2_ERROR(PGRERROR_READ_REGISTER_FAILED, "Simulated fault: reading the camera information failed.");
  *info = CameraInfo();
  info->serialNumber = _serial;
  info->isColorCamera = _config.color;
  CopyText(info->modelName, _config.model);
  CopyText(info->vendorName, _config.vendor);
  CopyText(info->sensorInfo, _config.color ? "Simulated colour CCD" : "Simulated monochrome CCD");
  CopyText(info->sensorResolution, SensorResolution(_config));
  CopyText(info->firmwareVersion, "1.0 (simulated)");
  return Error();
}

// ---- capture --------------------------------------------------------------

Error SimCamera::StartCapture(const void* owner) {
  std::unique_lock<std::mutex> lock(_mutex);
  _changed.wait_for(lock, kLongestStartHold, [this] { return !_config.faults.holdStartCapture || _retired; });
  Error error = CheckAvailableLocked();
  if (error != PGRERROR_OK) return error;
  if (_captureOwner == owner) return FC2_ERROR(PGRERROR_ISOCH_ALREADY_STARTED, "Capture is already running.");
  if (_captureOwner)
    return FC2_ERROR(PGRERROR_ISOCH_ALREADY_STARTED, "The camera is capturing through another connection.");
  if (_config.faults.startCapture)
    return FC2_ERROR(PGRERROR_ISOCH_START_FAILED, "Simulated fault: the isochronous transfer could not be started.");
  FrameLayout layout = CurrentLayoutLocked();
  if (!_pattern || !(_pattern->Layout() == layout)) _pattern = std::make_shared<const TestPattern>(layout);
  _captureOwner = owner;
  ++_captureGeneration;
  _frameNumber = 0;
  _pendingTriggers = 0;
  RestartFrameClockLocked();
  return Error();
}

Error SimCamera::StopCapture(const void* owner) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!owner || _captureOwner != owner) return NotCapturing();
    _captureOwner = nullptr;
    ++_captureGeneration;
  }
  _changed.notify_all();
  return Error();
}

Error SimCamera::RetrieveBuffer(const void* owner, Image* image) {
  std::unique_lock<std::mutex> lock(_mutex);
  Error error = CheckAvailableLocked();
  if (error != PGRERROR_OK) return error;
  if (!owner || _captureOwner != owner) return NotCapturing();
  if (_config.failRetrievals > 0) {
    --_config.failRetrievals;
    return FC2_ERROR(PGRERROR_IMAGE_CONSUMPTION_ERROR, "Simulated fault: the frame was lost in transfer.");
  }
  if (!WaitForFrameLocked(lock, _captureGeneration)) {
    error = CheckAvailableLocked();
    if (error != PGRERROR_OK) return error;
    return FC2_ERROR(PGRERROR_ISOCH_NOT_STARTED, "Capture was stopped while waiting for a frame.");
  }
  const Clock::time_point received = Clock::now();
  TakeFrameLocked(received);
  uint64_t number = ++_frameNumber;
  if (_config.incompleteFrames > 0) {
    --_config.incompleteFrames;
    return FC2_ERROR(PGRERROR_IMAGE_INCOMPLETE, "Simulated fault: packets of the frame were lost.");
  }
  ++_framesDelivered;
  std::shared_ptr<const TestPattern> pattern = _pattern;
  std::shared_ptr<const LevelTransfer> levels = _features.Levels();
  const bool lend = _lendBuffers;
  lock.unlock();
  // The copy runs outside the lock: pattern and levels are immutable and
  // shared.
  if (!lend) {
    pattern->Render(number, image, levels.get());
    image->SetReceiveTime(received);
    return Error();
  }
  // A buffer of the camera's own, lent to the image until the image gives it
  // back or goes.
  auto buffer = std::make_unique<Image>();
  pattern->Render(number, buffer.get(), levels.get());
  std::shared_ptr<std::atomic<int>> lent = _buffersLent;
  lent->fetch_add(1);
  std::shared_ptr<Image> lease(buffer.release(), [lent](Image* returned) {
    delete returned;
    lent->fetch_sub(1);
  });
  image->Borrow(lease->GetRows(), lease->GetCols(), lease->GetStride(), lease->GetPixelFormat(),
                lease->GetBayerTileFormat(), lease->GetData(), lease);
  image->SetFrameNumber(number);
  image->SetReceiveTime(received);
  return Error();
}

bool SimCamera::WaitForFrameLocked(std::unique_lock<std::mutex>& lock, uint64_t generation) {
  auto interrupted = [&] { return _retired || !_onBus || _captureGeneration != generation; };
  // Several retrievals may wait at once; each looks again after the one
  // served before it has used up its trigger or moved the due time on.
  ++_retrievalsWaiting;
  Clock::time_point wakeAt;
  while (!interrupted() && !FrameReadyLocked(Clock::now(), &wakeAt)) {
    if (wakeAt == Clock::time_point::max())
      _changed.wait(lock);
    else
      _changed.wait_until(lock, wakeAt);
  }
  --_retrievalsWaiting;
  return !interrupted();
}

// With the trigger on, a frame comes for each trigger: a fired one, or one
// of the periodic trigger on its grid. Otherwise frames come on the frame
// grid, or at once when free-running.
bool SimCamera::FrameReadyLocked(Clock::time_point now, Clock::time_point* wakeAt) const {
  if (TriggeredLocked()) {
    if (_pendingTriggers > 0) return true;
    if (_features.TriggerPeriodMs() == 0) {
      *wakeAt = Clock::time_point::max();
      return false;
    }
  } else if (_config.freeRunning) {
    return true;
  }
  if (now >= _nextFrameDue) return true;
  *wakeAt = _nextFrameDue;
  return false;
}

void SimCamera::TakeFrameLocked(Clock::time_point now) {
  if (TriggeredLocked() && _pendingTriggers > 0)
    --_pendingTriggers;
  else
    AdvanceFrameClockLocked(now);
}

void SimCamera::RestartFrameClockLocked() { _nextFrameDue = Clock::now() + FrameIntervalLocked(); }

void SimCamera::OnTriggerSwitchedLocked() {
  _pendingTriggers = 0;
  RestartFrameClockLocked();
}

// Frames are due on a fixed grid of frame intervals from the capture start.
// A consumer that falls behind gets the waiting frame at once; the frames it
// missed are dropped, and the next is due at the next grid point.
void SimCamera::AdvanceFrameClockLocked(Clock::time_point now) {
  const Clock::duration interval = FrameIntervalLocked();
  if (_config.freeRunning && !TriggeredLocked()) {
    _nextFrameDue = now + interval;
    return;
  }
  auto missed = now > _nextFrameDue ? (now - _nextFrameDue) / interval : 0;
  _nextFrameDue += interval * (missed + 1);
}

SimCamera::Clock::duration SimCamera::FrameIntervalLocked() const {
  if (TriggeredLocked() && _features.TriggerPeriodMs() > 0)
    return std::chrono::milliseconds(_features.TriggerPeriodMs());
  if (_config.currentMode != VIDEOMODE_FORMAT7) {
    double fps = FramesPerSecond(_config.currentRate);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
  }
  // Format7: the frame travels in packets of the configured size, one per
  // bus cycle, so smaller regions and larger packets give more frames.
  FrameLayout layout = CurrentLayoutLocked();
  uint64_t bytes = static_cast<uint64_t>(layout.Stride()) * layout.height;
  uint64_t packetSize = _config.format7PacketSize ? _config.format7PacketSize : 1;
  uint64_t packets = (bytes + packetSize - 1) / packetSize;
  return kBusCycle * static_cast<int64_t>(packets ? packets : 1);
}

FrameLayout SimCamera::CurrentLayoutLocked() const {
  FrameLayout layout;
  if (_config.currentMode == VIDEOMODE_FORMAT7) {
    const Format7ImageSettings& settings = _config.format7Settings;
    const Format7ModeConfig* mode = FindFormat7Mode(_config, settings.mode);
    layout.width = settings.width;
    layout.height = settings.height;
    layout.format = settings.pixelFormat;
    layout.bayer = mode ? mode->bayer : NONE;
    layout.sensorX = settings.offsetX;
    layout.sensorY = settings.offsetY;
    layout.sensorWidth = mode ? mode->maxWidth : settings.width;
    layout.sensorHeight = mode ? mode->maxHeight : settings.height;
  } else {
    ImageGeometry geometry = DcamGeometry(_config.currentMode);
    layout.width = layout.sensorWidth = geometry.width;
    layout.height = layout.sensorHeight = geometry.height;
    layout.format = geometry.format;
  }
  return layout;
}

// ---- video modes and Format7 ------------------------------------------------

Error SimCamera::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) const {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::GetVideoModeAndFrameRateInfo, static_cast<unsigned>(mode));
  if (error != PGRERROR_OK) return error;
  if (!VideoModeName(mode) || !FrameRateName(rate))
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Invalid video mode or frame rate (" + std::to_string(mode) + ", " + std::to_string(rate) + ").");
  // Format7 is not a fixed mode; it is entered with SetFormat7Configuration.
  *supported = SupportsVideoMode(_config, mode, rate);
  return Error();
}

Error SimCamera::GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) const {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::GetVideoModeAndFrameRate, 0);
  if (error != PGRERROR_OK) return error;
  *mode = _config.currentMode;
  *rate = _config.currentRate;
  return Error();
}

Error SimCamera::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::SetVideoModeAndFrameRate, static_cast<unsigned>(mode));
  if (error != PGRERROR_OK) return error;
  if (_captureOwner) return BusyCapturing("video mode");
  if (mode == VIDEOMODE_FORMAT7)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Format7 is entered with SetFormat7Configuration.");
  if (!SupportsVideoMode(_config, mode, rate))
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Video mode " + PairName(mode, rate) + " is not supported by this camera.");
  _config.currentMode = mode;
  _config.currentRate = rate;
  return Error();
}

Error SimCamera::GetFormat7Info(Format7Info* info, bool* supported) const {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::GetFormat7Info, static_cast<unsigned>(info->mode));
  if (error != PGRERROR_OK) return error;
  if (info->mode < 0 || info->mode >= NUM_MODES)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid Format7 mode " + std::to_string(info->mode) + ".");
  Mode requested = info->mode;
  *info = Format7Info();
  info->mode = requested;
  const Format7ModeConfig* mode = FindFormat7Mode(_config, requested);
  *supported = mode != nullptr;
  if (!mode) return Error();
  info->maxWidth = mode->maxWidth;
  info->maxHeight = mode->maxHeight;
  info->offsetHStepSize = mode->offsetHStep;
  info->offsetVStepSize = mode->offsetVStep;
  info->imageHStepSize = mode->imageHStep;
  info->imageVStepSize = mode->imageVStep;
  for (PixelFormat format : mode->pixelFormats) info->pixelFormatBitField |= format;
  bool configured = static_cast<unsigned>(_config.format7Settings.mode) == mode->mode;
  info->packetSize = configured ? _config.format7PacketSize : mode->defaultPacketSize;
  info->minPacketSize = mode->minPacketSize;
  info->maxPacketSize = mode->maxPacketSize;
  info->percentage = 100.0f * static_cast<float>(info->packetSize) / static_cast<float>(mode->maxPacketSize);
  return Error();
}

Error SimCamera::GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize,
                                         float* percentage) const {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::GetFormat7Configuration, 0);
  if (error != PGRERROR_OK) return error;
  const Format7ModeConfig* mode = FindFormat7Mode(_config, _config.format7Settings.mode);
  if (_config.format7.empty() || !mode) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "This camera has no Format7 mode.");
  *settings = _config.format7Settings;
  *packetSize = _config.format7PacketSize;
  *percentage = 100.0f * static_cast<float>(_config.format7PacketSize) / static_cast<float>(mode->maxPacketSize);
  return Error();
}

Error SimCamera::SetFormat7Configuration(const Format7ImageSettings& settings, unsigned int packetSize) {
  std::lock_guard<std::mutex> lock(_mutex);
  Error error = CheckOperationLocked(SimOperation::SetFormat7Configuration, static_cast<unsigned>(settings.mode));
  if (error != PGRERROR_OK) return error;
  if (_captureOwner) return BusyCapturing("Format7 configuration");
  const Format7ModeConfig* mode = FindFormat7Mode(_config, settings.mode);
  if (!mode)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Format7 mode " + std::to_string(settings.mode) + " is not supported by this camera.");
  std::string problem = CheckFormat7Settings(*mode, settings, packetSize);
  if (!problem.empty()) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid Format7 configuration: " + problem + ".");
  _config.format7Settings = settings;
  _config.format7PacketSize = packetSize;
  _config.currentMode = VIDEOMODE_FORMAT7;
  _config.currentRate = FRAMERATE_FORMAT7;
  return Error();
}

// ---- queries ------------------------------------------------------------------

uint64_t SimCamera::FramesDelivered() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _framesDelivered;
}

bool SimCamera::IsCapturing() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _captureOwner != nullptr;
}

int SimCamera::RetrievalsWaiting() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _retrievalsWaiting;
}

VideoMode SimCamera::CurrentVideoMode() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _config.currentMode;
}

FrameRate SimCamera::CurrentFrameRate() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _config.currentRate;
}

Format7ImageSettings SimCamera::CurrentFormat7Settings() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _config.format7Settings;
}

void SimCamera::ResetCallCounts() {
  for (auto& count : _calls) count.store(0);
}

int SimCamera::PendingTriggers() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _pendingTriggers;
}

}  // namespace vq::sim
