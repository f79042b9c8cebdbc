#pragma once
// A driver on the simulated bus for unit tests: a fleet of two cameras, the
// camera list initialised, the log captured, and everything torn down after.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "params/ParameterAccess.h"
#include "sdk/sim/SimControl.h"
#include "tests/support/TestSupport.h"

namespace vqtest {

using namespace vq;

constexpr unsigned kColourSerial = 1111;
constexpr unsigned kMonoSerial = 2222;

// A colour camera in 640x480 YUV422 and a monochrome one in 640x480 Y8, both
// at 30 fps.
inline const char* kTestFleet = R"({"cameras": [
  {"model": "Colour", "serial": 1111, "color": true,
   "videoModes": [{"mode": "640x480YUV422", "frameRates": ["7.5 fps", "15 fps", "30 fps"]},
                  {"mode": "640x480Y8", "frameRates": ["30 fps"]}],
   "current": {"videoMode": "640x480YUV422", "frameRate": "30 fps"}},
  {"model": "Mono", "serial": 2222, "color": false,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["7.5 fps", "30 fps"]}],
   "current": {"videoMode": "640x480Y8", "frameRate": "30 fps"}}
]})";

class DriverFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    vq::sim::LoadFleetJson(Fleet());
    _log = std::make_unique<LogCapture>(/*logLevel=*/3, /*debugView=*/0);
    ASSERT_TRUE(CameraList::GetInstance().Init());
    // The bus thread logs its start on its own thread: tests that count lines
    // begin once it has.
    ASSERT_TRUE(WaitForLine("CameraList::BusThreadMain entering\n"));
    // Opening a camera applies its "LogLevel" to the log: keep the detail.
    for (int i = 0; i < List().Count(); ++i) {
      std::lock_guard<std::mutex> lock(List()[i].Settings().Lock());
      ParameterAccess::SetParameter<int>(List()[i].Settings().Parameters(), "LogLevel", 3, 0, 4);
    }
  }
  void TearDown() override {
    CameraList::DeleteInstance();
    _log.reset();
  }
  virtual std::string Fleet() const { return kTestFleet; }

  CameraList& List() { return CameraList::GetInstance(); }
  Camera& Colour() { return List().GetBySerialNo(kColourSerial); }
  Camera& Mono() { return List().GetBySerialNo(kMonoSerial); }
  LogCapture& Log() { return *_log; }

  // Waits until `message` has been logged; false after the deadline.
  bool WaitForLine(const std::string& message, std::chrono::milliseconds timeout = std::chrono::milliseconds(15000)) {
    return WaitFor([&] { return _log->Contains(message); }, timeout);
  }
  bool WaitForState(Camera& camera, CamState state) {
    return WaitFor([&] { return camera.State().IsState(state); });
  }
  bool Open(Camera& camera, int port) {
    int32_t size[2];
    return camera.Open(port, size);
  }

  std::unique_ptr<LogCapture> _log;
};

}  // namespace vqtest
