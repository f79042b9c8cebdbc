#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/DriverContext.h"
#include "tests/support/TestSupport.h"

using namespace vq;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Resets the context fields a test changes.
struct ContextReset {
  ~ContextReset() {
    DriverContext* context = GetDriverContext();
    context->logIntoFile = false;
    context->SetSystemPath("");
  }
};

}  // namespace

TEST(DriverContext, StartsWithTheDocumentedSettings) {
  DriverContext* context = GetDriverContext();
  EXPECT_EQ(context, GetDriverContext());
  EXPECT_EQ(nullptr, context->debugMsgProc.load());
  EXPECT_EQ("", context->SystemPath());
  EXPECT_EQ(0, context->refcount);
  EXPECT_EQ(1, context->logLevel);
  EXPECT_FALSE(context->logIntoFile);
  EXPECT_EQ(2, context->debugView);
}

TEST(WriteLog, InitialSettingsSendLevelOneToBothSinksAndLevelTwoToTheDebuggerOnly) {
  vqtest::LogCapture log(/*logLevel=*/1, /*debugView=*/2);
  WriteLog(GetDriverContext(), 1, "one %d", 1);
  WriteLog(GetDriverContext(), 2, "two");
  WriteLog(GetDriverContext(), 3, "three");
  WriteLog(GetDriverContext(), 4, "four");
  EXPECT_EQ((std::vector<std::string>{"one 1\n"}), log.Messages());
  EXPECT_EQ((std::vector<std::string>{"one 1\n", "two\n"}), log.DebugOutput());
}

TEST(WriteLog, EachSinkFollowsItsOwnSetting) {
  vqtest::LogCapture log(/*logLevel=*/3, /*debugView=*/0);
  WriteLog(GetDriverContext(), 3, "to the host only");
  WriteLog(GetDriverContext(), 4, "to nobody");
  EXPECT_EQ((std::vector<std::string>{"to the host only\n"}), log.Messages());
  EXPECT_TRUE(log.DebugOutput().empty());
}

TEST(WriteLog, SettingsOfZeroOrBelowSilenceEveryLevel) {
  vqtest::LogCapture log(/*logLevel=*/0, /*debugView=*/-1);
  WriteLog(GetDriverContext(), 1, "x");
  WriteLog(GetDriverContext(), 0, "y");
  EXPECT_EQ((std::vector<std::string>{"y\n"}), log.Messages());
  EXPECT_EQ((std::vector<std::string>{}), log.DebugOutput());
}

TEST(WriteLog, AppendsOneLineFeedOnlyWhereMissing) {
  vqtest::LogCapture log;
  WriteLog(GetDriverContext(), 1, "abc");
  WriteLog(GetDriverContext(), 1, "abc\n");
  WriteLog(GetDriverContext(), 1, "%s", "");
  EXPECT_EQ((std::vector<std::string>{"abc\n", "abc\n", ""}), log.Messages());
}

TEST(WriteLog, LeavesMessagesOf1022And1023CharactersAlone) {
  vqtest::LogCapture log;
  std::string m1021(1021, 'a'), m1022(1022, 'b'), m1023(1023, 'c');
  WriteLog(GetDriverContext(), 1, "%s", m1021.c_str());
  WriteLog(GetDriverContext(), 1, "%s", m1022.c_str());
  WriteLog(GetDriverContext(), 1, "%s", m1023.c_str());
  auto messages = log.Messages();
  ASSERT_EQ(3u, messages.size());
  EXPECT_EQ(m1021 + "\n", messages[0]);
  EXPECT_EQ(m1022, messages[1]);
  EXPECT_EQ(m1023, messages[2]);
}

TEST(WriteLog, CutsAMessageLongerThanTheBuffer) {
  vqtest::LogCapture log;
  std::string huge(5000, 'z');
  WriteLog(GetDriverContext(), 1, "%s and more", huge.c_str());
  ASSERT_EQ(1u, log.Messages().size());
  EXPECT_EQ(std::string(1023, 'z'), log.Messages()[0]);
}

TEST(WriteLog, CallsTheHostTwicePerLineTimestampFirst) {
  vqtest::LogCapture log;
  WriteLog(GetDriverContext(), 1, "hello");
  auto calls = log.HostCalls();
  ASSERT_EQ(2u, calls.size());
  // dd/mm/y y hh:mm:ss: with a one-digit year printed in two places.
  EXPECT_TRUE(std::regex_match(calls[0], std::regex(R"(\d\d/\d\d/0\d \d\d:\d\d:\d\d: )"))) << calls[0];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char year[8];
  std::snprintf(year, sizeof year, "/%.2d ", local.tm_year % 10);
  EXPECT_NE(std::string::npos, calls[0].find(year)) << calls[0];
  EXPECT_EQ("hello\n", calls[1]);
}

