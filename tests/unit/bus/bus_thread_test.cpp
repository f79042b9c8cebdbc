// The bus thread against the request table, open and close, and teardown.
#include <gtest/gtest.h>

#include "params/ParameterAccess.h"
#include "tests/support/DriverFixture.h"

using namespace vq;

using vqtest::DriverFixture;

namespace {

std::string NoAction(const char* state, const char* request) {
  return std::string("CameraList::HandleCameraStateRequest: WARNING OR ERROR: No action can be taken, state=") + state +
         ", stateRequest=" + request + "\n";
}

}  // namespace

TEST_F(DriverFixture, OpenRunsOnTheBusThreadAndReportsTheSize) {
  int32_t size[2] = {-1, -1};
  ASSERT_TRUE(Colour().Open(4, size));
  EXPECT_EQ(640, size[0]);
  EXPECT_EQ(480, size[1]);
  EXPECT_EQ(4, Colour().Port());
  EXPECT_EQ(&Colour(), &List().GetByPort(4));
  EXPECT_TRUE(Log().Contains("Camera::Open: Posting open request for camera port#4 ser#1111 state:'Closed '\n"));
  EXPECT_TRUE(Log().Contains("Camera Colour (1111) OPEN, port#4 ser#1111 state:'Opened '\n"));
  bool counted = false;
  for (const auto& line : Log().Messages())
    counted |= line.rfind("Camera::Open: Open state reached for camera after ", 0) == 0;
  EXPECT_TRUE(counted);
  // Open returns at Opened; the bus thread pops the request right after.
  EXPECT_TRUE(vqtest::WaitFor([&] { return !Colour().State().HasRequests(); }));
  EXPECT_EQ(1, vq::sim::Connections(vqtest::kColourSerial));
}

TEST_F(DriverFixture, OpeningAnOpenCameraKeepsItsPort) {
  ASSERT_TRUE(Open(Colour(), 1));
  int32_t size[2] = {0, 0};
  ASSERT_TRUE(Colour().Open(2, size));
  EXPECT_EQ(640, size[0]);
  EXPECT_EQ(1, Colour().Port());
  EXPECT_TRUE(Log().Contains(
      "Camera::Open: WARNING: camera Colour (1111) already in open state, port#1 ser#1111 state:'Opened '\n"));
  // Two cameras on the same port: the earlier in the list answers.
  ASSERT_TRUE(Open(Mono(), 1));
  EXPECT_EQ(&Colour(), &List().GetByPort(1));
}

TEST_F(DriverFixture, AFailedOpenReleasesEverythingAndIsRetried) {
  vq::sim::SetFaults(vqtest::kColourSerial, {.connect = true});
  EXPECT_FALSE(Open(Colour(), 0));
  EXPECT_TRUE(Log().ContainsPrefix("Camera::Open: ERROR: Open error for camera Colour (1111), port#0 ser#1111 state:"));
  EXPECT_TRUE(
      Log().Contains("Camera::DoOpen: EXCEPTION catch...throw again, port#0 ser#1111 state:'Closed ': "
                     "CameraList::Open: Failed to open camera\n"));
  EXPECT_EQ(0, vq::sim::Connections(vqtest::kColourSerial));
  // The bus thread lives on: it schedules a reopen, and another camera opens.
  ASSERT_TRUE(WaitForLine("CameraState::AddRequest: request Close/Open added, camera ser# 1111\n"));
  ASSERT_TRUE(Open(Mono(), 1));
  vq::sim::SetFaults(vqtest::kColourSerial, {});
  EXPECT_TRUE(WaitForState(Colour(), CamOpened)) << "the reopen succeeds once the fault is gone";
}

TEST_F(DriverFixture, OpenTimesOutWhileTheBusThreadIsBusy) {
  // The bus thread stalls in the colour camera's open while the test holds
  // that camera's parameter lock.
  std::unique_lock<std::mutex> stall(Colour().Settings().Lock());
  Colour().State().AddRequest(ReqCameraOpen);
  ASSERT_TRUE(WaitForLine("Camera::DoOpen: Opening camera Colour (1111), port#-1 ser#1111 state:'Closed '\n"));
  EXPECT_FALSE(Open(Mono(), 2));
  EXPECT_TRUE(
      Log().Contains("Camera::Open: ERROR: Open timeout for camera Mono (2222), port#2 ser#2222 state:'Closed '\n"));
  stall.unlock();
  // The host was told the open failed: the queued open still runs, and the
  // close queued behind it undoes it.
  EXPECT_TRUE(WaitForLine("Camera::DoOpen: leaving, port#2 ser#2222 state:'Opened '\n"));
  EXPECT_TRUE(vqtest::WaitFor(
      [&] { return Mono().State().IsState(CamClosed) && !Mono().State().HasRequests() && !Mono().State().Busy(); }));
  EXPECT_FALSE(Mono().HostOpen());
}

