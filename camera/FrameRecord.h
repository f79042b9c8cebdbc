#pragma once
// What the host may ask of the frames handed to it since the camera opened:
// the last one's number and time, the frames lost and those of them that came
// incomplete. The grab thread writes it, the bus thread clears it at an open,
// host property commands and the bus's statistics read it from any thread.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vq {

class FrameRecord {
 public:
  // A frame handed to the host: its number, and its time in microseconds
  // (the camera's clock where it sends one, else the monotonic clock at its
  // arrival).
  void Handed(uint64_t number, uint64_t timeUs) {
    _lastNumber = number;
    _lastTimeUs = timeUs;
  }
  // A retrieval failed: the frame, if the camera sent one, is lost.
  void CountDropped() { ++_dropped; }
  // An incomplete frame was dropped; it counts among the dropped frames too.
  void CountIncomplete() {
    ++_incomplete;
    ++_dropped;
  }
  void ClearDrops() {
    _dropped = 0;
    _incomplete = 0;
  }

  uint64_t LastNumber() const { return _lastNumber; }
  uint64_t LastTimeUs() const { return _lastTimeUs; }
  uint32_t Dropped() const { return _dropped; }
  uint32_t Incomplete() const { return _incomplete; }
  // "dropped=%u incomplete=%u".
  std::string DropsText() const {
    char text[64];
    std::snprintf(text, sizeof text, "dropped=%u incomplete=%u", _dropped.load(), _incomplete.load());
    return text;
  }

 private:
  std::atomic<uint64_t> _lastNumber{0};
  std::atomic<uint64_t> _lastTimeUs{0};
  std::atomic<uint32_t> _dropped{0};
  std::atomic<uint32_t> _incomplete{0};
};

}  // namespace vq
