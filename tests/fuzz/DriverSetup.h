#pragma once
// The driver as a host has it when it calls the property and row entry
// points: initialized on the simulated bus's default fleet, with the colour
// camera open on port 0 and capturing continuously and the monochrome camera
// open and idle on port 1. Set up once per fuzzing process.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "include/VorquellCamera.h"
#include "tests/fuzz/FuzzSupport.h"

namespace vqfuzz {

constexpr int kColourPort = 0;
constexpr int kMonoPort = 1;

inline void SetUpDriver() {
  static const bool done = [] {
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
    unsetenv("VORQUELL_SIM_FLEET");
    if (initialize(TempFolder().c_str(), nullptr) != 1) throw std::runtime_error("initialize failed");
    const char** names = getCVLCameraConfigNames();
    if (!names || !names[0] || !names[1]) throw std::runtime_error("the default fleet has two cameras");
    // Copies: the list belongs to the driver.
    const std::string colour = names[0], mono = names[1];
    int size[2] = {0, 0};
    if (openCVLPort(0, kColourPort, colour.c_str(), size) != 1 || openCVLPort(0, kMonoPort, mono.c_str(), size) != 1)
      throw std::runtime_error("the cameras of the default fleet do not open");
    setProperty(0, kColourPort, "continuous", 1);
    return true;
  }();
  (void)done;
}

}  // namespace vqfuzz