TEST_F(DriverFixture, TwoCamerasWithTwoRequestsEachRunInterleaved) {
  std::unique_lock<std::mutex> stall(Colour().Settings().Lock());
  Colour().State().AddRequest(ReqCameraOpen);
  ASSERT_TRUE(WaitForLine("Camera::DoOpen: Opening camera Colour (1111), port#-1 ser#1111 state:'Closed '\n"));
  Colour().State().AddRequest(ReqCaptureStart);
  Mono().State().AddRequest(ReqCameraOpen);
  Mono().State().AddRequest(ReqCaptureStart);
  Log().Clear();
  stall.unlock();
  // The state changes before its line is logged: wait for the line itself.
  const std::string monoCaptureLine = "CameraState::SetState: new state:'Capture', prev state:'Opened ', serial#2222\n";
  ASSERT_TRUE(WaitForLine(monoCaptureLine));
  int colourOpened = Log().IndexOf("CameraState::SetState: new state:'Opened ', prev state:'Closed ', serial#1111\n");
  int monoOpened = Log().IndexOf("CameraState::SetState: new state:'Opened ', prev state:'Closed ', serial#2222\n");
  int colourCapture = Log().IndexOf("CameraState::SetState: new state:'Capture', prev state:'Opened ', serial#1111\n");
  int monoCapture = Log().IndexOf(monoCaptureLine);
  ASSERT_NE(-1, colourOpened);
  EXPECT_LT(colourOpened, monoOpened);
  EXPECT_LT(monoOpened, colourCapture);
  EXPECT_LT(colourCapture, monoCapture);
}

TEST_F(DriverFixture, RequestsThatDoNotFitTheStateAreDropped) {
  CameraState& state = Colour().State();
  state.AddRequest(ReqCameraClose);
  ASSERT_TRUE(WaitForLine(NoAction("'Closed '", "'Req Camera Close  '")));
  state.AddRequest(ReqCaptureStart);
  ASSERT_TRUE(WaitForLine(NoAction("'Closed '", "'Req Capture Start '")));
  state.AddRequest(ReqCaptureStop);
  ASSERT_TRUE(WaitForLine(NoAction("'Closed '", "'Req Capture Stop  '")));
  state.AddRequest(ReqCaptureCont);
  ASSERT_TRUE(WaitForLine(NoAction("'Closed '", "'Req.Capture.Cont  '")));
  state.AddRequest(static_cast<StateRequest>(42));
  ASSERT_TRUE(WaitForLine(NoAction("'Closed '", "'Req Unrecognized  '")));

  ASSERT_TRUE(Open(Colour(), 0));
  state.AddRequest(ReqCameraOpen);
  ASSERT_TRUE(WaitForLine(NoAction("'Opened '", "'Req Camera Open   '")));
  state.AddRequest(ReqCaptureStop);
  ASSERT_TRUE(WaitForLine(NoAction("'Opened '", "'Req Capture Stop  '")));
  state.AddRequest(ReqNotAssigned);
  EXPECT_TRUE(vqtest::WaitFor([&] { return !state.HasRequests(); }));
  EXPECT_TRUE(state.IsState(CamOpened));
}

TEST_F(DriverFixture, CaptureContStartsContinuousCapture) {
  ASSERT_TRUE(Open(Mono(), 0));
  Mono().State().AddRequest(ReqCaptureCont);
  ASSERT_TRUE(WaitForState(Mono(), CamCapture));
  EXPECT_TRUE(Mono().AsksContinuous());
  EXPECT_TRUE(vq::sim::IsCapturing(vqtest::kMonoSerial));
}

TEST_F(DriverFixture, ClosingACapturingCameraTakesTwoPasses) {
  ASSERT_TRUE(Open(Colour(), 0));
  Colour().SetContinuousGrabMode(true);
  ASSERT_TRUE(WaitForState(Colour(), CamCapture));
  Log().Clear();
  Colour().Close();
  EXPECT_TRUE(Colour().State().IsState(CamClosed));
  int stop = Log().IndexOf("Camera::DoStopCapture: leaving, port#0 ser#1111 state:'Opened ' \n");
  int close = Log().IndexOf("Camera::DoClose: entering port#0 ser#1111 state:'Opened '\n");
  ASSERT_NE(-1, stop);
  EXPECT_LT(stop, close);
  EXPECT_TRUE(
      Log().Contains("Camera::Close: Close state reached for camera Colour (1111), port#0 ser#1111 state:'Closed '\n"));
  EXPECT_FALSE(vq::sim::IsCapturing(vqtest::kColourSerial));
  EXPECT_EQ(0, vq::sim::Connections(vqtest::kColourSerial));

  Log().Clear();
  Colour().Close();
  EXPECT_TRUE(Log().Contains(
      "Camera::Close: WARNING: camera Colour (1111) already in closed state, port#0 ser#1111 state:'Closed ' \n"));
  EXPECT_FALSE(Colour().State().HasRequests());
}

