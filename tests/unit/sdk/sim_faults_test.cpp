// Injected faults of the feature reads and writes, and the per-operation
// call counters of the simulated cameras.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "sdk/sim/SimOperation.h"
#include "sim_test_support.h"

namespace simtest {
namespace {

using vq::sim::CallsFor;
using vq::sim::CameraFaults;
using vq::sim::FaultMask;
using vq::sim::kEveryCall;

class SimFaultsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  }

  Error GetProperty(PropertyType type) {
    Property property;
    property.type = type;
    return _camera.GetProperty(&property);
  }

  Camera _camera;
};

struct FaultCase {
  const char* operation;
  FaultMask CameraFaults::*mask;
  ErrorType type;
  std::function<Error(Camera&)> call;
};

// One call of every feature operation, each about property type 13 (Gain),
// pin 0, video mode 5 (640x480Y8) or Format7 mode 0.
std::vector<FaultCase> EveryFeatureOperation() {
  const ErrorType read = PGRERROR_READ_REGISTER_FAILED, write = PGRERROR_WRITE_REGISTER_FAILED;
  return {
      {"GetPropertyInfo", &CameraFaults::getPropertyInfo, read,
       [](Camera& c) {
         PropertyInfo i;
         i.type = GAIN;
         return c.GetPropertyInfo(&i);
       }},
      {"GetProperty", &CameraFaults::getProperty, read,
       [](Camera& c) {
         Property p;
         p.type = GAIN;
         return c.GetProperty(&p);
       }},
      {"SetProperty", &CameraFaults::setProperty, write,
       [](Camera& c) {
         Property p;
         p.type = GAIN;
         return c.SetProperty(&p);
       }},
      {"GetTriggerModeInfo", &CameraFaults::getTriggerModeInfo, read,
       [](Camera& c) {
         TriggerModeInfo i;
         return c.GetTriggerModeInfo(&i);
       }},
      {"GetTriggerMode", &CameraFaults::getTriggerMode, read,
       [](Camera& c) {
         TriggerMode m;
         return c.GetTriggerMode(&m);
       }},
      {"SetTriggerMode", &CameraFaults::setTriggerMode, write,
       [](Camera& c) {
         TriggerMode m;
         return c.SetTriggerMode(&m);
       }},
      {"GetStrobeInfo", &CameraFaults::getStrobeInfo, read,
       [](Camera& c) {
         StrobeInfo i;
         return c.GetStrobeInfo(&i);
       }},
      {"GetStrobe", &CameraFaults::getStrobe, read,
       [](Camera& c) {
         StrobeControl s;
         return c.GetStrobe(&s);
       }},
      {"SetStrobe", &CameraFaults::setStrobe, write,
       [](Camera& c) {
         StrobeControl s;
         return c.SetStrobe(&s);
       }},
      {"GetGPIOPinDirection", &CameraFaults::getGPIODirection, read,
       [](Camera& c) {
         unsigned int d;
         return c.GetGPIOPinDirection(0, &d);
       }},
      {"SetGPIOPinDirection", &CameraFaults::setGPIODirection, write,
       [](Camera& c) { return c.SetGPIOPinDirection(0, 1); }},
      {"GetVideoModeAndFrameRateInfo", &CameraFaults::getVideoModeInfo, read,
       [](Camera& c) {
         bool s;
         return c.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480Y8, FRAMERATE_30, &s);
       }},
      {"GetVideoModeAndFrameRate", &CameraFaults::getVideoMode, read,
       [](Camera& c) {
         VideoMode m;
         FrameRate r;
         return c.GetVideoModeAndFrameRate(&m, &r);
       }},
      {"SetVideoModeAndFrameRate", &CameraFaults::setVideoMode, write,
       [](Camera& c) { return c.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_30); }},
      {"GetFormat7Info", &CameraFaults::getFormat7Info, read,
       [](Camera& c) {
         Format7Info i;
         bool s;
         return c.GetFormat7Info(&i, &s);
       }},
      {"GetFormat7Configuration", &CameraFaults::getFormat7Configuration, read,
       [](Camera& c) {
         Format7ImageSettings s;
         unsigned int p;
         float f;
         return c.GetFormat7Configuration(&s, &p, &f);
       }},
      {"SetFormat7Configuration", &CameraFaults::setFormat7Configuration, write,
       [](Camera& c) {
         Format7ImageSettings s;
         s.width = 1280;
         s.height = 960;
         s.pixelFormat = PIXEL_FORMAT_RAW8;
         return c.SetFormat7Configuration(&s, 2048);
       }},
  };
}

