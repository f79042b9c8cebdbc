// Trigger, strobe and GPIO pins of the simulated cameras: what they report,
// how writes are checked, and frames that come only on triggers.
#include <gtest/gtest.h>

#include <future>

#include "sim_test_support.h"
#include "tests/support/TestSupport.h"

namespace simtest {
namespace {

class SimTriggerTest : public SimTest {
 protected:
  // A free-running camera, so that only the trigger holds frames back.
  void Connect(unsigned int serial) {
    vq::sim::SetFreeRunning(serial, true);
    ASSERT_TRUE(Ok(ConnectBySerial(_camera, serial)));
  }

  TriggerMode Trigger() {
    TriggerMode mode;
    EXPECT_TRUE(Ok(_camera.GetTriggerMode(&mode)));
    return mode;
  }

  Error SetTrigger(bool on, unsigned int mode = 0, unsigned int source = 0, unsigned int polarity = 0) {
    TriggerMode trigger;
    trigger.onOff = on;
    trigger.mode = mode;
    trigger.source = source;
    trigger.polarity = polarity;
    return _camera.SetTriggerMode(&trigger);
  }

  std::future<Error> RetrieveInBackground(Image* image) {
    return std::async(std::launch::async, [this, image] { return _camera.RetrieveBuffer(image); });
  }

  // The result of a background retrieval; one that is not released in time
  // is failed and then released by stopping the capture.
  Error Outcome(std::future<Error>& retrieval) {
    if (retrieval.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the blocked retrieval was not released";
      _camera.StopCapture();
    }
    return retrieval.get();
  }

  bool WaitUntilRetrievalBlocks(unsigned int serial) {
    return vqtest::WaitFor([&] { return vq::sim::RetrievalsWaiting(serial) == 1; });
  }

