#pragma once
// A camera's state, the state it came from, its continuous-capture flag and
// its queue of requests for the bus thread. Threads other than the bus thread
// never open, close, start or stop a camera: they post a request here.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

enum CamState : int32_t {
  CamNotInit = 0,
  CamClosed = 1,
  CamOpened = 2,
  CamOpenErr = 3,
  CamGrabErr = 4,
  CamCapture = 5,
  CamDestroy = 6,
};

enum StateRequest : int32_t {
  ReqNotAssigned = 0,
  ReqCameraOpen = 1,
  ReqCameraOpenOnArrival = 2,
  ReqCameraClose = 3,
  ReqCameraCloseOpen = 4,
  ReqCameraDestroy = 5,
  ReqCaptureStart = 6,
  ReqCaptureCont = 7,
  ReqCaptureStop = 8,
};

const char* StateName(int32_t state);
const char* RequestName(int32_t request);

class CameraState {
 public:
  explicit CameraState(uint32_t serialNo);

  // Queues a request for the bus thread, refusing repeats, anything behind a
  // pending destroy, and a close-and-reopen already queued; wakes the bus thread.
  void AddRequest(StateRequest request);
  // Records a transition and wakes the bus thread; the same state is refused.
  void SetState(CamState state);

  bool IsState(CamState state) const { return _state == state; }
  CamState State() const { return _state; }
  CamState PrevState() const { return _prevState; }
  // The bus thread marks a change as handled.
  void ClearPrevState() { _prevState = CamNotInit; }

  bool Continuous() const { return _continuous; }
  void SetContinuous(bool on) { _continuous = on; }

  bool HasRequests() const;
  StateRequest FrontRequest() const;
  void PopRequest();
  std::string PendingText() const;

 private:
  std::atomic<CamState> _state{CamClosed};
  std::atomic<CamState> _prevState{CamClosed};
  std::atomic<bool> _continuous{false};
  std::deque<StateRequest> _requests;
  mutable std::mutex _lock;
  uint32_t _serialNo;
};
