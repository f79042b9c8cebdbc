#pragma once
// The one process-wide record of the module, and its log.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "include/VorquellCamera.h"

namespace vq {

// The log levels, by what a line is for. A line reaches the host callback and
// the log file up to "LogLevel", the debugger output up to debugView.
enum LogLevel : int {
  kLogError = 1,   // errors, warnings and notices that should always be seen
  kLogInfo = 2,    // entering and leaving operations, state changes
  kLogDetail = 3,  // detail and per-frame trace
  kLogRow = 4,     // per-row trace
};

struct DriverContext {
  std::atomic<DebugMsgProc> debugMsgProc{nullptr};
  // The host's system folder; the log file and the settings file live there.
  // Host threads set it while other threads log, so it is read and written
  // through the two accessors only.
  std::string SystemPath() const;
  void SetSystemPath(const std::string& path);
  std::atomic<int32_t> refcount{0};
  std::atomic<int32_t> logLevel{1};
  std::atomic<bool> logIntoFile{false};
  std::atomic<int32_t> debugView{2};

 private:
  mutable std::mutex _systemPathLock;
  std::string _systemPath;
};

DriverContext* GetDriverContext();

// Whether a line of `level` would reach any sink: lets a hot path skip
// building its arguments (the camera tag, say) when nothing would be written.
inline bool WillLog(const DriverContext* context, int level) {
  return level <= context->logLevel || level <= context->debugView;
}

// Formats a printf-style message and sends it to the debugger output (level <=
// debugView), the host callback and the log file (level <= logLevel).
int WriteLog(DriverContext* context, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace vq
