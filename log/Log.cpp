#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/DriverContext.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"

namespace vq {

namespace {

constexpr size_t kMessageBufferSize = 1024;
constexpr size_t kTimestampBufferSize = 128;

// One lock for the formatting and writing of a line keeps concurrent lines
// whole and the file's lines in order. No host code runs under it: the host's
// callback gets the lines afterwards, from the delivery queue below. It stays
// recursive for a debug sink that logs. Like the context, the log state is
// never destroyed, so that a thread still logging while the process exits
// finds it intact.
std::recursive_mutex& LogLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}
// Lines meant for the log file while no system path is known.
std::list<std::string>& PendingLogLines() {
  static auto* lines = new std::list<std::string>;
  return *lines;
}

// Lines on their way to the host's log callback, and whether a thread is
// handing lines over right now: one thread at a time calls the host.
struct HostLine {
  std::string timestamp;
  std::string message;
};
struct Delivery {
  std::mutex lock;
  std::condition_variable idle;
  std::deque<HostLine> lines;
  bool running = false;
};
Delivery& HostDelivery() {
  static auto* delivery = new Delivery;
  return *delivery;
}
thread_local int deferralDepth = 0;
thread_local std::vector<HostLine> heldLines;  // logged under a deferral
thread_local bool delivering = false;
// How long a host thread waits for its turn while another thread's delivery
// is inside the host's callback.
constexpr auto kDeliveryWait = std::chrono::seconds(2);

// Hands `lines` to the host's callback, in order, after any lines left
// waiting. A host thread waits (bounded) for its turn and so sees its own
// lines on its own thread; a thread of the driver's never waits for the host:
// while another thread delivers, it leaves its lines to that delivery, as
// does a line logged from inside the callback (it follows the current one).
void HandToHost(DriverContext* context, std::vector<HostLine> lines) {
  Delivery& delivery = HostDelivery();
  std::unique_lock<std::mutex> lock(delivery.lock);
  if (delivery.running && !delivering && !OnDriverThread())
    delivery.idle.wait_for(lock, kDeliveryWait, [&] { return !delivery.running; });
  for (HostLine& line : lines) delivery.lines.push_back(std::move(line));
  if (delivery.running) return;
  delivery.running = true;
  delivering = true;
  while (!delivery.lines.empty()) {
    HostLine line = std::move(delivery.lines.front());
    delivery.lines.pop_front();
    lock.unlock();
    if (DebugMsgProc proc = context->debugMsgProc) {
      HostCallbackScope inCallback;
      proc(line.timestamp.c_str());
      proc(line.message.c_str());
    }
    lock.lock();
  }
  delivering = false;
  delivery.running = false;
  lock.unlock();
  delivery.idle.notify_all();
}

void AppendLineFeedIfMissing(char* message) {
  size_t n = std::strlen(message);
  if (n >= 1 && n <= kMessageBufferSize - 3 && message[n - 1] != '\n') {
    message[n] = '\n';
    message[n + 1] = '\0';
  }
}

// "dd/mm/yy hh:mm:ss: " where the year shows only its last digit.
void FormatTimestamp(char* buffer) {
  std::tm now = vq::LocalTime(std::time(nullptr));
  std::snprintf(buffer, kTimestampBufferSize, "%.2d/%.2d/%.2d %.2d:%.2d:%.2d: ", now.tm_mday, now.tm_mon + 1,
                now.tm_year % 10, now.tm_hour, now.tm_min, now.tm_sec);
}

void WriteToLogFile(const std::string& systemPath, const char* timestamp, const char* message) {
  auto& pending = PendingLogLines();
  if (systemPath.empty()) {
    pending.push_back(std::string(timestamp) + message);
    return;
  }
  std::string fileName = systemPath + "/VorquellCamera.log";
  FILE* file = std::fopen(fileName.c_str(), "a");
  if (!file) return;
  for (const auto& line : pending) std::fprintf(file, "%s", line.c_str());
  pending.clear();
  std::fprintf(file, "%s%s", timestamp, message);
  std::fclose(file);
}

}  // namespace

int WriteLog(DriverContext* context, int level, const char* format, ...) {
  const int32_t logLevel = context->logLevel;
  const int32_t debugView = context->debugView;
  if (level > logLevel && level > debugView) return 0;

  std::unique_lock<std::recursive_mutex> lock(LogLock());
  if (debugView == 4) {
    vq::OutputDebugString("_Log entering:");
    vq::OutputDebugString(format);
  }

  char messageBuffer[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(messageBuffer, kMessageBufferSize, format, args);  // cuts what does not fit
  va_end(args);
  AppendLineFeedIfMissing(messageBuffer);

  if (level <= debugView) vq::OutputDebugString(messageBuffer);
  if (level > logLevel) return 0;

  char timestampBuffer[kTimestampBufferSize];
  FormatTimestamp(timestampBuffer);
  if (context->logIntoFile) WriteToLogFile(context->SystemPath(), timestampBuffer, messageBuffer);
  if (!context->debugMsgProc) return 0;
  lock.unlock();
  if (deferralDepth > 0) {
    heldLines.push_back({timestampBuffer, messageBuffer});
    return 0;
  }
  HandToHost(context, {{timestampBuffer, messageBuffer}});
  return 0;
}

LogDeferral::LogDeferral() { ++deferralDepth; }

LogDeferral::~LogDeferral() {
  if (--deferralDepth == 0 && !heldLines.empty()) HandToHost(GetDriverContext(), std::exchange(heldLines, {}));
}

}  // namespace vq
