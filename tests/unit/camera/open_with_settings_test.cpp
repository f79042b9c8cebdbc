// The open sequence with the settings file and the camera's features, and
// the host property commands on an open camera.
#include <gtest/gtest.h>

#include <fstream>

#include "include/VorquellCamera.h"
#include "params/ParameterAccess.h"
#include "platform/PrivateProfile.h"
#include "tests/support/DriverFixture.h"

using namespace vq;

using vqtest::DriverFixture;

namespace {

class OpenWithSettings : public DriverFixture {
 protected:
  void SetUp() override {
    GetDriverContext()->SetSystemPath(_dir.Path());
    DriverFixture::SetUp();
  }
  void TearDown() override {
    DriverFixture::TearDown();
    GetDriverContext()->SetSystemPath("");
  }
  void WriteSettings(const std::string& text) { std::ofstream(_dir.Path() + "/VorquellCamera.ini") << text; }
  vqtest::TempDir _dir;
};

}  // namespace

TEST_F(OpenWithSettings, StoredValuesReachTheCameraAtOpen) {
  WriteSettings("[General]\nLogLevel=3\n\n[Colour (1111)]\nBrightness=77\nContinuous=0\n");
  ASSERT_TRUE(Open(Colour(), 0));
  EXPECT_EQ(77u, vq::sim::GetPropertyState(vqtest::kColourSerial, FlyCapture2::BRIGHTNESS).valueA);
  int brightness = 0;
  EXPECT_TRUE(Colour().GetProperty("Brightness", &brightness));
  EXPECT_EQ(77, brightness);
}

TEST_F(OpenWithSettings, TheGeneralSectionIsClampedAndAppliedToTheLog) {
  WriteSettings("[General]\nLogLevel=9\n");
  ASSERT_TRUE(Open(Mono(), 0));
  EXPECT_EQ(4, GetDriverContext()->logLevel);
  EXPECT_EQ(2, GetDriverContext()->debugView);
}

TEST_F(OpenWithSettings, TheImageSizeFollowsTheVideoModeParameter) {
  // 640x480Y8 is mode 5; the colour camera starts in 640x480YUV422.
  WriteSettings("[General]\nLogLevel=3\n[Colour (1111)]\nDCAMVideoMode=5\nDCAMFrameRate=4\n");
  int32_t size[2];
  ASSERT_TRUE(Colour().Open(0, size));
  EXPECT_EQ(FlyCapture2::VIDEOMODE_640x480Y8, vq::sim::CurrentVideoMode(vqtest::kColourSerial));
  EXPECT_EQ(640, size[0]);
}

TEST_F(OpenWithSettings, AFailingFeatureWriteFailsTheOpen) {
  vq::sim::CameraFaults faults;
  faults.setVideoMode = vq::sim::kEveryCall;
  vq::sim::SetFaults(vqtest::kMonoSerial, faults);
  EXPECT_FALSE(Open(Mono(), 1));
  EXPECT_TRUE(Log().ContainsPrefix("CameraList::Open: ERROR: failed to setup camera, port#1 ser#2222 state:"));
  EXPECT_EQ(0, vq::sim::Connections(vqtest::kMonoSerial));
}

