#pragma once
// Which capture a retrieval of the grab thread belongs to, and the wait of a
// stopping bus thread for that retrieval to end:
// - the bus thread counts the capture's starts and stops (Started,
//   BeginStop / EndStop) and, stopping, waits for a retrieval in progress
//   (WaitForRetrievalEnd);
// - the grab thread reads the count before it decides to retrieve
//   (Generation) and retrieves between BeginRetrieval and EndRetrieval. A
//   retrieval that began under another count belongs to a capture that has
//   ended: nothing of it is reported.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vq {

class CaptureRun {
 public:
  uint32_t Generation() const { return _generation; }
  bool StopRequested() const { return _stopRequested; }
  // Whether `generation` is still the running capture's.
  bool Current(uint32_t generation) const { return !_stopRequested && generation == _generation; }

  // Bus thread.
  void Started() { ++_generation; }
  void BeginStop() {
    std::lock_guard<std::mutex> lock(_lock);
    _stopRequested = true;
    ++_generation;
  }
  void EndStop() { _stopRequested = false; }
  // True once no retrieval runs; false if one still does after `timeout`.
  bool WaitForRetrievalEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(_lock);
    return _ended.wait_for(lock, timeout, [this] { return !_retrieving; });
  }

  // Grab thread. kEnded when the capture of `generation` has ended since;
  // else kRefused when `refuses()`, asked once the capture is known to run,
  // says so; else kBegun, and EndRetrieval must follow.
  enum class Start { kEnded, kRefused, kBegun };
  template <typename Refuses>
  Start BeginRetrieval(uint32_t generation, Refuses refuses) {
    std::lock_guard<std::mutex> lock(_lock);
    if (!Current(generation)) return Start::kEnded;
    if (refuses()) return Start::kRefused;
    _retrieving = true;
    return Start::kBegun;
  }
  void EndRetrieval() {
    {
      std::lock_guard<std::mutex> lock(_lock);
      _retrieving = false;
    }
    _ended.notify_all();
  }

 private:
  std::atomic<uint32_t> _generation{0};
  std::atomic<bool> _stopRequested{false};
  std::mutex _lock;
  std::condition_variable _ended;
  bool _retrieving = false;
};

}  // namespace vq
