#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <list>
#include <mutex>
#include <string>

#include "log/DriverContext.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"

namespace vq {

namespace {

constexpr size_t kMessageBufferSize = 1024;
constexpr size_t kTimestampBufferSize = 128;

// One lock for the whole of WriteLog keeps concurrent lines whole: the held
// lines and the file are used by one caller at a time. It is recursive so that
// a host callback that calls back into the driver cannot deadlock the log; the
// message and timestamp buffers therefore belong to each call, so that such an
// inner line cannot overwrite the line whose delivery it interrupted.
// Like the context, the log state is never destroyed, so that a thread still
// logging while the process exits finds it intact.
std::recursive_mutex& LogLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}
// Lines meant for the log file while no system path is known.
std::list<std::string>& PendingLogLines() {
  static auto* lines = new std::list<std::string>;
  return *lines;
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

  std::lock_guard<std::recursive_mutex> lock(LogLock());
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
  if (DebugMsgProc proc = context->debugMsgProc) {
    proc(timestampBuffer);
    proc(messageBuffer);
  }
  if (!context->logIntoFile) return 0;
  WriteToLogFile(context->SystemPath(), timestampBuffer, messageBuffer);
  return 0;
}

}  // namespace vq
