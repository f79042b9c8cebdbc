#pragma once
// What the host asks of a camera's capture: nothing, a number of single
// frames still owed to its grabs, or continuous frames. The one record of it:
// the grab thread reads it to know whether to retrieve, the bus thread to
// know whether a capture start is one more single grab, and a reopen after a
// removal or an error restarts from it the capture the host wants.
//
// Kept across a close: a continuous mode switched on stays on (and the host
// reads it back) until the next open, where the "Continuous" parameter decides
// afresh. Every thread reads and changes it without a lock.
#include <atomic>
#include <cstdint>

namespace vq {

class HostCapture {
 public:
  // The host asks for continuous frames.
  bool Continuous() const { return _asked == kContinuous; }
  // Single frames are owed to the host's grabs.
  bool FrameOwed() const { return _asked > 0; }
  // The host has opened the camera and no open has carried it out yet: the
  // "Continuous" parameter decides at the open.
  bool AtOpen() const { return _asked == kAtOpen; }

  // The host's open: the parameter decides once the camera is opened.
  void HostOpens() { _asked = kAtOpen; }
  // The host closed (or gave up an open): no single frame is owed any more;
  // a continuous mode is remembered.
  void HostCloses() {
    int32_t asked = _asked;
    while (asked != kContinuous && !_asked.compare_exchange_weak(asked, kIdle)) {
    }
  }
  // An open applies the "Continuous" parameter: whatever was asked before is
  // cleared, but for frames owed to grabs made during the open.
  void ClearForParameter() {
    int32_t asked = _asked;
    while (asked < kIdle && !_asked.compare_exchange_weak(asked, kIdle)) {
    }
  }
  // The host switches continuous frames on or off; owed single frames are
  // forgotten either way. True when continuous frames were asked for before.
  bool SetContinuous(bool on) { return _asked.exchange(on ? kContinuous : kIdle) == kContinuous; }
  // A grab: one more single frame owed. False, with nothing changed, while
  // continuous frames are asked for.
  bool OweFrame() {
    int32_t asked = _asked;
    do {
      if (asked == kContinuous) return false;
    } while (!_asked.compare_exchange_weak(asked, asked > 0 ? asked + 1 : 1));
    return true;
  }
  // A single frame has been delivered; true while more are owed.
  bool FrameDelivered() {
    int32_t asked = _asked;
    do {
      if (asked <= 0) return false;
    } while (!_asked.compare_exchange_weak(asked, asked - 1));
    return asked > 1;
  }

 private:
  static constexpr int32_t kAtOpen = -2;
  static constexpr int32_t kContinuous = -1;
  static constexpr int32_t kIdle = 0;  // above it: single frames owed

  std::atomic<int32_t> _asked{kIdle};
};

}  // namespace vq