TEST(WriteLog, DebugViewFourEchoesTheRawFormatFirst) {
  vqtest::LogCapture log(/*logLevel=*/1, /*debugView=*/4);
  WriteLog(GetDriverContext(), 3, "value=%d", 7);
  WriteLog(GetDriverContext(), 5, "never");
  EXPECT_EQ((std::vector<std::string>{"_Log entering:", "value=%d", "value=7\n"}), log.DebugOutput());
}

TEST(WriteLog, HoldsFileLinesUntilASystemPathIsKnown) {
  vqtest::TempDir dir;
  ContextReset reset;
  vqtest::LogCapture log;
  DriverContext* context = GetDriverContext();
  context->logIntoFile = true;
  WriteLog(context, 1, "first");
  WriteLog(context, 1, "second");
  const std::string file = dir.Path() + "/VorquellCamera.log";
  EXPECT_FALSE(std::ifstream(file).good());

  context->SetSystemPath(dir.Path());
  WriteLog(context, 1, "third");
  std::regex lines(R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d: first\n)(\d\d/\d\d/\d\d \d\d:\d\d:\d\d: second\n))"
                   R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d: third\n))");
  EXPECT_TRUE(std::regex_match(ReadFile(file), lines)) << ReadFile(file);

  // The held lines were written once: the next line only appends itself.
  WriteLog(context, 1, "fourth");
  std::string text = ReadFile(file);
  EXPECT_NE(std::string::npos, text.find("fourth\n"));
  EXPECT_EQ(text.find("first"), text.rfind("first"));
}

TEST(WriteLog, LinesAboveTheLogLevelNeverReachTheFile) {
  vqtest::TempDir dir;
  ContextReset reset;
  vqtest::LogCapture log(/*logLevel=*/1, /*debugView=*/4);
  DriverContext* context = GetDriverContext();
  context->SetSystemPath(dir.Path());
  context->logIntoFile = true;
  WriteLog(context, 2, "debugger only");
  WriteLog(context, 1, "kept");
  std::string text = ReadFile(dir.Path() + "/VorquellCamera.log");
  EXPECT_EQ(std::string::npos, text.find("debugger only"));
  EXPECT_NE(std::string::npos, text.find("kept\n"));
}

TEST(WriteLog, AnUnopenableFileLosesOnlyThatLineForTheFile) {
  vqtest::TempDir dir;
  ContextReset reset;
  vqtest::LogCapture log;
  DriverContext* context = GetDriverContext();
  context->logIntoFile = true;
  WriteLog(context, 1, "held");
  context->SetSystemPath(dir.Path() + "/missing-folder");
  WriteLog(context, 1, "lost");
  context->SetSystemPath(dir.Path());
  WriteLog(context, 1, "written");
  std::string text = ReadFile(dir.Path() + "/VorquellCamera.log");
  EXPECT_NE(std::string::npos, text.find("held\n"));
  EXPECT_EQ(std::string::npos, text.find("lost"));
  EXPECT_LT(text.find("held"), text.find("written"));
  EXPECT_EQ(3u, log.Messages().size());
}

TEST(WriteLog, ConcurrentCallersKeepTheirLinesWhole) {
  vqtest::LogCapture log;
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) WriteLog(GetDriverContext(), 1, "thread %d line %d end", t, i);
    });
  for (auto& thread : threads) thread.join();
  auto calls = log.HostCalls();
  ASSERT_EQ(2u * kThreads * kLines, calls.size());
  std::regex line(R"(thread \d line \d+ end\n)");
  for (size_t i = 0; i < calls.size(); i += 2) {
    EXPECT_EQ(':', calls[i][calls[i].size() - 2]) << "timestamp expected at " << i;
    EXPECT_TRUE(std::regex_match(calls[i + 1], line)) << calls[i + 1];
  }
}

namespace {

// A host whose log callback logs a line of its own from inside the callback,
// once, at the call given by the test: the timestamp (0) or the message (1).
struct ReentrantHost {
  static inline std::vector<std::string> calls;
  static inline int reenterAtCall = 0;
  static inline bool reentered = false;
  static void Proc(const char* text) {
    const int callOfLine = static_cast<int>(calls.size() % 2);
    calls.emplace_back(text);
    if (!reentered && callOfLine == reenterAtCall) {
      reentered = true;
      WriteLog(GetDriverContext(), 1, "inner %d", 2);
    }
  }
};

class WriteLogReentry : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(WriteLogReentry, AHostCallbackThatLogsLosesNeitherLine) {
  vqtest::TempDir dir;
  ContextReset reset;
  vqtest::LogCapture log;
  DriverContext* context = GetDriverContext();
  context->SetSystemPath(dir.Path());
  context->logIntoFile = true;
  ReentrantHost::calls.clear();
  ReentrantHost::reentered = false;
  ReentrantHost::reenterAtCall = GetParam();
  context->debugMsgProc = ReentrantHost::Proc;

