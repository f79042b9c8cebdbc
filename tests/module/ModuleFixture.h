#pragma once
// Module tests load the built libVorquellCamera.so with dlopen and go through
// its exports only, as a host does. Each test case runs in its own process:
// the module stays loaded (RTLD_NODELETE) with what it read at its first load
// and first SDK call (log level, fleet, backend), so a case that finds it
// loaded already runs again in a process of its own (tests/support/OwnProcess.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/OwnProcess.h"
#include "tools/cvlhost/Module.h"

namespace moduletest {

inline std::mutex& LinesLock() {
  static std::mutex lock;
  return lock;
}
inline std::vector<std::string>& HostCalls() {
  static std::vector<std::string> calls;
  return calls;
}
inline void HostLog(const char* text) {
  std::lock_guard<std::mutex> lock(LinesLock());
  HostCalls().emplace_back(text);
}

// Waits for `condition` with a deadline; returns its last value.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(15000)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Whether this process has loaded the module.
inline bool& ModuleLoadedHere() {
  static bool loaded = false;
  return loaded;
}

class ModuleTest : public ::testing::Test {
 protected:
  // A fixture deriving from this one returns from its SetUp at once when
  // IsSkipped(): the case then ran in a process of its own.
  void SetUp() override {
    if (ModuleLoadedHere() && !vqtest::InOwnProcess()) {
      if (!vqtest::RunInOwnProcess()) ADD_FAILURE() << "failed in a process of its own (its output is above)";
      GTEST_SKIP() << "ran in a process of its own: the module loaded here keeps what it read at its first load";
    }
    _dir = std::filesystem::temp_directory_path() / ("vqmodule-" + std::to_string(::getpid()));
    std::filesystem::create_directories(_dir);
    {
      std::lock_guard<std::mutex> lock(LinesLock());
      HostCalls().clear();
    }
    Environment().Set("VORQUELL_DEBUG_OUTPUT", "none");
  }
  void TearDown() override {
    _module.reset();
    std::error_code ignored;
    if (!_dir.empty()) std::filesystem::remove_all(_dir, ignored);
    _environment.Restore();
  }

  // Environment variables set or unset for this case, put back after it.
  vqtest::ScopedEnvironment& Environment() { return _environment; }

  // Writes a fleet file for the simulated bus; call before Load.
  void UseFleet(const std::string& json) {
    std::string path = (_dir / "fleet.json").string();
    std::ofstream(path) << json;
    Environment().Set("VORQUELL_SIM_FLEET", path);
  }

  Module& Load() {
    _module = std::make_unique<Module>(VQ_MODULE_PATH);
    ModuleLoadedHere() = true;
    return *_module;
  }
  Module& M() { return *_module; }
  std::string SystemPath() const { return _dir.string(); }

  std::vector<std::string> Messages() const {
    std::lock_guard<std::mutex> lock(LinesLock());
    std::vector<std::string> messages;
    for (size_t i = 1; i < HostCalls().size(); i += 2) messages.push_back(HostCalls()[i]);
    return messages;
  }
  bool Logged(const std::string& message) const {
    auto messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }
  // Index of the first message starting with `prefix` at or after `from`, or -1.
  int Find(const std::string& prefix, int from = 0) const {
    auto messages = Messages();
    for (size_t i = static_cast<size_t>(from); i < messages.size(); ++i)
      if (messages[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> lock(LinesLock());
    HostCalls().clear();
  }

  std::filesystem::path _dir;
  std::unique_ptr<Module> _module;
  vqtest::ScopedEnvironment _environment;
};

}  // namespace moduletest
