#include <gtest/gtest.h>

#include "camera/CameraState.h"
#include "tests/support/TestSupport.h"

using namespace vq;

namespace {

std::vector<StateRequest> Drain(CameraState& state) {
  std::vector<StateRequest> requests;
  while (state.HasRequests()) {
    requests.push_back(state.FrontRequest());
    state.PopRequest();
  }
  return requests;
}

}  // namespace

TEST(CameraState, DisplayNamesArePaddedInsideTheirQuotes) {
  EXPECT_STREQ("'NotInit'", StateName(CamNotInit));
  EXPECT_STREQ("'Closed '", StateName(CamClosed));
  EXPECT_STREQ("'Opened '", StateName(CamOpened));
  EXPECT_STREQ("'OpenErr'", StateName(CamOpenErr));
  EXPECT_STREQ("'GrabErr'", StateName(CamGrabErr));
  EXPECT_STREQ("'Capture'", StateName(CamCapture));
  EXPECT_STREQ("'Destroy'", StateName(CamDestroy));
  EXPECT_STREQ("'Unknown'", StateName(7));
  EXPECT_STREQ("'Unknown'", StateName(-1));
  EXPECT_STREQ("'Req Not Assigned  '", RequestName(ReqNotAssigned));
  EXPECT_STREQ("'Req Camera Open   '", RequestName(ReqCameraOpen));
  EXPECT_STREQ("'Req Cam.Open.Arriv'", RequestName(ReqCameraOpenOnArrival));
  EXPECT_STREQ("'Req Camera Close  '", RequestName(ReqCameraClose));
  EXPECT_STREQ("'Req Camera Reset  '", RequestName(ReqCameraCloseOpen));
  EXPECT_STREQ("'Req Camera Destroy'", RequestName(ReqCameraDestroy));
  EXPECT_STREQ("'Req Capture Start '", RequestName(ReqCaptureStart));
  EXPECT_STREQ("'Req.Capture.Cont  '", RequestName(ReqCaptureCont));
  EXPECT_STREQ("'Req Capture Stop  '", RequestName(ReqCaptureStop));
  EXPECT_STREQ("'Req Trigger Strobe'", RequestName(ReqApplyTriggerStrobe));
  EXPECT_STREQ("'Req Unrecognized  '", RequestName(10));
}

TEST(CameraState, StartsClosedWithAnEmptyQueue) {
  CameraState state(42);
  EXPECT_TRUE(state.IsState(CamClosed));
  EXPECT_EQ(CamClosed, state.PrevState());
  EXPECT_FALSE(state.HasRequests());
  EXPECT_EQ(ReqNotAssigned, state.FrontRequest());
  state.PopRequest();  // nothing to pop: no effect
  EXPECT_EQ("", state.PendingText());
}

TEST(CameraState, RefusesOnlyARepeatOfTheNewestRequest) {
  vqtest::LogCapture log;
  CameraState state(42);
  state.AddRequest(ReqCaptureStart);
  state.AddRequest(ReqCaptureStart);
  EXPECT_EQ((std::vector<StateRequest>{ReqCaptureStart}), Drain(state));
  EXPECT_TRUE(log.Contains("CameraState::AddRequest: request 'Req Capture Start ' added, ser#42, queue size=1\n"));
  EXPECT_TRUE(log.Contains(
      "CameraState::AddRequest: WARNING: req 'Req Capture Start ' ignored, the same req is already in queue, camera# 42\n"));

  state.AddRequest(ReqCaptureStart);
  state.AddRequest(ReqCaptureStop);
  state.AddRequest(ReqCaptureStart);
  EXPECT_EQ((std::vector<StateRequest>{ReqCaptureStart, ReqCaptureStop, ReqCaptureStart}), Drain(state));
  EXPECT_TRUE(log.Contains("CameraList::AddStateRequest, 'Req Capture Stop  '\n"));
}