  Camera _camera;
};

// ---- trigger ------------------------------------------------------------------------

TEST_F(SimTriggerTest, DefaultCamerasDifferInModesSourcesAndPolarity) {
  Connect(kColor);
  TriggerModeInfo info;
  ASSERT_TRUE(Ok(_camera.GetTriggerModeInfo(&info)));
  EXPECT_TRUE(info.present && info.onOffSupported && info.polaritySupported && info.softwareTriggerSupported);
  EXPECT_EQ(info.modeMask, 0xD003u) << "modes 0, 1, 3, 14 and 15; bit 15 stands for mode 0";
  EXPECT_EQ(info.sourceMask, 0xFu) << "GPIO0 to GPIO3";
  TriggerMode mode = Trigger();
  EXPECT_FALSE(mode.onOff);
  EXPECT_EQ(mode.mode, 0u);

  Camera mono;
  ASSERT_TRUE(Ok(ConnectBySerial(mono, kMono)));
  ASSERT_TRUE(Ok(mono.GetTriggerModeInfo(&info)));
  EXPECT_TRUE(info.present);
  EXPECT_FALSE(info.polaritySupported || info.softwareTriggerSupported);
  EXPECT_EQ(info.modeMask, 0xD000u);
  EXPECT_EQ(info.sourceMask, 0x5u) << "GPIO0 and GPIO2";
}

TEST_F(SimTriggerTest, SetTriggerModeRefusesWhatTheCameraLacks) {
  Connect(kColor);
  ASSERT_TRUE(Ok(SetTrigger(false, 14, 3, 1)));
  TriggerMode mode = Trigger();
  EXPECT_EQ(mode.mode, 14u);
  EXPECT_EQ(mode.source, 3u);
  EXPECT_EQ(mode.polarity, 1u);

  Error error = SetTrigger(false, 2);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Trigger mode 2 is not supported by this camera.");
  error = SetTrigger(false, 0, 4);
  EXPECT_STREQ(error.GetDescription(), "Trigger source 4 is not supported by this camera.");
  error = SetTrigger(false, 0, 0, 2);
  EXPECT_STREQ(error.GetDescription(), "Invalid trigger polarity 2 (0 low, 1 high).");
  EXPECT_EQ(Trigger().mode, 14u) << "a refused write changes nothing";
  EXPECT_EQ(vq::sim::LastTriggerModeWrite(kColor)->polarity, 2u);

  Camera mono;  // no polarity: the bit is ignored
  ASSERT_TRUE(Ok(ConnectBySerial(mono, kMono)));
  TriggerMode trigger;
  trigger.source = 2;
  trigger.polarity = 1;
  ASSERT_TRUE(Ok(mono.SetTriggerMode(&trigger)));
  EXPECT_EQ(vq::sim::GetTriggerState(kMono).polarity, 0u);
  EXPECT_EQ(vq::sim::GetTriggerState(kMono).source, 2u);
}

TEST_F(SimTriggerTest, CameraWithoutTriggerSaysSo) {
  vq::sim::LoadFleetJson(
      R"({"cameras": [{"model": "M", "serial": 7, "color": false, "trigger": {"present": false}}]})");
  Connect(7);
  TriggerModeInfo info;
  info.present = true;
  ASSERT_TRUE(Ok(_camera.GetTriggerModeInfo(&info)));
  EXPECT_FALSE(info.present);
  EXPECT_EQ(info.modeMask, 0u);
  TriggerMode mode;
  Error error = _camera.GetTriggerMode(&mode);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(), "This camera has no trigger.");
  EXPECT_EQ(_camera.SetTriggerMode(&mode).GetType(), PGRERROR_NOT_IMPLEMENTED);
}

TEST_F(SimTriggerTest, WithTheTriggerOnEachTriggerReleasesOneFrame) {
  Connect(kColor);
  ASSERT_TRUE(Ok(SetTrigger(true)));
  EXPECT_FALSE(vq::sim::FireSoftwareTrigger(kColor)) << "not capturing: the trigger is lost";
  ASSERT_TRUE(Ok(_camera.StartCapture()));

  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kColor));
  EXPECT_EQ(vq::sim::FramesDelivered(kColor), 0u);
  EXPECT_TRUE(vq::sim::FireSoftwareTrigger(kColor));
  ASSERT_TRUE(Ok(Outcome(retrieval)));
  EXPECT_EQ(image.GetFrameNumber(), 1u);

  // Triggers that come before their frames are retrieved wait their turn.
  EXPECT_TRUE(vq::sim::FireSoftwareTrigger(kColor));
  EXPECT_TRUE(vq::sim::FireSoftwareTrigger(kColor));
  EXPECT_EQ(vq::sim::PendingTriggers(kColor), 2);
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  EXPECT_EQ(image.GetFrameNumber(), 3u);

  retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kColor));
  EXPECT_EQ(vq::sim::FramesDelivered(kColor), 3u);
  ASSERT_TRUE(Ok(_camera.StopCapture()));
  Error error = Outcome(retrieval);
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_NOT_STARTED);
  EXPECT_STREQ(error.GetDescription(), "Capture was stopped while waiting for a frame.");
}

TEST_F(SimTriggerTest, RemovalReleasesARetrievalWaitingForATrigger) {
  Connect(kMono);
  ASSERT_TRUE(Ok(SetTrigger(true)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kMono));
  vq::sim::RemoveCamera(kMono);
  EXPECT_EQ(Outcome(retrieval).GetType(), PGRERROR_NOT_CONNECTED);
  EXPECT_FALSE(vq::sim::FireSoftwareTrigger(kMono)) << "a camera off the bus takes no trigger";
}

TEST_F(SimTriggerTest, SwitchingTheTriggerOffLetsFramesFlowAgain) {
  Connect(kColor);
  ASSERT_TRUE(Ok(SetTrigger(true)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kColor));
  ASSERT_TRUE(Ok(SetTrigger(false)));
  EXPECT_TRUE(Ok(Outcome(retrieval)));
  EXPECT_FALSE(vq::sim::FireSoftwareTrigger(kColor));
}

TEST_F(SimTriggerTest, PeriodicTriggerReleasesFramesWithoutSoftwareTriggers) {
  Connect(kColor);
  ASSERT_TRUE(Ok(SetTrigger(true)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kColor));
  vq::sim::SetTriggerPeriod(kColor, 5);
  ASSERT_TRUE(Ok(Outcome(retrieval)));
  for (uint64_t number = 2; number <= 4; ++number) {
    ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
    EXPECT_EQ(image.GetFrameNumber(), number);
  }
}