TEST_F(OpenWithSettings, HostCommandsReadAndWriteParameters) {
  ASSERT_TRUE(Open(Colour(), 2));
  int value = 0, low = -1, high = -1;

  ASSERT_EQ(1, setProperty(0, 2, "Exposure", 300));
  EXPECT_EQ(300u, vq::sim::GetPropertyState(vqtest::kColourSerial, FlyCapture2::AUTO_EXPOSURE).valueA);
  ASSERT_EQ(1, getProperty(0, 2, "AutoExposure", &value));
  EXPECT_EQ(300, value);
  EXPECT_EQ(0, getProperty(0, 2, "exposure", &value)) << "the alias is case-sensitive";

  ASSERT_EQ(1, getPropertyRange(0, 2, "LogLevel", &low, &high));
  EXPECT_EQ(0, low);
  EXPECT_EQ(4, high);
  ASSERT_EQ(1, getPropertyRange(0, 2, "Continuous", &low, &high));
  EXPECT_EQ(0, low);
  EXPECT_EQ(1, high);

  // "LOGLEVEL" is a command word: the live level changes, not the parameter.
  ASSERT_EQ(1, setProperty(0, 2, "LOGLEVEL", 4));
  EXPECT_EQ(4, GetDriverContext()->logLevel);
  ASSERT_EQ(1, getProperty(0, 2, "LogLevel", &value));
  EXPECT_EQ(3, value);

  EXPECT_EQ(0, setProperty(0, 2, "NoSuchThing", 1));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::SetProperty(NoSuchThing)"));

  // An enumeration's range is its smallest and largest option value.
  ASSERT_EQ(1, getPropertyRange(0, 2, "DCAMVideoMode", &low, &high));
  EXPECT_LE(low, high);
  EXPECT_EQ(23, high) << "FORMAT7 is always offered";

  ASSERT_EQ(1, setProperty(0, 2, "Reset", 1));
  EXPECT_TRUE(WaitForLine("CameraState::AddRequest: request Close/Open added, camera ser# 1111\n"));
  // The reset of a camera in GrabErr queues a capture start behind the
  // reopen, so the camera may pass through Opened into Capture at once.
  EXPECT_TRUE(
      vqtest::WaitFor([&] { return Colour().State().IsState(CamOpened) || Colour().State().IsState(CamCapture); }));
  EXPECT_TRUE(WaitForLine("Camera::DoOpen: leaving, port#2 ser#1111 state:'Opened '\n"));
}

TEST_F(OpenWithSettings, CommandsWorkOnAClosedCameraAndParametersDoNot) {
  ASSERT_TRUE(Open(Mono(), 1));
  Mono().Close();
  int value = 0;
  ASSERT_EQ(1, getProperty(0, 1, "PixelSize", &value));
  EXPECT_EQ(8, value);
  EXPECT_EQ(0, setProperty(0, 1, "Brightness", 5));
  EXPECT_TRUE(Log().Contains(
      "Camera::SetProperty(Brightness): ERROR: ignored, camera not in open state:port#1 ser#2222 state:'Closed '\n"));
  EXPECT_EQ(0, getProperty(0, 1, "Brightness", &value));
  EXPECT_TRUE(Log().Contains(
      "Camera::GetProperty(Brightness): ERROR: ignored, camera not in init state, port#1 ser#2222 state:'Closed '\n"));
  ASSERT_EQ(1, setProperty(0, 1, "PrintStat", 0));
  EXPECT_TRUE(Log().ContainsPrefix("Camera STATS: GrabCnt:0 OvrwCnt:0 (N/mean/max)-> Grab:0/0.00/-99999999.00"));
  ASSERT_EQ(1, setProperty(0, 1, "resetallstats", 0));
  EXPECT_TRUE(Log().Contains("RESETTING ALL camera stats\n"));
  ASSERT_EQ(1, setProperty(0, 1, "PrintAllStats", 0));
  EXPECT_TRUE(Log().Contains(">>>ALL STATS for 2 cameras:\n"));
}

TEST_F(OpenWithSettings, GuardedConversionsRefuseValuesBeyond32Bits) {
  ASSERT_TRUE(Open(Mono(), 1));
  {
    std::lock_guard<std::mutex> lock(Mono().Settings().Lock());
    ParameterAccess::SetParameter<unsigned>(Mono().Settings().Parameters(), "Big", 3000000000u, 0u, 4000000000u);
    ParameterAccess::SetParameter<float>(Mono().Settings().Parameters(), "Ratio", -2.9f, -5.0f, 5.0f);
  }
  int value = 7;
  EXPECT_EQ(0, getProperty(0, 1, "Big", &value));
  EXPECT_TRUE(Log().Contains("Camera::GetProperty: Exception: prop=Big value=7, port#1 ser#2222 state:'Opened ' \n"));
  ASSERT_EQ(1, getProperty(0, 1, "Ratio", &value));
  EXPECT_EQ(-2, value);
  int low = 0, high = 0;
  EXPECT_EQ(1, getPropertyRange(0, 1, "Big", &low, &high)) << "unsigned bounds are reinterpreted, not guarded";
  EXPECT_EQ(static_cast<int>(4000000000u), high);
}