TEST_F(DriverFixture, ContinuousParameterStartsCaptureAfterOpen) {
  {
    std::lock_guard<std::mutex> lock(Mono().Settings().Lock());
    ParameterAccess::SetParameter<bool>(Mono().Settings().Parameters(), "Continuous", true, false, true);
  }
  ASSERT_TRUE(Open(Mono(), 0));
  EXPECT_TRUE(WaitForState(Mono(), CamCapture));
  EXPECT_TRUE(Mono().AsksContinuous());
}

TEST_F(DriverFixture, TeardownClosesACapturingCamera) {
  ASSERT_TRUE(Open(Colour(), 0));
  Colour().SetContinuousGrabMode(true);
  ASSERT_TRUE(WaitForState(Colour(), CamCapture));
  CameraList::DeleteInstance();
  EXPECT_TRUE(Log().Contains("CameraState::SetState: new state:'Destroy', prev state:'Closed ', serial#1111\n"));
  EXPECT_TRUE(Log().Contains("CameraList::DestroyBusThread: thread closed\n"));
  EXPECT_FALSE(Log().Contains(
      "Camera::~Camera: WARNING: could not reach destructing state, port#0 ser#1111 state:'Capture' \n"));
  EXPECT_FALSE(vq::sim::IsCapturing(vqtest::kColourSerial));
  EXPECT_EQ(0, vq::sim::Connections(vqtest::kColourSerial));
}

// The bus thread sleeps until the earliest deadline among the requests it
// keeps waiting: a reopen after a reset, 200 ms on, is not held up by another
// camera waiting out its removal's 10 s grace (the colour camera comes first
// in the list, so the later deadline is seen last).
TEST_F(DriverFixture, AReopenPauseIsNotHeldUpByAnotherCamerasRemovalGrace) {
  ASSERT_TRUE(Open(Mono(), 1));
  ASSERT_TRUE(Open(Colour(), 0));
  vq::sim::RemoveCamera(vqtest::kMonoSerial);
  ASSERT_TRUE(
      WaitForLine("Camera::HandleCameraStateRequest: skipping ReqCameraOpenOnArrival for a while, "
                  "port#1 ser#2222 state:'Closed '\n"));
  Log().Clear();
  const auto reset = std::chrono::steady_clock::now();
  ASSERT_TRUE(Colour().SetProperty("Reset", 1));
  ASSERT_TRUE(WaitForLine("CameraState::SetState: new state:'Opened ', prev state:'Closed ', serial#1111\n",
                          std::chrono::milliseconds(8000)));
  const auto reopened = std::chrono::steady_clock::now() - reset;
  EXPECT_LT(reopened, std::chrono::seconds(4)) << "the reopen waited for the other camera's grace";
  EXPECT_TRUE(Mono().State().HasRequest(ReqCameraOpenOnArrival)) << "the removed camera still waits";
}

// A camera whose open keeps failing is tried again at the reopen pace, not in
// a busy loop: in 1.5 s at most about eight attempts 200 ms apart.
TEST_F(DriverFixture, AnOpenThatKeepsFailingIsRetriedAtThePauseOfAReopen) {
  vq::sim::SetFaults(vqtest::kColourSerial, {.connect = true});
  EXPECT_FALSE(Open(Colour(), 0));
  ASSERT_TRUE(WaitForLine("CameraState::AddRequest: request Close/Open added, camera ser# 1111\n"));
  vq::sim::ResetCallCounts(vqtest::kColourSerial);
  const auto attempts = [] { return vq::sim::CallCount(vqtest::kColourSerial, "Connect"); };
  EXPECT_FALSE(vqtest::WaitFor([&] { return attempts() > 10; }, std::chrono::milliseconds(1500)))
      << attempts() << " attempts in 1.5 s";
  EXPECT_TRUE(vqtest::WaitFor([&] { return attempts() >= 2; })) << "the open is retried";
  Colour().Close();
}
