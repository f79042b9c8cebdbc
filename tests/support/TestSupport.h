#pragma once
// Helpers shared by the unit tests: capture of the log as the host and the
// debugger output see it, and waiting for a condition with a deadline.
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vqtest {

// Captures what WriteLog sends to the host callback and to the debugger
// output while it lives, and restores the context's log settings afterwards.
// Only one may exist at a time.
class LogCapture {
 public:
  explicit LogCapture(int logLevel = 4, int debugView = 2);
  ~LogCapture();

  // Messages (without timestamps) the host callback received, in order.
  std::vector<std::string> Messages() const;
  // Every text the host callback received: timestamp, message, timestamp, ...
  std::vector<std::string> HostCalls() const;
  // Every text the debugger output received.
  std::vector<std::string> DebugOutput() const;

  bool Contains(const std::string& message) const;
  // Whether some message starts with `prefix`.
  bool ContainsPrefix(const std::string& prefix) const;
  size_t Count(const std::string& message) const;
  // Index of the first message equal to `message` at or after `from`; -1 if none.
  int IndexOf(const std::string& message, int from = 0) const;
  void Clear();

 private:
  int _savedLogLevel;
  int _savedDebugView;
};

// Polls `condition` until it holds or `timeout` passes; returns its last value.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// A fresh empty folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return _path; }

 private:
  std::string _path;
};

}  // namespace vqtest