namespace {

// Video mode, trigger and a property set by the host, with and without a
// settings file that holds older values for them.
class HostSettingsAtReopen : public OpenWithSettings, public ::testing::WithParamInterface<const char*> {};

int Property(int port, const char* name) {
  int value = -1;
  EXPECT_EQ(1, getProperty(0, port, name, &value)) << name;
  return value;
}

}  // namespace

TEST_P(HostSettingsAtReopen, ReachTheCameraAndSurviveTheSettingsFile) {
  WriteSettings(GetParam());
  ASSERT_TRUE(Open(Colour(), 0));
  ASSERT_EQ(1, setProperty(0, 0, "DCAMFrameRate", 3));  // 15 fps, which 640x480Y8 does not offer
  ASSERT_EQ(1, setProperty(0, 0, "DCAMVideoMode", 5));  // 640x480Y8
  ASSERT_EQ(1, setProperty(0, 0, "TriggerOn", 1));
  ASSERT_EQ(1, setProperty(0, 0, "Brightness", 66));
  EXPECT_EQ(4, Property(0, "DCAMFrameRate")) << "the only rate of 640x480Y8";

  for (int reopen = 0; reopen < 2; ++reopen) {
    Colour().Close();
    int32_t size[2];
    ASSERT_TRUE(Colour().Open(0, size));
    EXPECT_EQ(5, Property(0, "DCAMVideoMode"));
    EXPECT_EQ(4, Property(0, "DCAMFrameRate"));
    EXPECT_EQ(1, Property(0, "TriggerOn"));
    EXPECT_EQ(66, Property(0, "Brightness"));
    EXPECT_EQ(FlyCapture2::VIDEOMODE_640x480Y8, vq::sim::CurrentVideoMode(vqtest::kColourSerial));
    EXPECT_EQ(FlyCapture2::FRAMERATE_30, vq::sim::CurrentFrameRate(vqtest::kColourSerial));
    EXPECT_TRUE(vq::sim::GetTriggerState(vqtest::kColourSerial).onOff);
    EXPECT_EQ(66u, vq::sim::GetPropertyState(vqtest::kColourSerial, FlyCapture2::BRIGHTNESS).valueA);
    EXPECT_EQ(640, size[0]);

    // The dialog's copy starts from the file and saves what it shows.
    std::lock_guard<std::mutex> lock(Colour().Settings().Lock());
    CameraParameters copy = Colour().Settings().Parameters();
    copy.Load();
    EXPECT_EQ("5", std::string(copy.GetParam("DCAMVideoMode").ToString()));
    EXPECT_EQ("1", std::string(copy.GetParam("TriggerOn").ToString()));
    if (reopen == 1) {
      ASSERT_TRUE(copy.Save());
      char value[256];
      vq::GetPrivateProfileString("Colour (1111)", "DCAMVideoMode", "", value, sizeof value,
                                  (_dir.Path() + "/VorquellCamera.ini").c_str());
      EXPECT_STREQ("5", value);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutStoredValues, HostSettingsAtReopen,
                         ::testing::Values("",
                                           "[Colour (1111)]\nDCAMVideoMode=3\nDCAMFrameRate=3\nTriggerOn=0\n"
                                           "Brightness=12\n"));

TEST_F(OpenWithSettings, AHostValueTheCameraRefusesDoesNotLockTheCameraOut) {
  ASSERT_TRUE(Open(Colour(), 0));
  ASSERT_EQ(1, setProperty(0, 0, "DCAMVideoMode", 5));
  vq::sim::CameraFaults faults;
  faults.setVideoMode = vq::sim::CallsFor(FlyCapture2::VIDEOMODE_640x480Y8);
  vq::sim::SetFaults(vqtest::kColourSerial, faults);
  Colour().Close();

  EXPECT_FALSE(Open(Colour(), 0));
  EXPECT_TRUE(
      WaitForLine("Camera::LoadSettgins: WARNING: values set by the host dropped, port#0 ser#1111 state:'Closed '\n"));
  // The bus thread reopens the camera as it was before the host's change.
  ASSERT_TRUE(WaitForState(Colour(), CamOpened));
  EXPECT_EQ(FlyCapture2::VIDEOMODE_640x480YUV422, vq::sim::CurrentVideoMode(vqtest::kColourSerial));
  int value = -1;
  ASSERT_EQ(1, getProperty(0, 0, "DCAMVideoMode", &value));
  EXPECT_EQ(3, value);
}
