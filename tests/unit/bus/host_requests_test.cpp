// What the host asked for survives capture stops, hot-plug and failing opens:
// a stopped retrieval is never a failure, a closed camera stays closed, and a
// reopened camera captures exactly as the host last asked.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/DriverFixture.h"

using namespace vq;

using vqtest::DriverFixture;
using vqtest::kColourSerial;
using vqtest::kMonoSerial;

namespace {

std::atomic<int> framesOnPort[8];

void CountFrame(int, int port) {
  if (port >= 0 && port < 8) ++framesOnPort[port];
}

class HostRequests : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    for (auto& frames : framesOnPort) frames = 0;
  }

  // The frames the host sees keep coming: `count` more within the deadline.
  bool FramesFlow(int port, int count = 3) {
    const int before = framesOnPort[port];
    return vqtest::WaitFor([&] { return framesOnPort[port] >= before + count; });
  }
  // A removal and the camera's return, as the SDK reports them.
  void Unplug(unsigned serial, int times = 1) {
    for (int i = 0; i < times; ++i) {
      vq::sim::RemoveCamera(serial);
      vq::sim::ReattachCamera(serial);
    }
    vq::sim::FlushEvents();
  }
  bool QueueDrained(Camera& camera) {
    return vqtest::WaitFor([&] { return !camera.State().HasRequests() && !camera.State().Busy(); });
  }
};

}  // namespace

// A camera waiting for a trigger that never comes: every stop ends a blocked
// retrieval. Those ends are not failures, so no number of stops resets the
// camera, and a close right after the last one is safe.
class TriggeredMono : public HostRequests {
  std::string Fleet() const override {
    return R"({"cameras": [
      {"model": "Mono", "serial": 2222, "color": false,
       "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}],
       "trigger": {"current": {"on": true}}}]})";
  }
};

TEST_F(TriggeredMono, StoppedRetrievalsAreNeverCountedAsFailures) {
  ASSERT_TRUE(Open(Mono(), 1));
  int triggerOn = 0;
  ASSERT_TRUE(Mono().GetProperty("TriggerOn", &triggerOn));
  ASSERT_EQ(1, triggerOn);
  for (int round = 1; round <= 4; ++round) {
    Mono().SetContinuousGrabMode(true);
    ASSERT_TRUE(vqtest::WaitFor([&] { return vq::sim::RetrievalsWaiting(kMonoSerial) == 1; }));
    Mono().SetContinuousGrabMode(false);
    ASSERT_TRUE(vqtest::WaitFor([&] { return Mono().State().IsState(CamOpened) && !Mono().State().HasRequests(); }));
    // The stop returns once the grab thread has seen it.
    EXPECT_EQ(static_cast<size_t>(round),
              Log().Count("Camera::RetrieveImage: Emergency quitting function because capture stop state detected, "
                          "port#1 ser#2222 state:'Capture' \n"));
  }
  EXPECT_FALSE(Log().ContainsPrefix("Camera::RetrieveImage: ERROR: RetrieveBuffer"));
  Mono().Close();
  EXPECT_TRUE(Mono().State().IsState(CamClosed));
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
  EXPECT_EQ(0, vq::sim::Connections(kMonoSerial));
}

// A grab error raised for a capture that has ended meanwhile is dropped.
TEST(CameraStateChange, OnlyTheStateSeenIsLeft) {
  vqtest::LogCapture log;
  CameraState state(5);
  state.SetState(CamOpened);
  EXPECT_FALSE(state.ChangeState(CamCapture, CamGrabErr));
  EXPECT_TRUE(state.IsState(CamOpened));
  state.SetState(CamCapture);
  CamState prev, now;
  ASSERT_TRUE(state.TakeStateChange(&prev, &now));
  EXPECT_EQ(CamOpened, prev);
  EXPECT_TRUE(state.ChangeState(CamCapture, CamGrabErr));
  // The change made after the hand-over is still pending for the next pass.
  ASSERT_TRUE(state.TakeStateChange(&prev, &now));
  EXPECT_EQ(CamCapture, prev);
  EXPECT_EQ(CamGrabErr, now);
  EXPECT_FALSE(state.TakeStateChange(&prev, &now));
}

