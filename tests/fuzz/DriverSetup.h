#pragma once
// The driver as a host has it when it calls the property and row entry
// points: initialized on the simulated bus's default fleet, with the colour
// camera open on port 0, capturing, holding the one frame a single grab
// brought, and the monochrome camera open and idle on port 1. No frame
// arrives after the first, so no thread of the driver has work to do while an
// input runs, and the colour camera's rows are the same for every input.
//
// Every input starts from this state, so that a crash replays from its input
// alone. A target whose input has written a property calls RestoreAfterWrite:
// it puts back the log settings and the written camera's parameter set (and
// with it the camera properties the set holds); for a command word that acts
// on the capture, the bus or a camera's state it finalizes the driver, removes
// the driver's files and sets the driver up again (RestartDriver, some 25 ms
// under the sanitizers: too slow for every write).
#include <strings.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "features/FeatureTables.h"
#include "features/PropertyNames.h"
#include "include/VorquellCamera.h"
#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "sdk/sim/SimControl.h"
#include "tests/fuzz/FuzzSupport.h"

namespace vqfuzz {

constexpr int kColourPort = 0;
constexpr int kMonoPort = 1;

namespace detail {

struct Arrival {
  std::mutex lock;
  std::condition_variable arrived;
  bool delivered = false;
};

inline Arrival& FrameArrival() {
  static Arrival arrival;
  return arrival;
}

inline void OnFrame(int, int port) {
  if (port != kColourPort) return;
  Arrival& arrival = FrameArrival();
  {
    std::lock_guard<std::mutex> lock(arrival.lock);
    arrival.delivered = true;
  }
  arrival.arrived.notify_all();
}

// The log settings of a fresh process; "debugview" and "loglevel" change them.
struct LogSettings {
  int32_t logLevel;
  bool logIntoFile;
  int32_t debugView;
};

inline const LogSettings& InitialLogSettings() {
  static const LogSettings settings = [] {
    const vq::DriverContext* context = vq::GetDriverContext();
    return LogSettings{context->logLevel.load(), context->logIntoFile.load(), context->debugView.load()};
  }();
  return settings;
}

inline void RestoreLogSettings() {
  const LogSettings& initial = InitialLogSettings();
  vq::DriverContext* context = vq::GetDriverContext();
  context->logLevel = initial.logLevel;
  context->logIntoFile = initial.logIntoFile;
  context->debugView = initial.debugView;
}

// The two cameras' parameter sets as the driver had them after the first start.
struct ParameterSets {
  std::optional<vq::CameraParameters> colour, mono;
};

inline ParameterSets& InitialParameters() {
  static ParameterSets sets;
  return sets;
}

inline vq::CameraParameters CopyParameters(int port) {
  vq::Camera& camera = vq::CameraList::GetInstance().GetByPort(port);
  std::lock_guard<std::mutex> lock(camera.Settings().Lock());
  return camera.Settings().Parameters();
}

// The set as it was, and the camera's properties as the set has them: the
// step a property write ends with. A write changes values and marks them as
// the host's, never the list of parameters: each one takes the initial one's
// fields and the marks go (the initial set has none), which costs less than
// a copy of the whole set.
inline void RestoreParameters(int port, const vq::CameraParameters& initial, bool triggerAndStrobe = false) {
  vq::Camera& camera = vq::CameraList::GetInstance().GetByPort(port);
  std::lock_guard<std::mutex> lock(camera.Settings().Lock());
  vq::CameraParameters& live = camera.Settings().Parameters();
  auto from = initial.Params().begin();
  bool sameList = true;
  for (const vq::Param_& param : live.Params()) {
    if (from == initial.Params().end() || from->_name != param._name) {
      sameList = false;
      break;
    }
    ++from;
  }
  if (sameList && from == initial.Params().end()) {
    from = initial.Params().begin();
    for (vq::Param_& param : live.Params()) param.Assign(*from++);
    live.ForgetHostValues();
  } else {
    live = initial;
  }
  camera.Features().SetFlyProperties();
  if (!triggerAndStrobe) return;
  camera.Features().SetFlyTriggerMode();
  camera.Features().SetFlyStrobe();
}

// Waits (bounded) until the bus thread has carried out the camera's requests.
inline void WaitForRequests(int port) {
  vq::CameraState& state = vq::CameraList::GetInstance().GetByPort(port).State();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((state.HasRequests() || state.Busy()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

inline void StartDriver() {
  if (initialize(TempFolder().c_str(), nullptr) != 1) throw std::runtime_error("initialize failed");
  const char** names = getCVLCameraConfigNames();
  if (!names || !names[0] || !names[1]) throw std::runtime_error("the default fleet has two cameras");
  // Copies: the list belongs to the driver.
  const std::string first = names[0], second = names[1];
  int size[2] = {0, 0};
  if (openCVLPort(0, kColourPort, first.c_str(), size) != 1 || openCVLPort(0, kMonoPort, second.c_str(), size) != 1)
    throw std::runtime_error("the cameras of the default fleet do not open");
  if (!InitialParameters().colour) {
    InitialParameters().colour.emplace(CopyParameters(kColourPort));
    InitialParameters().mono.emplace(CopyParameters(kMonoPort));
    for (const vq::CameraParameters* initial : {&*InitialParameters().colour, &*InitialParameters().mono}) {
      vq::CameraParameters probe = *initial;
      if (probe.ForgetHostValues()) throw std::runtime_error("a camera just opened holds values of the host");
    }
  }
  // The frame comes as soon as it is asked for, not at the frame rate.
  vq::sim::SetFreeRunning(vq::CameraList::GetInstance().GetByPort(kColourPort).SerialNumber(), true);
  Arrival& arrival = FrameArrival();
  {
    std::lock_guard<std::mutex> lock(arrival.lock);
    arrival.delivered = false;
  }
  if (setCompleteCallback(0, kColourPort, OnFrame) != 1 || doCVLGrab(0, kColourPort) != 1)
    throw std::runtime_error("the colour camera does not grab");
  std::unique_lock<std::mutex> lock(arrival.lock);
  if (!arrival.arrived.wait_for(lock, std::chrono::seconds(20), [&] { return arrival.delivered; }))
    throw std::runtime_error("the colour camera's frame did not come within 20 s");
}

inline void StopDriver() {
  // Bus events an input raised reach the driver they were raised for.
  vq::sim::FlushEvents();
  if (finalize() != 1) throw std::runtime_error("finalize failed");
  vq::sim::FlushEvents();
  std::error_code ignored;
  std::filesystem::remove(TempFolder() + "/VorquellCamera.ini", ignored);
  std::filesystem::remove(TempFolder() + "/VorquellCamera.log", ignored);
  RestoreLogSettings();
}

// Whether the cameras opened with the parameters they had at the first start.
inline bool SameParameters() {
  ParameterSets& initial = InitialParameters();
  return CopyParameters(kColourPort).Values() == initial.colour->Values() &&
         CopyParameters(kMonoPort).Values() == initial.mono->Values();
}

}  // namespace detail

// Once per process.
inline void SetUpDriver() {
  static const bool done = [] {
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
    unsetenv("VORQUELL_SIM_FLEET");
    unsetenv("VORQUELL_SDK_BACKEND");
    detail::InitialLogSettings();
    detail::StartDriver();
    return true;
  }();
  (void)done;
}

// Back to the state SetUpDriver made, whatever the last input did. The
// simulated cameras stay when the driver finds them as at the first start
// (the open sequence reads every mode and feature the parameters hold from
// the camera); a new fleet would draw its test pictures again, which takes
// longer than the restart. Else the fleet is built again.
inline void RestartDriver() {
  detail::StopDriver();
  detail::StartDriver();
  if (detail::SameParameters()) return;
  detail::StopDriver();
  vq::sim::ResetToDefaultFleet();
  detail::StartDriver();
  if (!detail::SameParameters()) throw std::runtime_error("the driver does not start as it did at first");
}

// After a write of `name` on `port`: back to the state SetUpDriver made.
inline void RestoreAfterWrite(int port, const char* name) {
  detail::RestoreLogSettings();
  // A port without a camera takes no write.
  if (port != kColourPort && port != kMonoPort) return;
  // The command words that raise bus events or set a camera's state, and a
  // capture switched on, reach the bus thread and the cameras' threads: only
  // a new start undoes them. (A "continuous" 0 leaves a camera that is not
  // capturing continuously as it is.) The statistics commands change counts
  // only.
  for (const char* word : {"continuous", "continous", "BusRemoval", "BusArrival", "executebusreset", "Reset"}) {
    if (strcasecmp(name, word) != 0) continue;
    int continuous = -1;
    if (strncasecmp(name, "contin", 6) == 0 && getProperty(0, port, name, &continuous) == 1 && continuous == 0) return;
    // A removed camera comes back first, as an unplugged one does: finalize
    // with the camera still away took 10 s (the bus thread ends only after
    // its 5 s wait for events, and reopens the camera on its way out).
    if (strcasecmp(name, "BusRemoval") == 0) setProperty(0, port, "BusArrival", 0);
    RestartDriver();
    return;
  }
  // A name that reads back as a parameter of the camera (written, or its
  // write failed half-way): the camera's set goes back whole, since a
  // constraint may have moved others with it. Other names change nothing.
  int ignored = 0;
  if (getProperty(0, port, name, &ignored) != 1) return;
  const detail::ParameterSets& sets = detail::InitialParameters();
  if (vq::IsTriggerStrobeParameter(vq::TranslatePropertyName(name))) {
    // The driver writes these to the open camera through the bus thread and
    // restarts its capture: the camera gets the initial ones back the same
    // way, and a new start gives the colour camera its one frame again.
    detail::WaitForRequests(port);
    detail::RestoreParameters(port, port == kColourPort ? *sets.colour : *sets.mono, true);
    RestartDriver();
    return;
  }
  detail::RestoreParameters(port, port == kColourPort ? *sets.colour : *sets.mono);
}

}  // namespace vqfuzz