  WriteLog(context, 1, "outer %d", 1);

  const auto& calls = ReentrantHost::calls;
  ASSERT_EQ(4u, calls.size());
  std::regex timestamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d: )");
  std::vector<std::string> messages;
  for (const auto& call : calls)
    if (!std::regex_match(call, timestamp)) messages.push_back(call);
  std::sort(messages.begin(), messages.end());
  EXPECT_EQ((std::vector<std::string>{"inner 2\n", "outer 1\n"}), messages);
  if (GetParam() == 1) {
    EXPECT_EQ("outer 1\n", calls[1]);
    EXPECT_EQ("inner 2\n", calls[3]);
  }

  // The file gets each line once, each with a timestamp of its own, in the
  // order they were logged.
  std::string text = ReadFile(dir.Path() + "/VorquellCamera.log");
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d: outer 1\n)"
                                                R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d: inner 2\n)")))
      << text;
}

INSTANTIATE_TEST_SUITE_P(AtTimestampAndAtMessage, WriteLogReentry, ::testing::Values(0, 1));

namespace {

// A host whose log callback needs a lock the logging thread holds (as a
// property read needs a camera's parameter lock), and one whose callback
// blocks until the test lets it go.
struct LockingHost {
  static inline std::mutex* needed = nullptr;
  static inline std::vector<std::string> messages;
  static inline bool lockWasFree = true;
  static void Proc(const char* text) {
    if (std::strncmp(text, "line", 4) != 0) return;
    std::unique_lock<std::mutex> lock(*needed, std::try_to_lock);
    lockWasFree &= lock.owns_lock();
    messages.emplace_back(text);
  }
};

struct BlockingHost {
  static inline std::mutex lock;
  static inline std::condition_variable changed;
  static inline bool inside = false;
  static inline bool release = false;
  static inline std::vector<std::string> messages;
  static void Proc(const char* text) {
    if (std::strncmp(text, "line", 4) != 0) return;
    std::unique_lock<std::mutex> guard(lock);
    messages.emplace_back(text);
    if (messages.size() != 1) return;
    inside = true;
    changed.notify_all();
    changed.wait_for(guard, std::chrono::seconds(30), [] { return release; });
  }
};

}  // namespace

// Lines logged while a driver lock is held reach the host after its release,
// in their order.
TEST(WriteLogDelivery, NoDriverLockIsHeldWhileTheHostCallbackRuns) {
  ContextReset reset;
  vqtest::LogCapture log;
  std::mutex parameters;
  LockingHost::needed = &parameters;
  LockingHost::messages.clear();
  LockingHost::lockWasFree = true;
  GetDriverContext()->debugMsgProc = LockingHost::Proc;
  {
    LockDeferringLog<std::mutex> lock(parameters);
    WriteLog(GetDriverContext(), 1, "line %d", 1);
    WriteLog(GetDriverContext(), 1, "line %d", 2);
    EXPECT_TRUE(LockingHost::messages.empty()) << "delivered under the lock";
  }
  EXPECT_TRUE(LockingHost::lockWasFree);
  EXPECT_EQ((std::vector<std::string>{"line 1\n", "line 2\n"}), LockingHost::messages);
}

// While the host's callback blocks on one thread, a driver thread's logging
// goes on without waiting; its line follows, in order, once the host returns.
TEST(WriteLogDelivery, ABlockedHostCallbackHoldsNoDriverThreadUp) {
  ContextReset reset;
  vqtest::LogCapture log;
  BlockingHost::messages.clear();
  BlockingHost::inside = false;
  BlockingHost::release = false;
  GetDriverContext()->debugMsgProc = BlockingHost::Proc;
  std::thread host([] { WriteLog(GetDriverContext(), 1, "line %d", 1); });
  {
    std::unique_lock<std::mutex> guard(BlockingHost::lock);
    ASSERT_TRUE(BlockingHost::changed.wait_for(guard, std::chrono::seconds(15), [] { return BlockingHost::inside; }));
  }
  // A host thread would wait for its line (at most 2 s); a driver thread's
  // line is left to the delivery under way.
  std::chrono::steady_clock::duration took{};
  std::thread driver([&took] {
    DriverThreadScope grabThread(DriverThread::kGrab);
    const auto start = std::chrono::steady_clock::now();
    WriteLog(GetDriverContext(), 1, "line %d", 2);
    took = std::chrono::steady_clock::now() - start;
  });
  driver.join();
  EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the driver thread waited for the host's callback";
  {
    std::lock_guard<std::mutex> guard(BlockingHost::lock);
    EXPECT_EQ(1u, BlockingHost::messages.size());
    BlockingHost::release = true;
  }
  BlockingHost::changed.notify_all();
  host.join();
  EXPECT_EQ((std::vector<std::string>{"line 1\n", "line 2\n"}), BlockingHost::messages);
}
