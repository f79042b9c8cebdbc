#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace vq {

namespace {
const auto moduleLoaded = std::chrono::steady_clock::now();
}

int32_t ClockMs() {
  auto elapsed = std::chrono::steady_clock::now() - moduleLoaded;
  return static_cast<int32_t>(1 + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

std::tm LocalTime(std::time_t t) {
  std::tm result{};
  localtime_r(&t, &result);
  return result;
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace vq