TEST_F(SimFaultsTest, EveryFeatureReadAndWriteCanBeMadeToFail) {
  for (const FaultCase& c : EveryFeatureOperation()) {
    SCOPED_TRACE(c.operation);
    EXPECT_TRUE(Ok(c.call(_camera)));
    CameraFaults faults;
    faults.*c.mask = kEveryCall;
    vq::sim::SetFaults(kColor, faults);
    uint64_t calls = vq::sim::CallCount(kColor, c.operation);
    Error error = c.call(_camera);
    EXPECT_EQ(error.GetType(), c.type);
    EXPECT_EQ(std::string(error.GetDescription()).rfind(std::string("Simulated fault: ") + c.operation, 0), 0u)
        << error.GetDescription();
    EXPECT_EQ(vq::sim::CallCount(kColor, c.operation), calls + 1) << "a failed call is counted";
    vq::sim::SetFaults(kColor, {});
    EXPECT_TRUE(Ok(c.call(_camera)));
  }
}

TEST_F(SimFaultsTest, FaultsCanNameThePropertyPinOrModeTheyHit) {
  vq::sim::SetFaults(kColor, {.getProperty = CallsFor(GAIN) | CallsFor(HUE),
                              .getStrobe = CallsFor(1),
                              .getVideoModeInfo = CallsFor(VIDEOMODE_640x480Y8),
                              .getFormat7Info = CallsFor(0)});
  Error error = GetProperty(GAIN);
  EXPECT_EQ(error.GetType(), PGRERROR_READ_REGISTER_FAILED);
  EXPECT_STREQ(error.GetDescription(), "Simulated fault: GetProperty (Gain) failed.");
  EXPECT_NE(GetProperty(HUE), PGRERROR_OK);
  EXPECT_TRUE(Ok(GetProperty(BRIGHTNESS)));

  StrobeControl strobe;
  EXPECT_TRUE(Ok(_camera.GetStrobe(&strobe)));
  strobe.source = 1;
  EXPECT_STREQ(_camera.GetStrobe(&strobe).GetDescription(), "Simulated fault: GetStrobe (pin 1) failed.");

  bool supported;
  EXPECT_STREQ(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480Y8, FRAMERATE_30, &supported).GetDescription(),
               "Simulated fault: GetVideoModeAndFrameRateInfo (640x480Y8) failed.");
  EXPECT_TRUE(Ok(_camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480RGB, FRAMERATE_15, &supported)));
  Format7Info info;
  EXPECT_STREQ(_camera.GetFormat7Info(&info, &supported).GetDescription(),
               "Simulated fault: GetFormat7Info (mode 0) failed.");
  info.mode = static_cast<Mode>(1);
  EXPECT_TRUE(Ok(_camera.GetFormat7Info(&info, &supported)));
}

TEST_F(SimFaultsTest, AFailedWriteChangesNothingAndIsNotRecorded) {
  vq::sim::SetFaults(kColor, {.setProperty = kEveryCall, .setTriggerMode = kEveryCall});
  Property gain;
  gain.type = GAIN;
  gain.valueA = 100;
  EXPECT_STREQ(_camera.SetProperty(&gain).GetDescription(), "Simulated fault: SetProperty (Gain) failed.");
  EXPECT_EQ(vq::sim::GetPropertyState(kColor, GAIN).valueA, 0u);
  EXPECT_FALSE(vq::sim::LastPropertyWrite(kColor, GAIN).has_value());
  TriggerMode trigger;
  trigger.onOff = true;
  EXPECT_STREQ(_camera.SetTriggerMode(&trigger).GetDescription(), "Simulated fault: SetTriggerMode failed.");
  EXPECT_FALSE(vq::sim::GetTriggerState(kColor).onOff);
}

