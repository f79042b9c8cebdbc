// A host that calls back into the driver from the driver's own callbacks, as
// real hosts do: a completion callback that closes its port or finalizes, a
// log callback that reads a property, several threads pulling rows, a port
// reused for another camera. Nothing may hang, and every call returns what the
// host can rely on.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>

#include "tests/module/ModuleFixture.h"

using moduletest::ModuleTest;
using moduletest::WaitFor;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Two monochrome cameras with different frame sizes, so that a port answers
// for one camera or the other visibly.
const char* kTwoMonoCameras = R"({"cameras": [
  {"model": "Small", "serial": 301, "color": false,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}]},
  {"model": "Large", "serial": 302, "color": false,
   "videoModes": [{"mode": "1280x960Y8", "frameRates": ["30 fps"]}],
   "current": {"videoMode": "1280x960Y8", "frameRate": "30 fps"}}
]})";
constexpr const char* kSmall = "Small (301)";
constexpr const char* kLarge = "Large (302)";

// What the callbacks below do and what they saw; the callbacks are plain C
// functions, so they reach the module and the test through these.
Module* module = nullptr;
std::atomic<int> frames{0};
std::atomic<int> callbackResult{-1};
std::atomic<long> callbackCallMs{-1};
std::atomic<bool> callbackReturned{false};

long MillisecondsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void CloseOwnPort(int, int port) {
  ++frames;
  const auto start = Clock::now();
  module->closeCVLPort(0, port);
  callbackCallMs = MillisecondsSince(start);
  callbackReturned = true;
}

void FinalizeInCallback(int, int) {
  ++frames;
  const auto start = Clock::now();
  callbackResult = module->finalize();
  callbackCallMs = MillisecondsSince(start);
  callbackReturned = true;
}

void CountFrame(int, int) { ++frames; }

// Runs `call` on a thread of its own and returns its result; a call that hangs
// fails the test and ends the process, which could not be torn down under it.
int Bounded(const std::function<int()>& call, const char* what, std::chrono::seconds limit = 20s) {
  auto result = std::make_shared<std::promise<int>>();
  std::future<int> done = result->get_future();
  std::thread([call, result] { result->set_value(call()); }).detach();
  if (done.wait_for(limit) == std::future_status::ready) return done.get();
  std::fprintf(stderr, "%s did not return within %d s\n", what, static_cast<int>(limit.count()));
  std::fflush(stderr);
  std::_Exit(1);
}

class HostCallbacks : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (IsSkipped()) return;
    frames = 0;
    callbackResult = -1;
    callbackCallMs = -1;
    callbackReturned = false;
  }
  void TearDown() override {
    module = nullptr;
    ModuleTest::TearDown();
  }
  // The module with the two cameras, logging at `level`.
  Module& Start(int level = 2) {
    UseFleet(kTwoMonoCameras);
    std::ofstream(_dir / "VorquellCamera.ini") << "[General]\nLogLevel=" << level << "\n";
    Module& m = Load();
    module = &m;
    EXPECT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
    return m;
  }
  bool Open(const char* name, int port, int size[2] = nullptr) {
    int ignored[2];
    return module->openCVLPort(0, port, name, size ? size : ignored) == 1;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& message : Messages()) n += message.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

}  // namespace

// The close is queued and returns at once; the camera is closed right after
// the callback returns, and the other camera opens meanwhile without delay.
TEST_F(HostCallbacks, ACloseFromTheCompletionCallbackReturnsAtOnceAndTheCameraEndsClosed) {
  Module& m = Start();
  ASSERT_TRUE(Open(kSmall, 0));
  ASSERT_EQ(1, m.setCompleteCallback(0, 0, CloseOwnPort));
  ASSERT_EQ(1, m.doCVLGrab(0, 0));
  ASSERT_TRUE(WaitFor([] { return callbackReturned.load(); }));
  EXPECT_LT(callbackCallMs, 1500) << "the close waited inside the callback";
  const auto start = Clock::now();
  ASSERT_TRUE(Open(kLarge, 1));
  EXPECT_LT(MillisecondsSince(start), 3000) << "another camera's open was held up";
  ASSERT_TRUE(WaitFor([&] { return Logged("Camera::Close: leaving, port#0 ser#301 state:'Closed '\n"); }, 5000ms));
  EXPECT_EQ(-1, Find("GrabThread::Destroy: WARNING: thread did not end"));
  EXPECT_EQ(-1, Find("Camera::Close: ERROR: Close timeout"));
  unsigned char row[640];
  ASSERT_EQ(1, m.getCVLGrabRow(0, 0, row, 0, 0, 639));
  EXPECT_EQ(0x78, row[0]) << "a closed port serves the dummy line";
  EXPECT_EQ(1, frames);
  ASSERT_TRUE(Open(kSmall, 0)) << "the camera opens again";
  EXPECT_EQ(1, m.finalize());
}