TEST_F(SimTriggerTest, FleetFileCanStartACameraTriggeredPeriodically) {
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "P", "serial": 8, "color": true,
      "trigger": {"periodMs": 5, "current": {"on": true, "mode": 15, "source": "GPIO1"}}}]})");
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, 8)));
  TriggerMode mode = Trigger();
  EXPECT_TRUE(mode.onOff);
  EXPECT_EQ(mode.mode, 15u);
  EXPECT_EQ(mode.source, 1u);
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  EXPECT_EQ(image.GetFrameNumber(), 3u);
}

// ---- strobe and GPIO ---------------------------------------------------------------------

TEST_F(SimTriggerTest, StrobePinsReportTheirLimitsAndRefuseValuesOutsideThem) {
  Connect(kColor);
  for (unsigned int pin = 0; pin < 4; ++pin) {
    StrobeInfo info;
    info.source = pin;
    ASSERT_TRUE(Ok(_camera.GetStrobeInfo(&info)));
    EXPECT_EQ(info.present, pin < 2) << pin;
    EXPECT_EQ(info.polaritySupported, pin < 2) << pin;
    EXPECT_EQ(info.source, pin);
    EXPECT_EQ(info.maxValue, pin < 2 ? 4.0f : 0.0f);
  }
  StrobeControl control;
  control.source = 1;
  control.onOff = true;
  control.polarity = 1;
  control.delay = 0.5f;
  control.duration = 4.0f;
  ASSERT_TRUE(Ok(_camera.SetStrobe(&control)));
  StrobeControl read;
  read.source = 1;
  ASSERT_TRUE(Ok(_camera.GetStrobe(&read)));
  EXPECT_TRUE(read.onOff);
  EXPECT_EQ(read.polarity, 1u);
  EXPECT_EQ(read.delay, 0.5f);
  EXPECT_EQ(read.duration, 4.0f);

  control.delay = 4.5f;
  Error error = _camera.SetStrobe(&control);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Strobe 1: delay 4.5 is outside 0 to 4.");
  control.delay = 0.0f;
  control.duration = -1.0f;
  EXPECT_STREQ(_camera.SetStrobe(&control).GetDescription(), "Strobe 1: duration -1 is outside 0 to 4.");
  EXPECT_EQ(vq::sim::GetStrobeState(kColor, 1).delay, 0.5f);

  control.source = 2;
  error = _camera.SetStrobe(&control);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(), "Strobe 2 is not present on this camera.");
  EXPECT_EQ(_camera.GetStrobe(&control).GetType(), PGRERROR_NOT_IMPLEMENTED);
  control.source = 4;
  EXPECT_STREQ(_camera.GetStrobe(&control).GetDescription(), "Invalid pin 4 (the camera has pins 0 to 3).");
}

TEST_F(SimTriggerTest, StrobeWithoutPolarityIgnoresThePolarityBit) {
  Connect(kMono);
  StrobeControl control;
  control.onOff = true;
  control.polarity = 1;
  ASSERT_TRUE(Ok(_camera.SetStrobe(&control)));
  EXPECT_EQ(vq::sim::GetStrobeState(kMono, 0).polarity, 0u);
  EXPECT_TRUE(vq::sim::GetStrobeState(kMono, 0).onOff);
  EXPECT_EQ(vq::sim::LastStrobeWrite(kMono, 0)->polarity, 1u);
  EXPECT_FALSE(vq::sim::LastStrobeWrite(kMono, 1).has_value());
}

TEST_F(SimTriggerTest, GpioPinsStartAsDescribedAndRememberTheirDirection) {
  Connect(kColor);
  unsigned int direction = 9;
  ASSERT_TRUE(Ok(_camera.GetGPIOPinDirection(1, &direction)));
  EXPECT_EQ(direction, 1u);
  ASSERT_TRUE(Ok(_camera.SetGPIOPinDirection(1, 0)));
  EXPECT_EQ(vq::sim::GetGPIODirection(kColor, 1), 0u);
  EXPECT_EQ(_camera.GetGPIOPinDirection(4, &direction).GetType(), PGRERROR_INVALID_PARAMETER);
  Error error = _camera.SetGPIOPinDirection(0, 2);
  EXPECT_STREQ(error.GetDescription(), "Invalid GPIO direction 2 (0 input, 1 output).");
  EXPECT_THROW(vq::sim::GetGPIODirection(kColor, 4), std::invalid_argument);
}

}  // namespace
}  // namespace simtest
