// Fuzz target: the host's property names and values through setProperty,
// getProperty and getPropertyRange, on a driver with two open cameras. Any
// name and value may come; the answer is 1 or 0, never a crash. What a
// write changed (a parameter, the capture, the log level, a bus event on its
// way) is undone after it, so that every input starts from the same driver
// state and a crash replays from its input alone.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "include/VorquellCamera.h"
#include "tests/fuzz/DriverSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqfuzz::SetUpDriver();
  static uint64_t iteration = 0;
  vqfuzz::TrimDriverFiles(++iteration);

  const uint8_t operation = vqfuzz::Take<uint8_t>(data, size);
  const int32_t value = vqfuzz::Take<int32_t>(data, size);
  const std::string name(reinterpret_cast<const char*>(data), size);
  // Mostly the two open ports, now and then one without a camera.
  const int ports[] = {vqfuzz::kColourPort, vqfuzz::kMonoPort, vqfuzz::kColourPort, -1, 7, vqfuzz::kMonoPort};
  const int port = ports[(operation >> 2) % std::size(ports)];
  int result = 0, low = 0, high = 0;
  switch (operation & 3) {
    case 0: setProperty(0, port, name.c_str(), value); break;
    case 1: getProperty(0, port, name.c_str(), &result); break;
    case 2: getPropertyRange(0, port, name.c_str(), &low, &high); break;
    default:
      // A write and the read of what was written.
      if (setProperty(0, port, name.c_str(), value)) getProperty(0, port, name.c_str(), &result);
      break;
  }
  if ((operation & 3) == 0 || (operation & 3) == 3) vqfuzz::RestoreAfterWrite(port, name.c_str());
  return 0;
}
