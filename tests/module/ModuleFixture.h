#pragma once
// Module tests load the built libVorquellCamera.so with dlopen and go through
// its exports only, as a host does. Each test case runs in its own process.
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

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    _dir = std::filesystem::temp_directory_path() / ("vqmodule-" + std::to_string(::getpid()));
    std::filesystem::create_directories(_dir);
    {
      std::lock_guard<std::mutex> lock(LinesLock());
      HostCalls().clear();
    }
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
  }
  void TearDown() override {
    _module.reset();
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }

  // Writes a fleet file for the simulated bus; call before Load.
  void UseFleet(const std::string& json) {
    std::string path = (_dir / "fleet.json").string();
    std::ofstream(path) << json;
    setenv("VORQUELL_SIM_FLEET", path.c_str(), 1);
  }

  Module& Load() {
    _module = std::make_unique<Module>(VQ_MODULE_PATH);
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
};

}  // namespace moduletest