// A finalize inside the callback is refused at once with a line of level 1;
// the host's own finalize afterwards tears everything down.
TEST_F(HostCallbacks, AFinalizeFromTheCompletionCallbackIsRefused) {
  Module& m = Start(1);
  ASSERT_TRUE(Open(kSmall, 0));
  ASSERT_EQ(1, m.setCompleteCallback(0, 0, FinalizeInCallback));
  ASSERT_EQ(1, m.doCVLGrab(0, 0));
  ASSERT_TRUE(WaitFor([] { return callbackReturned.load(); }));
  EXPECT_EQ(0, callbackResult);
  EXPECT_LT(callbackCallMs, 1500);
  EXPECT_TRUE(Logged("finalize: ERROR: refused inside a callback of the driver, refcount=1\n"));
  EXPECT_EQ(1, Bounded([&] { return m.finalize(); }, "the host's finalize"));
  EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
}

// The host's log callback reads a parameter of the camera whose property write
// is logging a failure under the camera's parameter lock: the write returns,
// and so does the read.
TEST_F(HostCallbacks, ALogCallbackThatReadsAPropertyDoesNotDeadlockTheDriver) {
  Module& m = Start(1);
  ASSERT_TRUE(Open(kSmall, 0));
  static std::atomic<int> reads{0};
  reads = 0;
  m.setDebugMsgProc([](const char* text) {
    moduletest::HostLog(text);
    thread_local bool inside = false;
    if (inside || std::strstr(text, "Camera::SetFlyProperty: ERROR") == nullptr) return;
    inside = true;
    int value = 0;
    if (module->getProperty(0, 0, "LogLevel", &value) == 1 && value == 1) ++reads;
    inside = false;
  });
  EXPECT_EQ(1, Bounded([&] { return m.setProperty(0, 0, "Brightness", -5); }, "setProperty"));
  EXPECT_GE(Find("Camera::SetFlyProperty: ERROR: Failed to set property Brightness"), 0);
  EXPECT_GE(reads, 1) << "the log callback's read failed";
  m.setDebugMsgProc(moduletest::HostLog);
  EXPECT_EQ(1, m.finalize());
}

// An idle camera, whether it never grabbed or its one grab was delivered,
// starts no capture when it is reopened after a removal or a "Reset".
TEST_F(HostCallbacks, AnIdleCameraGetsNoFrameThroughHotPlugOrReset) {
  Module& m = Start();
  ASSERT_TRUE(Open(kSmall, 0));
  ASSERT_TRUE(Open(kLarge, 1));
  ASSERT_EQ(1, m.setCompleteCallback(0, 0, CountFrame));
  ASSERT_EQ(1, m.setCompleteCallback(0, 1, CountFrame));
  ASSERT_EQ(1, m.doCVLGrab(0, 0));
  ASSERT_TRUE(WaitFor([] { return frames == 1; }));
  const int opensBefore = Count("Camera::DoOpen: leaving");
  ASSERT_EQ(1, m.setProperty(0, 0, "BusRemoval", 0));
  ASSERT_EQ(1, m.setProperty(0, 0, "BusArrival", 0));
  ASSERT_EQ(1, m.setProperty(0, 1, "Reset", 0));
  ASSERT_TRUE(WaitFor([&] { return Count("Camera::DoOpen: leaving") == opensBefore + 2; }));
  const int reopened = Find("Camera::DoOpen: leaving", Find("BUS EVENT CALLBACK - ARRIVAL"));
  // Each close is carried out after everything queued before it, a capture
  // start queued by the reopen included.
  m.closeCVLPort(0, 0);
  m.closeCVLPort(0, 1);
  EXPECT_EQ(-1, Find("CameraState::SetState: new state:'Capture'", reopened));
  EXPECT_EQ(1, frames);
  EXPECT_EQ(1, m.finalize());
}

// Camera A stays away in its removal's 10 s grace; camera B is removed, comes
// back and is closed and reopened by the host: nothing of B waits for A's
// deadline. A finalize with A still away returns within a second or two.
TEST_F(HostCallbacks, ACameraInItsRemovalGraceHoldsNoOtherCameraUp) {
  Module& m = Start(3);
  ASSERT_TRUE(Open(kSmall, 0));
  ASSERT_TRUE(Open(kLarge, 1));
  ASSERT_EQ(1, m.setProperty(0, 0, "BusRemoval", 0));
  ASSERT_TRUE(WaitFor([&] { return Find("Camera::HandleCameraStateRequest: skipping ReqCameraOpenOnArrival") >= 0; }));
  ASSERT_EQ(1, m.setProperty(0, 1, "BusRemoval", 0));
  auto start = Clock::now();
  m.closeCVLPort(0, 1);
  EXPECT_LT(MillisecondsSince(start), 2000) << "the close slept until the other camera's deadline";
  EXPECT_EQ(-1, Find("Camera::Close: ERROR: Close timeout"));
  start = Clock::now();
  int size[2] = {0, 0};
  EXPECT_TRUE(Open(kLarge, 1, size));
  EXPECT_LT(MillisecondsSince(start), 3000);
  EXPECT_EQ(1280, size[0]);
  start = Clock::now();
  EXPECT_EQ(1, m.finalize());
  EXPECT_LT(MillisecondsSince(start), 3000) << "the finalize waited out the removal's grace";
  EXPECT_EQ(1, Count("Camera::DoOpen: leaving, port#0")) << "the removed camera was reopened by the finalize";
}

