// Fuzz target: fleet descriptions of the simulated bus, read by the control
// interface as a test or a user's fleet file would be. Whatever the text,
// the reader either loads a fleet or throws std::invalid_argument.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "sdk/sim/SimControl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    vq::sim::LoadFleetJson(text);
  } catch (const std::invalid_argument&) {
    // A described problem: the expected answer to a bad description.
  }
  return 0;
}
