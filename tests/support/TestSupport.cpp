#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "log/DriverContext.h"
#include "platform/DebugOutput.h"

using namespace vq;

namespace vqtest {

namespace {

std::mutex captureLock;
std::vector<std::string> hostCalls;
std::vector<std::string> debugTexts;

void HostSink(const char* text) {
  std::lock_guard<std::mutex> lock(captureLock);
  hostCalls.emplace_back(text);
}

void DebugSinkCapture(const char* text) {
  std::lock_guard<std::mutex> lock(captureLock);
  debugTexts.emplace_back(text);
}

}  // namespace

LogCapture::LogCapture(int logLevel, int debugView) {
  DriverContext* context = GetDriverContext();
  _savedLogLevel = context->logLevel;
  _savedDebugView = context->debugView;
  Clear();
  context->logLevel = logLevel;
  context->debugView = debugView;
  context->debugMsgProc = HostSink;
  vq::SetDebugSink(DebugSinkCapture);
}

LogCapture::~LogCapture() {
  DriverContext* context = GetDriverContext();
  context->debugMsgProc = nullptr;
  context->logLevel = _savedLogLevel;
  context->debugView = _savedDebugView;
  vq::SetDebugSink(nullptr);
}

std::vector<std::string> LogCapture::HostCalls() const {
  std::lock_guard<std::mutex> lock(captureLock);
  return hostCalls;
}

std::vector<std::string> LogCapture::Messages() const {
  std::lock_guard<std::mutex> lock(captureLock);
  std::vector<std::string> messages;
  for (size_t i = 1; i < hostCalls.size(); i += 2) messages.push_back(hostCalls[i]);
  return messages;
}

std::vector<std::string> LogCapture::DebugOutput() const {
  std::lock_guard<std::mutex> lock(captureLock);
  return debugTexts;
}

bool LogCapture::Contains(const std::string& message) const { return IndexOf(message) >= 0; }

bool LogCapture::ContainsPrefix(const std::string& prefix) const {
  for (const auto& message : Messages())
    if (message.rfind(prefix, 0) == 0) return true;
  return false;
}

size_t LogCapture::Count(const std::string& message) const {
  auto messages = Messages();
  return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
}

int LogCapture::IndexOf(const std::string& message, int from) const {
  auto messages = Messages();
  for (size_t i = static_cast<size_t>(std::max(from, 0)); i < messages.size(); ++i)
    if (messages[i] == message) return static_cast<int>(i);
  return -1;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> lock(captureLock);
  hostCalls.clear();
  debugTexts.clear();
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vqtest-XXXXXX").string();
  if (char* made = mkdtemp(pattern.data())) _path = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!_path.empty()) std::filesystem::remove_all(_path, ignored);
}

}  // namespace vqtest
