#include <gtest/gtest.h>

#include <vector>

#include "camera/CameraLife.h"
#include "camera/CameraState.h"
#include "camera/HostCapture.h"
#include "tests/support/TestSupport.h"

using namespace vq;
using namespace vq::life;

namespace {

struct Expected {
  CamState state;
  StateRequest request;
  Step step;
  Gate gate;
  Then then;
};

}  // namespace

// The rows hosts rely on: an open only from Closed, a close or destroy of a
// capturing camera stops it first and stays queued, a close waits for a
// running callback, a grab while capturing retrieves one more frame only for
// single grabs, and everything else is "No action can be taken".
TEST(CameraLife, EachRequestDoesWhatItsStateAllows) {
  const Expected rows[] = {
      {CamClosed, ReqCameraOpen, Step::kOpen, Gate::kNone, Then::kDone},
      {CamOpened, ReqCameraOpen, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamCapture, ReqCameraOpen, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamClosed, ReqCameraOpenOnArrival, Step::kReopen, Gate::kReopen, Then::kDone},
      {CamOpenErr, ReqCameraOpenOnArrival, Step::kReopen, Gate::kReopen, Then::kDone},
      {CamOpened, ReqCameraClose, Step::kClose, Gate::kCallbacksHeld, Then::kDone},
      {CamOpenErr, ReqCameraClose, Step::kClose, Gate::kCallbacksHeld, Then::kDone},
      {CamCapture, ReqCameraClose, Step::kStopCapture, Gate::kNone, Then::kKeep},
      {CamGrabErr, ReqCameraClose, Step::kStopCapture, Gate::kNone, Then::kKeep},
      {CamClosed, ReqCameraClose, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamCapture, ReqCameraCloseOpen, Step::kDropCloseOpen, Gate::kNone, Then::kDone},
      {CamClosed, ReqCameraDestroy, Step::kDestroy, Gate::kNone, Then::kDone},
      {CamOpened, ReqCameraDestroy, Step::kClose, Gate::kCallbacksHeld, Then::kKeep},
      {CamGrabErr, ReqCameraDestroy, Step::kStopCapture, Gate::kNone, Then::kKeep},
      {CamDestroy, ReqCameraDestroy, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamOpened, ReqCaptureStart, Step::kStartCapture, Gate::kNone, Then::kDone},
      {CamCapture, ReqCaptureStart, Step::kGrabAgain, Gate::kNotContinuous, Then::kDone},
      {CamGrabErr, ReqCaptureStart, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamOpened, ReqCaptureCont, Step::kStartContinuous, Gate::kNone, Then::kDone},
      {CamCapture, ReqCaptureCont, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamOpened, ReqCaptureStop, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamGrabErr, ReqCaptureStop, Step::kStopCapture, Gate::kNone, Then::kDone},
      {CamGrabErr, ReqApplyTriggerStrobe, Step::kApplyTriggerStrobe, Gate::kNone, Then::kDone},
      {CamClosed, ReqApplyTriggerStrobe, Step::kNoAction, Gate::kNone, Then::kDone},
      {CamOpened, ReqNotAssigned, Step::kDrop, Gate::kNone, Then::kDone},
      {CamOpened, static_cast<StateRequest>(10), Step::kNoAction, Gate::kNone, Then::kDone},
  };
  for (const Expected& row : rows) {
    const RequestRule rule = RuleFor(row.state, row.request);
    SCOPED_TRACE(std::string(StateName(row.state)) + " " + RequestName(row.request));
    EXPECT_EQ(row.step, rule.step);
    EXPECT_EQ(row.gate, rule.gate);
    EXPECT_EQ(row.then, rule.then);
  }
  // A reopen of a camera that is not Closed says so and goes on.
  EXPECT_EQ(nullptr, RuleFor(CamClosed, ReqCameraOpenOnArrival).note.text);
  EXPECT_STREQ("Camera::HandleCameraStateRequest: WARNING: camera should have been in closed state, %s\n",
               RuleFor(CamGrabErr, ReqCameraOpenOnArrival).note.text);
  EXPECT_EQ(kLogError, RuleFor(CamGrabErr, ReqCameraOpenOnArrival).note.level);
}

