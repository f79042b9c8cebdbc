#include "log/DriverContext.h"

#include <cstdlib>

namespace vq {

std::string DriverContext::SystemPath() const {
  std::lock_guard<std::mutex> lock(_systemPathLock);
  return _systemPath;
}

void DriverContext::SetSystemPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(_systemPathLock);
  _systemPath = path;
}

namespace {

// VORQUELL_LOG_LEVEL, when set to a number, replaces the initial log level, so
// that what happens before the first camera opens (enumeration, for one) can
// be seen. Opening a camera applies its "LogLevel" parameter as usual.
void ApplyEnvironment(DriverContext& context) {
  const char* level = std::getenv("VORQUELL_LOG_LEVEL");
  if (!level || !*level) return;
  char* end = nullptr;
  long value = std::strtol(level, &end, 10);
  if (*end == '\0' && value >= -1 && value <= 4) context.logLevel = static_cast<int32_t>(value);
}

}  // namespace

std::atomic<DriverContext*> builtDriverContext{nullptr};

// Never destroyed: threads of a host that exits without finalize may still
// log while static objects are torn down.
DriverContext* MakeDriverContext() {
  static DriverContext* context = [] {
    auto* instance = new DriverContext;
    ApplyEnvironment(*instance);
    builtDriverContext.store(instance, std::memory_order_release);
    return instance;
  }();
  return context;
}

}  // namespace vq