TEST_F(SimFaultsTest, FleetFileNamesFaultsByPropertyPinAndMode) {
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "F", "serial": 9, "color": true,
      "faults": {"getProperty": ["Gain", 0], "setStrobe": [1], "getTriggerMode": true, "setVideoMode": ["640x480Y8"],
                 "getFormat7Info": [0], "setGPIODirection": false}}]})");
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, 9)));
  Property property;
  property.type = BRIGHTNESS;
  EXPECT_NE(camera.GetProperty(&property), PGRERROR_OK);
  property.type = GAIN;
  EXPECT_NE(camera.GetProperty(&property), PGRERROR_OK);
  property.type = SHUTTER;
  EXPECT_TRUE(Ok(camera.GetProperty(&property)));
  StrobeControl strobe;
  EXPECT_TRUE(Ok(camera.SetStrobe(&strobe)));
  strobe.source = 1;
  EXPECT_EQ(camera.SetStrobe(&strobe).GetType(), PGRERROR_WRITE_REGISTER_FAILED);
  TriggerMode trigger;
  EXPECT_EQ(camera.GetTriggerMode(&trigger).GetType(), PGRERROR_READ_REGISTER_FAILED);
  EXPECT_NE(camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_30), PGRERROR_OK);
  EXPECT_TRUE(Ok(camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480RGB, FRAMERATE_15)));
  EXPECT_TRUE(Ok(camera.SetGPIOPinDirection(2, 1)));
}

// ---- call counters --------------------------------------------------------------------

TEST_F(SimFaultsTest, EveryOperationThatReachesTheCameraIsCountedByItsName) {
  EXPECT_EQ(vq::sim::CallCount(kColor, "Connect"), 1u);
  EXPECT_EQ(vq::sim::CallCount(kColor, "SetVideoModeAndFrameRate"), 0u);
  ASSERT_TRUE(Ok(_camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_15)));
  EXPECT_NE(_camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_60), PGRERROR_OK);
  EXPECT_EQ(vq::sim::CallCount(kColor, "SetVideoModeAndFrameRate"), 2u) << "refused calls count too";
  EXPECT_EQ(vq::sim::CallCount(kColor, "SetFormat7Configuration"), 0u);

  EXPECT_NE(_camera.GetProperty(nullptr), PGRERROR_OK);
  EXPECT_EQ(vq::sim::CallCount(kColor, "GetProperty"), 0u) << "the SDK refused it before the camera saw it";
  EXPECT_EQ(vq::sim::CallCount(kMono, "Connect"), 0u) << "counters are per camera";

  vq::sim::ResetCallCounts(kColor);
  EXPECT_EQ(vq::sim::CallCount(kColor, "SetVideoModeAndFrameRate"), 0u);
  ASSERT_TRUE(Ok(_camera.Disconnect()));
  EXPECT_EQ(vq::sim::CallCount(kColor, "StopCapture"), 1u);
  EXPECT_THROW(vq::sim::CallCount(kColor, "SetVideoMode"), std::invalid_argument);
}

TEST(SimOperation, NamesAndOperationsCorrespond) {
  for (size_t i = 0; i < vq::sim::kOperationCount; ++i) {
    auto operation = static_cast<vq::sim::SimOperation>(i);
    vq::sim::SimOperation found;
    ASSERT_TRUE(vq::sim::OperationFromName(vq::sim::OperationName(operation), &found)) << i;
    EXPECT_EQ(found, operation) << vq::sim::OperationName(operation);
  }
  EXPECT_STREQ(vq::sim::OperationName(vq::sim::SimOperation::GetGPIOPinDirection), "GetGPIOPinDirection");
}

}  // namespace
}  // namespace simtest