// A request queued is decided by the last two queued and, for a destroy, by
// whether the bus thread is carrying out the front one, which then stays
// before the destroy. Only a changed queue wakes the bus thread.
TEST(CameraLife, QueueingARequestLooksAtTheBackOfTheQueue) {
  struct Case {
    std::vector<StateRequest> queued;
    StateRequest request;
    bool busy;
    Queueing outcome;
  };
  const Case cases[] = {
      {{ReqCameraOpen, ReqCameraDestroy}, ReqCaptureStart, false, Queueing::kIgnoredBehindDestroy},
      {{ReqCameraDestroy}, ReqCameraDestroy, true, Queueing::kIgnoredBehindDestroy},
      {{ReqCameraDestroy}, ReqCameraCloseOpen, false, Queueing::kIgnoredBehindDestroy},
      {{ReqCaptureStart, ReqCameraClose, ReqCameraOpenOnArrival},
       ReqCameraCloseOpen,
       false,
       Queueing::kCloseOpenAlreadyQueued},
      {{ReqCameraClose, ReqCameraOpen}, ReqCameraCloseOpen, true, Queueing::kCloseOpenAlreadyQueued},
      {{ReqCameraOpen, ReqCameraClose}, ReqCameraCloseOpen, false, Queueing::kCloseOpenExpanded},
      {{ReqCameraOpen}, ReqCameraCloseOpen, false, Queueing::kCloseOpenExpanded},
      {{}, ReqCameraCloseOpen, false, Queueing::kCloseOpenExpanded},
      {{ReqCameraOpen, ReqCaptureStart}, ReqCameraDestroy, false, Queueing::kDestroyNext},
      {{}, ReqCameraDestroy, true, Queueing::kDestroyNext},
      {{ReqCameraOpenOnArrival}, ReqCameraDestroy, true, Queueing::kDestroyBehindRunning},
      {{ReqCaptureStop, ReqCaptureStart}, ReqCaptureStart, false, Queueing::kRepeatIgnored},
      {{ReqCaptureStop, ReqCaptureStart}, ReqCaptureStart, true, Queueing::kRepeatIgnored},
      {{ReqCaptureStop}, ReqCaptureStop, true, Queueing::kRepeatIgnored},
      // A grab while the last grab's start is being carried out: its frame
      // may be delivered already, so this one is owed another.
      {{ReqCaptureStart}, ReqCaptureStart, true, Queueing::kAppended},
      {{ReqCaptureStart}, ReqCaptureStart, false, Queueing::kRepeatIgnored},
      {{ReqApplyTriggerStrobe}, ReqApplyTriggerStrobe, true, Queueing::kAppended},
      {{ReqCaptureStart, ReqCaptureStop}, ReqCaptureStart, false, Queueing::kAppended},
      {{}, ReqNotAssigned, false, Queueing::kAppended},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(RequestName(c.request)) + " behind " + std::to_string(c.queued.size()));
    EXPECT_EQ(c.outcome, QueueingOf(c.queued, c.request, c.busy));
  }
  for (Queueing ignored :
       {Queueing::kIgnoredBehindDestroy, Queueing::kCloseOpenAlreadyQueued, Queueing::kRepeatIgnored})
    EXPECT_FALSE(RowOf(ignored).wakesBusThread);
  EXPECT_EQ(kLogDetail, RowOf(Queueing::kCloseOpenExpanded).line.level);

  // Carried out: the front request being carried out stays before the destroy.
  vqtest::LogCapture log;
  int wakes = 0;
  CameraState state(3, [&wakes] { ++wakes; });
  state.AddRequest(ReqCaptureStart);
  state.AddRequest(ReqCameraCloseOpen);
  state.SetBusy(true);
  state.AddRequest(ReqCameraDestroy);
  EXPECT_EQ("'Req Capture Start ';'Req Camera Destroy';", state.PendingText());
  EXPECT_EQ(3, wakes);
  EXPECT_TRUE(log.Contains("CameraState::AddRequest: request 'Req Camera Destroy' added, ser#3, queue size=2\n"));
}

