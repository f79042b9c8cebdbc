#include "platform/DebugOutput.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vq {

namespace {

void SyslogSink(const char* text) { syslog(LOG_DEBUG, "%s", text); }
void StderrSink(const char* text) { std::fputs(text, stderr); }
void NoSink(const char*) {}

DebugSink DefaultSink() {
  const char* choice = std::getenv("VORQUELL_DEBUG_OUTPUT");
  if (choice && std::strcmp(choice, "stderr") == 0) return StderrSink;
  if (choice && std::strcmp(choice, "none") == 0) return NoSink;
  return SyslogSink;
}

std::atomic<DebugSink> installedSink{nullptr};

}  // namespace

void OutputDebugString(const char* text) {
  static const DebugSink defaultSink = DefaultSink();
  DebugSink sink = installedSink.load();
  (sink ? sink : defaultSink)(text);
}

DebugSink SetDebugSink(DebugSink sink) { return installedSink.exchange(sink); }

}  // namespace vq