// Two host threads pull the same rows of a free-running camera: every row
// they get is one frame's row, never one stitched from two frames. The upper
// half of the simulator's picture is a ramp, shifted by a frame's phase: along
// a whole row the grey level steps up by 0 or 1 and wraps around once.
TEST_F(HostCallbacks, RowsPulledByTwoThreadsAreWhole) {
  UseFleet(R"({"cameras": [{"model": "Fast", "serial": 303, "color": false, "freeRunning": true,
    "videoModes": [{"mode": "1280x960Y8", "frameRates": ["30 fps"]}],
    "current": {"videoMode": "1280x960Y8", "frameRate": "30 fps"}}]})");
  Module& m = Load();
  module = &m;
  ASSERT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
  int size[2];
  ASSERT_EQ(1, m.openCVLPort(0, 0, "Fast (303)", size));
  ASSERT_EQ(1, m.setCompleteCallback(0, 0, CountFrame));
  ASSERT_EQ(1, m.setProperty(0, 0, "continuous", 1));
  ASSERT_TRUE(WaitFor([] { return frames > 2; }));
  std::atomic<int> stitched{0};
  std::atomic<int> rows{0};
  const int width = size[0];
  auto pull = [&] {
    std::vector<unsigned char> row(static_cast<size_t>(width));
    const auto end = Clock::now() + 2s;
    while (Clock::now() < end && stitched == 0) {
      for (int r = 1; r < size[1] / 2; r += 7) {  // row 0 carries the frame number
        if (m.getCVLGrabRow(0, 0, row.data(), r, 0, width - 1) != 1) continue;
        ++rows;
        int wraps = 0;
        for (int x = 1; x < width; ++x) {
          const int step = row[x] - row[x - 1];
          if (step < 0 && row[x] < 4 && row[x - 1] > 250)
            ++wraps;
          else if (step < 0 || step > 1)
            wraps = 2;
        }
        if (wraps > 1) ++stitched;
      }
    }
  };
  std::thread first(pull), second(pull);
  first.join();
  second.join();
  EXPECT_GT(rows, 100);
  EXPECT_EQ(0, stitched);
  EXPECT_EQ(1, m.finalize());
}

// Clearing the callback waits for a call in progress; when that wait times
// out the host is told, so that it does not free what the callback still uses.
TEST_F(HostCallbacks, ClearingACallbackThatDoesNotReturnReportsFailure) {
  Module& m = Start(1);
  ASSERT_TRUE(Open(kSmall, 0));
  static std::atomic<bool> release{false};
  static std::atomic<bool> entered{false};
  release = false;
  entered = false;
  ASSERT_EQ(1, m.setCompleteCallback(0, 0, [](int, int) {
    entered = true;
    WaitFor([] { return release.load(); }, 30s);
  }));
  ASSERT_EQ(1, m.doCVLGrab(0, 0));
  ASSERT_TRUE(WaitFor([] { return entered.load(); }));
  EXPECT_EQ(0, m.setCompleteCallback(0, 0, nullptr));
  EXPECT_TRUE(Logged(
      "Camera::SetCompleteCB: WARNING: the previous CB did not return within 5000 ms, port#0 ser#301 state:'Capture'\n"));
  release = true;
  EXPECT_EQ(1, m.finalize());
}

// A port given to another camera addresses that camera from then on.
TEST_F(HostCallbacks, APortReusedForAnotherCameraReachesIt) {
  Module& m = Start(1);
  ASSERT_TRUE(Open(kSmall, 6));
  m.closeCVLPort(0, 6);
  int size[2];
  ASSERT_TRUE(Open(kLarge, 6, size));
  int width = 0;
  ASSERT_EQ(1, m.getProperty(0, 6, "width", &width));
  EXPECT_EQ(1280, width);
  ASSERT_EQ(1, m.setCompleteCallback(0, 6, CountFrame));
  ASSERT_EQ(1, m.doCVLGrab(0, 6));
  EXPECT_TRUE(WaitFor([] { return frames == 1; }));
  std::vector<unsigned char> row(1280);
  ASSERT_EQ(1, m.getCVLGrabRow(0, 6, row.data(), 0, 0, 1279));
  EXPECT_FALSE(std::all_of(row.begin(), row.end(), [](unsigned char b) { return b == 0x78; }))
      << "the port serves the dummy line of the closed camera";
  EXPECT_EQ(1, m.finalize());
}
