#include "camera/CameraStatistics.h"

#include <boost/format.hpp>
#include <cstdio>

#include "platform/Clock.h"

namespace vq {

void TimingAccumulator::AddSample(double x) {
  count = count + 1;
  double d = x - mean;
  mean = mean + d / count;
  sumSquares = sumSquares + d * (x - mean);
  if (x > max) max = x;
}

std::string TimingAccumulator::Text() const { return (boost::format("%d/%.2f/%.2f") % count % mean % max).str(); }

void CameraStatistics::Reset() {
  std::lock_guard<std::mutex> lock(_lock);
  ResetLocked();
}

void CameraStatistics::ResetLocked() {
  _grabStartClock = -1;
  _callbackClock = -1;
  _firstRowClock = -1;
  _imagePending = false;
  _grabCount = 0;
  _overwriteCount = 0;
  _grab.Reset();
  _cycle.Reset();
  _callbackToFirstRow.Reset();
  _rowsRead.Reset();
}

void CameraStatistics::MarkGrabStart() {
  std::lock_guard<std::mutex> lock(_lock);
  int32_t now = vq::ClockMs();
  if (_grabStartClock > 0) _cycle.AddSample(now - _grabStartClock);
  _grabStartClock = now;
}

void CameraStatistics::MarkGrabEnd() {
  std::lock_guard<std::mutex> lock(_lock);
  int32_t now = vq::ClockMs();
  if (_grabStartClock > 0 && now > 0) _grab.AddSample(now - _grabStartClock);
  _grabCount = _grabCount + 1;
}

bool CameraStatistics::MarkCallback() {
  std::lock_guard<std::mutex> lock(_lock);
  _callbackClock = vq::ClockMs();
  bool overwrite = _imagePending;
  if (overwrite) _overwriteCount = _overwriteCount + 1;
  _imagePending = true;
  return overwrite;
}

void CameraStatistics::MarkFirstRow() {
  std::lock_guard<std::mutex> lock(_lock);
  _firstRowClock = vq::ClockMs();
  if (_firstRowClock > 0 && _callbackClock > 0) _callbackToFirstRow.AddSample(_firstRowClock - _callbackClock);
}

void CameraStatistics::MarkLastRow() {
  std::lock_guard<std::mutex> lock(_lock);
  int32_t now = vq::ClockMs();
  if (_firstRowClock > 0 && now > 0) _rowsRead.AddSample(now - _firstRowClock);
  _imagePending = false;
}

CameraStatistics::Figures CameraStatistics::Snapshot() const {
  std::lock_guard<std::mutex> lock(_lock);
  return {_grabCount, _overwriteCount, _imagePending, _grab, _cycle, _callbackToFirstRow, _rowsRead};
}

std::string CameraStatistics::Text() const {
  std::lock_guard<std::mutex> lock(_lock);
  return "GrabCnt:" + std::to_string(_grabCount) + " OvrwCnt:" + std::to_string(_overwriteCount) + " (N/mean/max)->" +
         " Grab:" + _grab.Text() + " Cycle:" + _cycle.Text() + " GetRows:" + _rowsRead.Text() +
         " CB:" + _callbackToFirstRow.Text();
}

void BusStatistics::Restart() {
  startTime = static_cast<int64_t>(std::time(nullptr));
  busResetCount = 0;
  arrivalCount = 0;
  removalCount = 0;
}

std::string BusStatistics::Text() const {
  std::tm start = vq::LocalTime(static_cast<std::time_t>(startTime.load()));
  char line[256];
  std::snprintf(line, sizeof line, "STATISTICS: startTime=%.2d/%.2d/%.2d %.2d:%.2d:%.2d, BusReset All=%d Arr=%d Rem=%d",
                start.tm_mday, start.tm_mon + 1, start.tm_year % 10, start.tm_hour, start.tm_min, start.tm_sec,
                busResetCount.load(), arrivalCount.load(), removalCount.load());
  return line;
}

}  // namespace vq
