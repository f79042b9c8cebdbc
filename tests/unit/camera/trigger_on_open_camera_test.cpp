// A camera in software-trigger mode, and trigger settings changed while the
// camera is open: each single grab fires the trigger once, a continuous
// capture waits for the host's "TriggerSoftware", and the host's trigger
// values reach the open camera at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "include/VorquellCamera.h"
#include "tests/support/DriverFixture.h"

using namespace vq;

namespace {

constexpr int kPort = 1;
std::atomic<int> frames{0};
void CountFrame(int, int) { ++frames; }

class TriggeredCamera : public vqtest::DriverFixture {
 protected:
  std::string Fleet() const override {
    return R"({"cameras": [
      {"model": "Mono", "serial": 2222, "color": false,
       "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}],
       "trigger": {"modes": [0], "sources": [0, 4], "softwareTrigger": true,
                   "current": {"on": true, "mode": 0, "source": 4}}}]})";
  }
  void SetUp() override {
    DriverFixture::SetUp();
    frames = 0;
    int size[2];
    ASSERT_EQ(1, openCVLPort(0, kPort, "Mono (2222)", size));
    ASSERT_EQ(1, setCompleteCallback(0, kPort, CountFrame));
  }
  void TearDown() override {
    closeCVLPort(0, kPort);
    DriverFixture::TearDown();
  }
  bool FramesReach(int count) {
    return vqtest::WaitFor([&] { return frames >= count; });
  }
};

}  // namespace

TEST_F(TriggeredCamera, EachSingleGrabFiresTheSoftwareTriggerOnce) {
  for (int grab = 1; grab <= 3; ++grab) {
    ASSERT_EQ(1, doCVLGrab(0, kPort));
    ASSERT_TRUE(FramesReach(grab)) << "grab " << grab;
  }
  closeCVLPort(0, kPort);  // returns once the grab thread has ended
  EXPECT_EQ(3, frames);
  EXPECT_FALSE(Log().ContainsPrefix("Camera::FireSoftwareTrigger: ERROR"));
}

TEST_F(TriggeredCamera, AContinuousCaptureTakesOneFramePerHostTrigger) {
  EXPECT_EQ(0, setProperty(0, kPort, "TriggerSoftware", 1)) << "nothing captures yet";
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(WaitForState(Mono(), CamCapture));
  for (int trigger = 1; trigger <= 2; ++trigger) {
    ASSERT_EQ(1, setProperty(0, kPort, "TriggerSoftware", 1));
    ASSERT_TRUE(FramesReach(trigger));
  }
  closeCVLPort(0, kPort);
  EXPECT_EQ(2, frames) << "a frame came without a trigger";
}

// Failures count within one capture: two failures, a stop and a new capture
// with one more failure are not three in a row. (The retrievals wait for the
// host's trigger in between, so no frame wipes the count.)
TEST_F(TriggeredCamera, AFailureRunEndsWithItsCapture) {
  const std::string failure = "Camera::RetrieveImage: ERROR: RetrieveBuffer, ";
  auto failures = [&] {
    size_t n = 0;
    for (const auto& line : Log().Messages()) n += line.rfind(failure, 0) == 0;
    return n;
  };
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 2);
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(vqtest::WaitFor([&] { return failures() == 2; }));
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 0));
  ASSERT_TRUE(WaitForState(Mono(), CamOpened));
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 1);
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(vqtest::WaitFor([&] { return failures() == 3; }));
  ASSERT_EQ(1, setProperty(0, kPort, "TriggerSoftware", 1));
  ASSERT_TRUE(FramesReach(1));
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
}

// A camera that failed three times is reset only if the capture that failed
// still runs after the pause: a host that switches continuous off and on
// during it has started a capture that has not failed. The host's log
// callback does so when the line that opens the pause reaches it, on the
// grab thread, before the pause.
namespace {
Camera* pausedCamera = nullptr;
DebugMsgProc capturingSink = nullptr;
std::atomic<bool> restartedInPause{false};

void RestartCaptureInResetPause(const char* text) {
  capturingSink(text);
  if (std::string(text).find(" unless its capture ends") == std::string::npos) return;
  CameraState& state = pausedCamera->State();
  restartedInPause =
      setProperty(0, kPort, "continuous", 0) == 1 && vqtest::WaitFor([&] { return state.IsState(CamOpened); }) &&
      setProperty(0, kPort, "continuous", 1) == 1 && vqtest::WaitFor([&] { return state.IsState(CamCapture); });
}
}  // namespace

TEST_F(TriggeredCamera, ACaptureRestartedDuringTheResetPauseIsNotReset) {
  pausedCamera = &Mono();
  capturingSink = GetDriverContext()->debugMsgProc;
  GetDriverContext()->debugMsgProc = RestartCaptureInResetPause;
  struct RestoreSink {
    ~RestoreSink() { GetDriverContext()->debugMsgProc = capturingSink; }
  } restoreSink;
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 3);
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(vqtest::WaitFor([] { return restartedInPause.load(); }));
  // The grab thread takes this frame only after the pause is over.
  ASSERT_EQ(1, setProperty(0, kPort, "TriggerSoftware", 1));
  ASSERT_TRUE(FramesReach(1));
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
  EXPECT_TRUE(Mono().State().IsState(CamCapture));
}

// Trigger values reach the open camera through the bus thread, a running
// capture stopped and restarted around them; geometry values wait for the
// next open, and the host is told.
TEST_F(TriggeredCamera, TriggerValuesReachTheOpenCameraAndGeometryValuesWaitForTheNextOpen) {
  ASSERT_EQ(1, setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(WaitForState(Mono(), CamCapture));
  ASSERT_EQ(1, setProperty(0, kPort, "TriggerOn", 0));
  EXPECT_TRUE(FramesReach(3)) << "frames flow once the trigger is off";
  EXPECT_FALSE(vq::sim::GetTriggerState(vqtest::kMonoSerial).onOff);
  EXPECT_TRUE(
      Log().Contains("Camera::DoApplyTriggerStrobe: trigger and strobe set, port#1 ser#2222 state:'Opened '\n"));

  int rate = 0;
  ASSERT_EQ(1, getProperty(0, kPort, "DCAMFrameRate", &rate));
  ASSERT_EQ(1, setProperty(0, kPort, "DCAMFrameRate", rate));
  EXPECT_TRUE(Log().Contains(
      "Camera::SetProperty(DCAMFrameRate): takes effect when the camera is opened again, port#1 ser#2222 "
      "state:'Capture'\n"));
}
