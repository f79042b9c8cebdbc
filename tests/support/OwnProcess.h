#pragma once
// A test case run again in a process of its own, for what a process does only
// once: the SDK chooses its backend and reads the simulated fleet at its first
// call, and the driver module, loaded with RTLD_NODELETE, keeps what it read
// at its first load. ctest gives every case a process of its own anyway; this
// keeps a run of the whole test program right too.
//
// Also: environment variables set for one test case and put back after it.
// Header only, for the unit tests and the module tests alike.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace vqtest {

inline constexpr const char* kOwnProcessVariable = "VQ_TEST_OWN_PROCESS";

// "Suite.Name" of the test case running now; empty outside one.
inline std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

// Whether this process was started by RunInOwnProcess for the running case.
inline bool InOwnProcess() {
  const char* name = std::getenv(kOwnProcessVariable);
  return name && CurrentTestName() == name;
}

// Runs the running case alone in a new process of this program, which
// inherits this one's environment; true when it passed there. Its output goes
// where this process's goes. A case that has not ended after `timeout` is
// killed and has failed.
inline bool RunInOwnProcess(std::chrono::seconds timeout = std::chrono::seconds(240)) {
  const std::string name = CurrentTestName();
  const std::string marker = std::string(kOwnProcessVariable) + "=";
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable)
    if (std::string(*variable).rfind(marker, 0) != 0) variables.emplace_back(*variable);
  variables.push_back(marker + name);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=" + name;
  char* argv[] = {self.data(), filter.data(), nullptr};

  pid_t child = 0;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
    ADD_FAILURE() << "could not start a process for " << name;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(child, &status, WNOHANG);
    if (ended == child) break;
    if (ended < 0) return false;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << name << " did not end within " << timeout.count() << " s in its own process";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// For a case that needs a process of its own: outside that process, runs the
// case there, reports its outcome and returns true (the case is done);
// inside it, returns false and the case goes on.
inline bool RanInOwnProcess() {
  if (InOwnProcess()) return false;
  EXPECT_TRUE(RunInOwnProcess()) << CurrentTestName() << " failed in a process of its own (its output is above)";
  return true;
}

// Sets or unsets environment variables and puts each back as it was when the
// object goes.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { Restore(); }

  void Set(const char* name, const std::string& value) {
    Keep(name);
    setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Keep(name);
    unsetenv(name);
  }
  // Puts every variable back now, the last changed first.
  void Restore() {
    for (auto it = _saved.rbegin(); it != _saved.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
    _saved.clear();
  }

 private:
  void Keep(const char* name) {
    const char* value = std::getenv(name);
    _saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> _saved;
};

}  // namespace vqtest