TEST(CameraState, NothingIsQueuedBehindADestroyRequest) {
  vqtest::LogCapture log;
  CameraState state(7);
  state.AddRequest(ReqCameraOpen);
  state.AddRequest(ReqCameraDestroy);
  state.AddRequest(ReqCaptureStart);
  state.AddRequest(ReqCameraDestroy);
  state.AddRequest(ReqCameraCloseOpen);
  // The destroy goes first: nothing queued before it holds it up either.
  EXPECT_EQ((std::vector<StateRequest>{ReqCameraDestroy}), Drain(state));
  EXPECT_EQ(
      3u,
      log.Count(
          "CameraState::AddRequest: WARNING: request 'Req Capture Start ' ignored, camera has destructing request, ser# 7\n") +
          log.Count(
              "CameraState::AddRequest: WARNING: request 'Req Camera Destroy' ignored, camera has destructing request, ser# 7\n") +
          log.Count(
              "CameraState::AddRequest: WARNING: request 'Req Camera Reset  ' ignored, camera has destructing request, ser# 7\n"));
}

// Whatever the state, a close-and-reopen is a close and a reopen: the reopen
// restarts only the capture the host asked for.
TEST(CameraState, CloseAndReopenExpandsToCloseAndReopen) {
  vqtest::LogCapture log;
  CameraState opened(1);
  opened.SetState(CamOpened);
  opened.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ("'Req Camera Close  ';'Req Cam.Open.Arriv';", opened.PendingText());
  EXPECT_TRUE(log.Contains("CameraState::AddRequest: request Close/Open added, camera ser# 1\n"));

  opened.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ("'Req Camera Close  ';'Req Cam.Open.Arriv';", opened.PendingText());
  EXPECT_TRUE(log.Contains(
      "CameraState::AddRequest: WARNING: request 'Req Camera Reset  ' ignored, Open and Close already in queue, camera# 1\n"));

  CameraState capturing(2);
  capturing.SetState(CamOpened);
  capturing.SetState(CamCapture);
  capturing.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ((std::vector<StateRequest>{ReqCameraClose, ReqCameraOpenOnArrival}), Drain(capturing));

  CameraState single(3);
  single.SetState(CamOpened);
  single.SetState(CamGrabErr);
  single.AddRequest(ReqCameraCloseOpen);
  single.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ((std::vector<StateRequest>{ReqCameraClose, ReqCameraOpenOnArrival}), Drain(single));
}

// Only a close and an open queued last make a close-and-reopen redundant: an
// open behind a capture start or a reopen is followed by a close-and-reopen
// of its own (a host's open during a removal's grace whose reopen then fails
// must not stay in OpenErr).
TEST(CameraState, CloseAndReopenIsRefusedOnlyBehindACloseAndAnOpen) {
  vqtest::LogCapture log;
  CameraState starting(4);
  starting.AddRequest(ReqCaptureStart);
  starting.AddRequest(ReqCameraOpen);
  starting.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ((std::vector<StateRequest>{ReqCaptureStart, ReqCameraOpen, ReqCameraClose, ReqCameraOpenOnArrival}),
            Drain(starting));

  CameraState reopening(5);
  reopening.AddRequest(ReqCameraOpenOnArrival);
  reopening.AddRequest(ReqCameraOpen);
  reopening.AddRequest(ReqCameraCloseOpen);
  EXPECT_EQ((std::vector<StateRequest>{ReqCameraOpenOnArrival, ReqCameraOpen, ReqCameraClose, ReqCameraOpenOnArrival}),
            Drain(reopening));
  EXPECT_FALSE(log.ContainsPrefix("CameraState::AddRequest: WARNING: request 'Req Camera Reset  ' ignored"));
}

TEST(CameraState, SetStateRecordsTheChangeOrRefusesTheSameState) {
  vqtest::LogCapture log;
  CameraState state(9);
  state.SetState(CamOpened);
  EXPECT_TRUE(state.IsState(CamOpened));
  EXPECT_EQ(CamClosed, state.PrevState());
  EXPECT_TRUE(log.Contains("CameraState::SetState: new state:'Opened ', prev state:'Closed ', serial#9\n"));

  CamState prev, now;
  ASSERT_TRUE(state.TakeStateChange(&prev, &now));
  state.SetState(CamOpened);
  EXPECT_EQ(CamNotInit, state.PrevState());
  EXPECT_TRUE(log.Contains("CameraState::SetState: WARNING: state 'Opened ' ignored, camera ser# 9\n"));
}
