#pragma once
// One simulated camera: its identity, modes and features, whether it is on
// the bus, the capture that one of its connections runs, its triggers, its
// injected faults and how often each operation was called. Several
// connections (SimDevice) may share it; they are told apart by an owner token
// so that only the connection that started a capture stops it.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/CameraConfig.h"
#include "sdk/sim/SimFeatures.h"
#include "sdk/sim/SimOperation.h"
#include "sdk/sim/TestPattern.h"

namespace vq::sim {

class SimCamera {
 public:
  // The configuration must have passed CheckCameraConfig.
  explicit SimCamera(const CameraConfig& config);

  unsigned int Serial() const { return _serial; }

  // ---- the bus's side ----------------------------------------------------
  // A camera off the bus fails every operation; a retrieval blocked on it is
  // released with an error. The capture stays set up, and frames flow again
  // once the camera is back.
  void SetOnBus(bool onBus);
  bool IsOnBus() const;
  // The camera left the fleet for good (the fleet was replaced).
  void Retire();
  // Whether a new connection may be made; counted as a Connect call.
  FlyCapture2::Error CheckConnect();
  void SetFaults(const CameraFaults& faults);
  void FailNextRetrievals(int count);
  void DeliverIncompleteFrames(int count);
  void SetFreeRunning(bool freeRunning);
  // Retrievals lend the image a buffer of the camera's (Image::Borrow), as a
  // stream of a real camera does, instead of filling the image's own memory.
  void SetLendBuffers(bool lend);
  // A trigger arrives (see FireSoftwareTrigger in SimControl.h); true when
  // it will release a frame: the camera is on the bus, capturing, with its
  // trigger on.
  bool FireTrigger();
  void SetTriggerPeriod(unsigned int periodMs);
  void CountCall(SimOperation operation) { _calls[static_cast<size_t>(operation)].fetch_add(1); }
  void AddConnection() { ++_connections; }
  void RemoveConnection() { --_connections; }

  // ---- a connection's side -------------------------------------------------
  FlyCapture2::Error GetCameraInfo(FlyCapture2::CameraInfo* info) const;

  FlyCapture2::Error StartCapture(const void* owner);
  FlyCapture2::Error StopCapture(const void* owner);
  // Blocks until the next frame is due (at once when free-running; on a
  // trigger while the trigger is on) or the capture is stopped or the camera
  // leaves the bus.
  FlyCapture2::Error RetrieveBuffer(const void* owner, FlyCapture2::Image* image);

  FlyCapture2::Error GetVideoModeAndFrameRateInfo(FlyCapture2::VideoMode mode, FlyCapture2::FrameRate rate,
                                                  bool* supported) const;
  FlyCapture2::Error GetVideoModeAndFrameRate(FlyCapture2::VideoMode* mode, FlyCapture2::FrameRate* rate) const;
  FlyCapture2::Error SetVideoModeAndFrameRate(FlyCapture2::VideoMode mode, FlyCapture2::FrameRate rate);
  FlyCapture2::Error GetFormat7Info(FlyCapture2::Format7Info* info, bool* supported) const;
  FlyCapture2::Error GetFormat7Configuration(FlyCapture2::Format7ImageSettings* settings, unsigned int* packetSize,
                                             float* percentage) const;
  FlyCapture2::Error SetFormat7Configuration(const FlyCapture2::Format7ImageSettings& settings,
                                             unsigned int packetSize);

  // One operation on the properties, trigger, strobe or GPIO pins, run
  // under the camera's lock once the camera is found on the bus and no
  // injected fault covers the call (`selector`: the property type or pin).
  template <class Call>
  FlyCapture2::Error FeatureCall(SimOperation operation, unsigned int selector, Call call);

