#pragma once
// Shared helpers of the simulated-bus tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/SimControl.h"

namespace simtest {

using namespace FlyCapture2;

// The serial numbers of the built-in fleet's cameras (sdk/sim/default-fleet.json).
constexpr unsigned int kColor = 10001001;
constexpr unsigned int kMono = 10001002;

// Every test starts from the built-in fleet, also when the whole program runs
// in one process.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vq::sim::ResetToDefaultFleet();
    vq::sim::FlushEvents();
  }
};

inline ::testing::AssertionResult Ok(const Error& error) {
  if (error == PGRERROR_OK) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "SDK error " << error.GetType() << ": " << error.GetDescription();
}

inline Error ConnectBySerial(Camera& camera, unsigned int serial) {
  BusManager bus;
  PGRGuid guid;
  Error error = bus.GetCameraFromSerialNumber(serial, &guid);
  if (error != PGRERROR_OK) return error;
  return camera.Connect(&guid);
}

// The frame number stamped into the first eight bytes (little-endian).
inline uint64_t Stamp(const Image& image) {
  uint64_t number = 0;
  for (int i = 7; i >= 0; --i) number = number << 8 | image.GetData()[i];
  return number;
}

inline std::string WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  return path;
}

// A monochrome camera in Format7 at full size in MONO16 with the smallest
// packet: one frame takes 614400 bus cycles (77 s) at its frame rate, so a
// paced retrieval waits for as long as any test runs.
inline vq::sim::CameraConfig SlowCamera(unsigned int serial) {
  vq::sim::CameraConfig camera = vq::sim::DefaultMonoCamera(serial);
  camera.currentMode = VIDEOMODE_FORMAT7;
  camera.currentRate = FRAMERATE_FORMAT7;
  camera.format7Settings.pixelFormat = PIXEL_FORMAT_MONO16;
  camera.format7PacketSize = camera.format7.front().minPacketSize;
  return camera;
}

}  // namespace simtest
