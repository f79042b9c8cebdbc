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

// The first call's half of GetDriverContext: builds the context, once.
DriverContext* MakeDriverContext();
// Set by MakeDriverContext.
extern std::atomic<DriverContext*> builtDriverContext;

// The module's one context. Inline: every export asks, and a host pulls
// a thousand rows a frame.
inline DriverContext* GetDriverContext() {
  if (DriverContext* context = builtDriverContext.load(std::memory_order_acquire)) return context;
  return MakeDriverContext();
}

// Whether a line of `level` would reach any sink: lets a hot path skip
// building its arguments (the camera tag, say) when nothing would be written.
inline bool WillLog(const DriverContext* context, int level) {
  return level <= context->logLevel || level <= context->debugView;
}

// Formats a printf-style message and sends it to the debugger output (level <=
// debugView), the host callback and the log file (level <= logLevel).
//
// The host's callback never runs under a lock of the driver's: lines are
// formatted and queued under the log's lock, and handed to the host in the
// order they were logged after it is released, by one thread at a time. A
// line logged from inside the host's callback is delivered by that same
// delivery, after the line being delivered. A host thread returns once its
// lines have reached the callback (or after a bounded wait for a callback of
// another thread); the driver's own threads never wait for the host.
int WriteLog(DriverContext* context, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

// While one lives on a thread, the lines that thread logs are queued but not
// handed to the host; the last one to end delivers them. Whoever holds a lock
// of the driver's that host code may need (a camera's parameter lock) keeps
// one for as long as the lock is held.
class LogDeferral {
 public:
  LogDeferral();
  ~LogDeferral();
  LogDeferral(const LogDeferral&) = delete;
  LogDeferral& operator=(const LogDeferral&) = delete;
};

// A lock_guard whose thread's log lines reach the host after the lock is
// released.
template <class Mutex>
class LockDeferringLog {
 public:
  explicit LockDeferringLog(Mutex& mutex) : _lock(mutex) {}

 private:
  LogDeferral _deferral;  // declared first: ends after the lock is released
  std::lock_guard<Mutex> _lock;
};

// The threads the driver runs itself, and what each may wait for. A host
// callback made on one of them must not make it wait for itself: the bus
// thread never waits for a request to be carried out, a grab thread never for
// its own camera's close.
enum class DriverThread { kHost, kBus, kGrab, kSdkEvent };
DriverThread CurrentDriverThread();
inline bool OnDriverThread() { return CurrentDriverThread() != DriverThread::kHost; }

// Marks the current thread as one of the driver's for the scope's life.
class DriverThreadScope {
 public:
  explicit DriverThreadScope(DriverThread kind);
  ~DriverThreadScope();
  DriverThreadScope(const DriverThreadScope&) = delete;
  DriverThreadScope& operator=(const DriverThreadScope&) = delete;

 private:
  DriverThread _previous;
};

// Whether the current thread is running a host callback the driver made (the
// completion callback or the log callback), and the scope that says so.
bool InHostCallback();
class HostCallbackScope {
 public:
  HostCallbackScope();
  ~HostCallbackScope();
  HostCallbackScope(const HostCallbackScope&) = delete;
  HostCallbackScope& operator=(const HostCallbackScope&) = delete;
};

}  // namespace vq
