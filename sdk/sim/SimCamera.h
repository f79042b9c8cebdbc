#pragma once
// One simulated camera: its identity and modes, whether it is on the bus,
// the capture that one of its connections runs, and its injected faults.
// Several connections (SimDevice) may share it; they are told apart by an
// owner token so that only the connection that started a capture stops it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/CameraConfig.h"
#include "sdk/sim/SimFeatures.h"
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
  // Whether a new connection may be made.
  FlyCapture2::Error CheckConnect() const;
  void SetFaults(const CameraFaults& faults);
  void FailNextRetrievals(int count);
  void SetFreeRunning(bool freeRunning);
  void AddConnection() { ++_connections; }
  void RemoveConnection() { --_connections; }

  // ---- a connection's side -------------------------------------------------
  FlyCapture2::Error GetCameraInfo(FlyCapture2::CameraInfo* info) const;

  FlyCapture2::Error StartCapture(const void* owner);
  FlyCapture2::Error StopCapture(const void* owner);
  // Blocks until the next frame is due (at once when free-running) or the
  // capture is stopped or the camera leaves the bus.
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

  // Properties, trigger, strobe and GPIO, reached only while the camera is
  // on the bus (see CheckAvailable).
  SimFeatures& Features() { return _features; }
  FlyCapture2::Error CheckAvailable() const;

  // ---- queries for tests ---------------------------------------------------
  uint64_t FramesDelivered() const;  // since the camera joined the fleet
  bool IsCapturing() const;
  // Retrievals blocked right now, waiting for their frame to be due.
  int RetrievalsWaiting() const;
  int Connections() const { return _connections; }
  FlyCapture2::VideoMode CurrentVideoMode() const;
  FlyCapture2::FrameRate CurrentFrameRate() const;
  FlyCapture2::Format7ImageSettings CurrentFormat7Settings() const;

 private:
  using Clock = std::chrono::steady_clock;

  FlyCapture2::Error CheckAvailableLocked() const;
  FrameLayout CurrentLayoutLocked() const;
  Clock::duration FrameIntervalLocked() const;
  // Waits until the next frame is due; false when the capture was stopped
  // or the camera left the bus meanwhile.
  bool WaitForFrameLocked(std::unique_lock<std::mutex>& lock, uint64_t generation);
  void AdvanceFrameClockLocked(Clock::time_point now);

  const unsigned int _serial;
  std::atomic<int> _connections{0};
  SimFeatures _features;

  mutable std::mutex _mutex;
  std::condition_variable _changed;  // capture stopped, bus state changed, pacing changed
  CameraConfig _config;              // current mode and faults live here
  bool _onBus = true;
  bool _retired = false;
  const void* _captureOwner = nullptr;
  uint64_t _captureGeneration = 0;  // counts capture starts and stops
  uint64_t _frameNumber = 0;        // of the running capture
  uint64_t _framesDelivered = 0;
  int _retrievalsWaiting = 0;
  Clock::time_point _nextFrameDue;
  std::shared_ptr<const TestPattern> _pattern;
};

}  // namespace vq::sim