// Hot-plug reopens only what the host has open: a camera never opened, or
// opened and closed again, stays closed through a removal and its return.
TEST_F(HostRequests, HotPlugLeavesClosedCamerasClosed) {
  ASSERT_TRUE(Open(Colour(), 2));
  Colour().SetCompleteCB(CountFrame);
  Colour().SetContinuousGrabMode(true);
  ASSERT_TRUE(FramesFlow(2));
  Colour().Close();
  Unplug(kColourSerial);
  Unplug(kMonoSerial);
  EXPECT_FALSE(Log().Contains("CameraState::AddRequest: request Close/Open added, camera ser# 1111\n"));
  EXPECT_FALSE(Log().Contains("CameraState::AddRequest: request Close/Open added, camera ser# 2222\n"));
  ASSERT_TRUE(QueueDrained(Colour()));
  const int seen = framesOnPort[2];
  EXPECT_FALSE(vqtest::WaitFor([&] { return !Colour().State().IsState(CamClosed); }, std::chrono::milliseconds(600)));
  EXPECT_EQ(seen, framesOnPort[2]) << "no frame for a port the host has closed";
  EXPECT_EQ(0, vq::sim::Connections(kColourSerial));
  EXPECT_EQ(0, vq::sim::Connections(kMonoSerial));
}

// An open that keeps failing is retried while the host keeps the port open,
// and no longer once it has closed it.
TEST_F(HostRequests, TheHostsCloseEndsTheRetriesOfAFailingOpen) {
  vq::sim::SetFaults(kColourSerial, {.connect = true});
  EXPECT_FALSE(Open(Colour(), 0));
  ASSERT_TRUE(WaitForLine("CameraState::AddRequest: request Close/Open added, camera ser# 1111\n"));
  Colour().Close();
  vq::sim::SetFaults(kColourSerial, {});
  ASSERT_TRUE(QueueDrained(Colour()));
  EXPECT_FALSE(vqtest::WaitFor([&] { return !Colour().State().IsState(CamClosed); }, std::chrono::milliseconds(600)))
      << "a retry opened the camera after the host closed it";
  EXPECT_EQ(0, vq::sim::Connections(kColourSerial));
}

// Whatever hot-plug does, a reopened camera ends in what the host last asked
// for: continuous capture, or none.
class CaptureAfterReopen : public HostRequests, public ::testing::WithParamInterface<int> {};

TEST_P(CaptureAfterReopen, ContinuousCaptureRightBeforeARemovalIsRestored) {
  const int storms = GetParam();
  ASSERT_TRUE(Open(Mono(), 3));
  Mono().SetCompleteCB(CountFrame);
  ASSERT_TRUE(Mono().SetProperty("continuous", 1));
  Unplug(kMonoSerial, storms);
  EXPECT_TRUE(FramesFlow(3)) << "capture lost after " << storms << " removal(s)";
  EXPECT_TRUE(Mono().State().IsState(CamCapture));
}

TEST_P(CaptureAfterReopen, ContinuousOffDuringAStormStaysOff) {
  const int storms = GetParam();
  ASSERT_TRUE(Open(Mono(), 3));
  Mono().SetCompleteCB(CountFrame);
  ASSERT_TRUE(Mono().SetProperty("continuous", 1));
  ASSERT_TRUE(FramesFlow(3));
  Unplug(kMonoSerial, storms);
  ASSERT_TRUE(Mono().SetProperty("continuous", 0));
  ASSERT_TRUE(QueueDrained(Mono()));
  ASSERT_TRUE(vqtest::WaitFor([&] { return Mono().State().IsState(CamOpened) && !Mono().State().HasRequests(); }));
  EXPECT_FALSE(vq::sim::IsCapturing(kMonoSerial));
}

INSTANTIATE_TEST_SUITE_P(Storms, CaptureAfterReopen, ::testing::Values(1, 4));

