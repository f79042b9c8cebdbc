#pragma once
// Timing statistics of one camera's acquisition, and the bus event counts of
// the camera list. Diagnostic only: the driver never acts on them.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

namespace vq {

// Running count, mean, spread and maximum of one kind of interval (Welford).
struct TimingAccumulator {
  int32_t count = 0;
  double mean = 0;
  double sumSquares = 0;
  double max = -99999999.0;

  void Reset() { *this = TimingAccumulator(); }
  void AddSample(double x);
  // "count/mean/max" with two digits after the point.
  std::string Text() const;
};

// The marks are taken by the grab thread (grab start and end, callback) and
// the host's thread (first and last row); print and reset run on the host's
// thread. A small lock keeps each mark whole against a print or a reset; a
// sample that meets a reset may land in either period. It is taken a few
// times per frame, never per row.
class CameraStatistics {
 public:
  CameraStatistics() = default;

  void Reset();
  void MarkGrabStart();
  void MarkGrabEnd();
  // Returns true when the previous frame had not been read (an overwrite).
  bool MarkCallback();
  void MarkFirstRow();
  void MarkLastRow();
  std::string Text() const;

  struct Figures {
    int32_t grabCount;
    int32_t overwriteCount;
    bool imagePending;
    TimingAccumulator grab, cycle, callbackToFirstRow, rowsRead;
  };
  Figures Snapshot() const;

 private:
  void ResetLocked();

  mutable std::mutex _lock;
  int32_t _grabStartClock = -1;
  int32_t _callbackClock = -1;
  int32_t _firstRowClock = -1;
  bool _imagePending = false;
  int32_t _grabCount = 0;
  int32_t _overwriteCount = 0;
  TimingAccumulator _grab;
  TimingAccumulator _cycle;
  TimingAccumulator _callbackToFirstRow;
  TimingAccumulator _rowsRead;
};

struct BusStatistics {
  std::atomic<int64_t> startTime{0};
  std::atomic<int32_t> busResetCount{0};
  std::atomic<int32_t> arrivalCount{0};
  std::atomic<int32_t> removalCount{0};

  void Restart();
  // "STATISTICS: startTime=dd/mm/yy hh:mm:ss, BusReset All=%d Arr=%d Rem=%d"
  std::string Text() const;
};

}  // namespace vq