  // ---- queries for tests ---------------------------------------------------
  uint64_t FramesDelivered() const;  // since the camera joined the fleet
  bool IsCapturing() const;
  // Retrievals blocked right now, waiting for their frame to be due.
  int RetrievalsWaiting() const;
  int Connections() const { return _connections; }
  FlyCapture2::VideoMode CurrentVideoMode() const;
  FlyCapture2::FrameRate CurrentFrameRate() const;
  FlyCapture2::Format7ImageSettings CurrentFormat7Settings() const;
  uint64_t CallCount(SimOperation operation) const { return _calls[static_cast<size_t>(operation)].load(); }
  void ResetCallCounts();
  int PendingTriggers() const;
  // Buffers lent to images and not given back yet.
  int BuffersLent() const { return _buffersLent->load(); }
  // Runs `query` on the features under the camera's lock.
  template <class Query>
  auto QueryFeatures(Query query) const {
    std::lock_guard<std::mutex> lock(_mutex);
    return query(_features);
  }

 private:
  using Clock = std::chrono::steady_clock;

  FlyCapture2::Error CheckAvailableLocked() const;
  // Available, and no injected fault covers the call.
  FlyCapture2::Error CheckOperationLocked(SimOperation operation, unsigned int selector) const;
  FrameLayout CurrentLayoutLocked() const;
  // The grid frames are due on: the frame rate, or the trigger period while
  // the trigger is on.
  Clock::duration FrameIntervalLocked() const;
  bool TriggeredLocked() const { return _features.TriggerOn(); }
  // Whether a retrieval may take a frame now; when not, the time to look
  // again (Clock::time_point::max() to wait for a trigger or a change).
  bool FrameReadyLocked(Clock::time_point now, Clock::time_point* wakeAt) const;
  // Waits until the next frame is due; false when the capture was stopped
  // or the camera left the bus meanwhile.
  bool WaitForFrameLocked(std::unique_lock<std::mutex>& lock, uint64_t generation);
  // Uses up what released the frame: a pending trigger or a grid point.
  void TakeFrameLocked(Clock::time_point now);
  void AdvanceFrameClockLocked(Clock::time_point now);
  // Frames are due from now on: after a capture start or a change of the
  // trigger or pacing.
  void RestartFrameClockLocked();
  // The trigger was switched on or off: earlier triggers are void, and
  // frames follow the new pace from now on.
  void OnTriggerSwitchedLocked();

  const unsigned int _serial;
  std::atomic<int> _connections{0};

  mutable std::mutex _mutex;
  std::condition_variable _changed;  // capture stopped, bus state changed, pacing changed
  CameraConfig _config;              // current mode and faults live here
  SimFeatures _features;
  bool _onBus = true;
  bool _retired = false;
  const void* _captureOwner = nullptr;
  uint64_t _captureGeneration = 0;  // counts capture starts and stops
  uint64_t _frameNumber = 0;        // of the running capture
  uint64_t _framesDelivered = 0;
  int _retrievalsWaiting = 0;
  Clock::time_point _nextFrameDue;
  int _pendingTriggers = 0;  // triggers of the running capture not yet answered with a frame
  std::shared_ptr<const TestPattern> _pattern;
  std::array<std::atomic<uint64_t>, kOperationCount> _calls{};
  bool _lendBuffers = false;
  // Shared with the leases, which may outlive the camera.
  std::shared_ptr<std::atomic<int>> _buffersLent = std::make_shared<std::atomic<int>>(0);
};

template <class Call>
FlyCapture2::Error SimCamera::FeatureCall(SimOperation operation, unsigned int selector, Call call) {
  FlyCapture2::Error error;
  bool triggerChanged = false;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    error = CheckOperationLocked(operation, selector);
    if (error != FlyCapture2::PGRERROR_OK) return error;
    const bool triggered = TriggeredLocked();
    error = call(_features);
    triggerChanged = TriggeredLocked() != triggered;
    if (triggerChanged) OnTriggerSwitchedLocked();
  }
  if (triggerChanged) _changed.notify_all();
  return error;
}

}  // namespace vq::sim