// While the bus thread is starting a capture (the camera holds StartCapture
// up), the host switches continuous off, grabs and switches it off again: the
// start under way stays at the front for the bus thread to finish, the starts
// queued behind it are withdrawn, and a stop follows, so the camera ends
// opened and not capturing.
TEST_F(HostRequests, ContinuousOffDuringAStartUnderWayEndsOpened) {
  ASSERT_TRUE(Open(Mono(), 1));
  struct Release {
    ~Release() { vq::sim::SetFaults(kMonoSerial, {}); }
  } release;
  vq::sim::SetFaults(kMonoSerial, {.holdStartCapture = true});
  vq::sim::ResetCallCounts(kMonoSerial);
  Mono().SetContinuousGrabMode(true);
  ASSERT_TRUE(vqtest::WaitFor([] { return vq::sim::CallCount(kMonoSerial, "StartCapture") == 1; }));
  ASSERT_TRUE(Mono().State().Busy());
  Mono().SetContinuousGrabMode(false);
  ASSERT_TRUE(Mono().Grab());
  Mono().SetContinuousGrabMode(false);
  EXPECT_EQ("'Req Capture Start ';'Req Capture Stop  ';", Mono().State().PendingText());
  vq::sim::SetFaults(kMonoSerial, {});
  ASSERT_TRUE(QueueDrained(Mono()));
  EXPECT_TRUE(Mono().State().IsState(CamOpened));
  EXPECT_FALSE(vq::sim::IsCapturing(kMonoSerial));
  EXPECT_EQ(1u, vq::sim::CallCount(kMonoSerial, "StartCapture"));
}

// The name array is built once: concurrent callers get the same block, and a
// pointer handed out earlier stays valid.
TEST_F(DriverFixture, TheNameListIsOneArrayForEveryCaller) {
  const char** first = List().ConfigNames();
  std::vector<std::thread> callers;
  std::atomic<int> different{0};
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] {
      for (int n = 0; n < 1000; ++n)
        if (List().ConfigNames() != first) ++different;
    });
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(0, different);
  EXPECT_STREQ("Colour (1111)", first[0]);
  EXPECT_STREQ("Mono (2222)", first[1]);
  EXPECT_EQ(nullptr, first[2]);
}

// A camera that cannot be reached at enumeration is left out; the others work.
class OneUnreachableCamera : public DriverFixture {
  std::string Fleet() const override {
    return R"({"cameras": [
      {"model": "Busy", "serial": 3333, "color": false, "faults": {"connect": true},
       "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}]},
      {"model": "Mono", "serial": 2222, "color": false,
       "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}]}]})";
  }
};

TEST_F(OneUnreachableCamera, IsLeftOutAndTheOthersWork) {
  EXPECT_EQ(1, List().Count());
  EXPECT_TRUE(Log().ContainsPrefix("CameraList::Init: ERROR: failed to connect camera: "));
  EXPECT_STREQ("Mono (2222)", List().ConfigNames()[0]);
  EXPECT_TRUE(Open(Mono(), 0));
}

// A camera that comes back from a removal with its power-on settings gets
// back every value that was in effect, whichever route set it (here: what the
// camera itself reported at the host's open), so the frames keep the size the
// host was told.
class ReconnectedMono : public HostRequests {
  std::string Fleet() const override {
    return R"({"cameras": [
      {"model": "Mono", "serial": 2222, "color": false,
       "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}, {"mode": "1280x960Y8", "frameRates": ["30 fps"]}],
       "current": {"videoMode": "1280x960Y8", "frameRate": "30 fps"}}]})";
  }
};

TEST_F(ReconnectedMono, AReconnectedCameraGetsBackTheValuesInEffect) {
  int32_t size[2] = {0, 0};
  ASSERT_TRUE(Mono().Open(1, size));
  ASSERT_EQ(1280, size[0]);
  Mono().SetCompleteCB(CountFrame);
  // The camera restarts with other settings, as after a power cycle.
  {
    FlyCapture2::BusManager bus;
    FlyCapture2::PGRGuid guid;
    ASSERT_EQ(FlyCapture2::PGRERROR_OK, bus.GetCameraFromSerialNumber(kMonoSerial, &guid));
    FlyCapture2::Camera other;
    ASSERT_EQ(FlyCapture2::PGRERROR_OK, other.Connect(&guid));
    ASSERT_EQ(FlyCapture2::PGRERROR_OK,
              other.SetVideoModeAndFrameRate(FlyCapture2::VIDEOMODE_640x480Y8, FlyCapture2::FRAMERATE_30));
  }
  Unplug(kMonoSerial);
  ASSERT_TRUE(
      vqtest::WaitFor([&] { return Log().Count("Camera::DoOpen: leaving, port#1 ser#2222 state:'Opened '\n") == 2; }));
  EXPECT_EQ(FlyCapture2::VIDEOMODE_1280x960Y8, vq::sim::CurrentVideoMode(kMonoSerial));
  Mono().SetContinuousGrabMode(true);
  ASSERT_TRUE(FramesFlow(1, 3));
  EXPECT_EQ(1280u, Mono().Width());
  EXPECT_EQ(960u, Mono().Height());
}
