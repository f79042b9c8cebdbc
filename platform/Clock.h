#pragma once
#include <cstdint>
#include <ctime>

namespace vq {

// Milliseconds on the monotonic clock since the module was loaded, starting
// at 1 so that 0 and below can mean "no time taken". Wall-clock jumps and
// idle threads do not disturb it (unlike clock(), which counts CPU time).
int32_t ClockMs();

// Local calendar time of t.
std::tm LocalTime(std::time_t t);

void SleepMs(int milliseconds);

}  // namespace vq