TEST(CameraLife, OperationsAreRefusedWithTheirOwnLine) {
  const Refusal* opened = Refuses(Op::kDoOpen, CamCapture);
  ASSERT_NE(nullptr, opened);
  EXPECT_STREQ("Camera::DoOpen: WARNING: ignored, camera is already Open or capturing state, %s\n", opened->line.text);
  EXPECT_TRUE(opened->result);
  const Refusal* notClosed = Refuses(Op::kDoOpen, CamOpenErr);
  ASSERT_NE(nullptr, notClosed);
  EXPECT_STREQ("Camera::DoOpen: ERROR: ignored, camera must be in 'Closed' state before opening, %s\n",
               notClosed->line.text);
  EXPECT_FALSE(notClosed->result);
  EXPECT_EQ(nullptr, Refuses(Op::kDoOpen, CamClosed));

  EXPECT_EQ(nullptr, Refuses(Op::kDoStartCapture, CamOpened));
  const Refusal* noCamera = Refuses(Op::kDoStartCapture, CamOpened, false);
  ASSERT_NE(nullptr, noCamera);
  EXPECT_STREQ("Camera::DoStartCapture: ERROR: ignored, camera not in open state, %s\n", noCamera->line.text);
  const Refusal* capturing = Refuses(Op::kDoStartCapture, CamCapture);
  ASSERT_NE(nullptr, capturing);
  EXPECT_EQ(kLogInfo, capturing->line.level);

  EXPECT_EQ(nullptr, Refuses(Op::kSetProperty, CamGrabErr));
  ASSERT_NE(nullptr, Refuses(Op::kSetProperty, CamOpenErr));
  EXPECT_EQ(nullptr, Refuses(Op::kDoStopCapture, CamGrabErr));
  // Trigger and strobe are refused quietly: the reopen writes them.
  ASSERT_NE(nullptr, Refuses(Op::kDoApplyTriggerStrobe, CamGrabErr));
  EXPECT_EQ(nullptr, Refuses(Op::kDoApplyTriggerStrobe, CamGrabErr)->line.text);
}

TEST(CameraLife, OnlyListedTransitionsAreAllowed) {
  EXPECT_TRUE(TransitionAllowed(CamClosed, CamOpened));
  EXPECT_TRUE(TransitionAllowed(CamCapture, CamGrabErr));
  EXPECT_TRUE(TransitionAllowed(CamGrabErr, CamOpened));
  EXPECT_TRUE(TransitionAllowed(CamClosed, CamDestroy));
  EXPECT_FALSE(TransitionAllowed(CamClosed, CamCapture));
  EXPECT_FALSE(TransitionAllowed(CamOpened, CamDestroy));
  EXPECT_FALSE(TransitionAllowed(CamDestroy, CamClosed));
  EXPECT_FALSE(TransitionAllowed(CamOpenErr, CamGrabErr));
}

// Single grabs are counted, continuous frames are not; a close keeps a
// continuous mode until the next open decides afresh.
TEST(CameraLife, TheHostsCaptureIsOneRecord) {
  HostCapture asked;
  EXPECT_FALSE(asked.FrameOwed());
  EXPECT_TRUE(asked.OweFrame());
  EXPECT_TRUE(asked.OweFrame());
  EXPECT_TRUE(asked.FrameDelivered()) << "one more owed";
  EXPECT_FALSE(asked.FrameDelivered());
  EXPECT_FALSE(asked.FrameOwed());
  EXPECT_FALSE(asked.FrameDelivered());

  EXPECT_TRUE(asked.OweFrame());
  EXPECT_FALSE(asked.SetContinuous(true));
  EXPECT_TRUE(asked.Continuous());
  EXPECT_FALSE(asked.FrameOwed());
  EXPECT_FALSE(asked.OweFrame()) << "continuous frames owe nothing";
  asked.HostCloses();
  EXPECT_TRUE(asked.Continuous());

  asked.HostOpens();
  EXPECT_TRUE(asked.AtOpen());
  EXPECT_FALSE(asked.Continuous());
  EXPECT_TRUE(asked.OweFrame()) << "a grab during the open";
  asked.ClearForParameter();
  EXPECT_TRUE(asked.FrameOwed());
  EXPECT_FALSE(asked.SetContinuous(false));
  asked.SetContinuous(true);
  asked.ClearForParameter();
  EXPECT_FALSE(asked.Continuous());
  asked.OweFrame();
  asked.HostCloses();
  EXPECT_FALSE(asked.FrameOwed());
}
