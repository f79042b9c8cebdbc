// The host's view of a camera, the same on every SDK backend: the simulated
// bus, Aravis's in-process fake camera (the Fake interface) and Aravis's
// GigE Vision fake on 127.0.0.1, opened by address. Each case runs in its
// own process, so each chooses its backend afresh. Cases that need the GigE
// fake's registers (patterns, triggers, unplugging) run on it alone.
#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "tests/module/ModuleFixture.h"
#ifdef VQ_HAVE_ARAVIS
#include "tests/module/GigEFake.h"
#endif

namespace {

using moduletest::ModuleTest;
using moduletest::WaitFor;

enum class Bus { Sim, AravisFake, AravisGigE };

void PrintTo(Bus bus, std::ostream* out) {
  *out << (bus == Bus::Sim ? "simulated bus" : bus == Bus::AravisFake ? "Aravis Fake interface" : "Aravis GigE fake");
}

std::string BusName(const ::testing::TestParamInfo<Bus>& info) {
  switch (info.param) {
    case Bus::Sim: return "Sim";
    case Bus::AravisFake: return "AravisFake";
    case Bus::AravisGigE: return "AravisGigE";
  }
  return "Unknown";
}

// A GenICam serial number that is not a number becomes a stable 32-bit one
// (FNV-1a), computed here on its own.
unsigned int HashedSerial(const std::string& serial) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : serial) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

std::atomic<int> completions{0};
void OnComplete(int, int) { completions.fetch_add(1); }

constexpr int kPort = 1;

class BackendTest : public ModuleTest, public ::testing::WithParamInterface<Bus> {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (IsSkipped()) return;
    completions = 0;
    Environment().Unset("VORQUELL_ARAVIS_DEVICES");
    switch (GetParam()) {
      case Bus::Sim:
        Environment().Unset("VORQUELL_SDK_BACKEND");
        UseFleet(R"({"cameras": [{"model": "Mono", "serial": 5678, "color": false}]})");
        break;
      case Bus::AravisFake:
        Environment().Set("VORQUELL_SDK_BACKEND", "aravis");
        Environment().Set("VORQUELL_ARAVIS_INTERFACES", "Fake");
        break;
      case Bus::AravisGigE:
#ifdef VQ_HAVE_ARAVIS
        // No interface is searched: the camera is asked for by address only.
        Environment().Set("VORQUELL_SDK_BACKEND", "aravis");
        Environment().Set("VORQUELL_ARAVIS_INTERFACES", "");
        Environment().Set("VORQUELL_ARAVIS_DEVICES", moduletest::GigEFake::kAddress);
        _fake = std::make_unique<moduletest::GigEFake>();
        ASSERT_TRUE(WaitFor([&] { return _fake->Running(); }));
#endif
        break;
    }
#ifndef VQ_HAVE_ARAVIS
    if (GetParam() != Bus::Sim) GTEST_SKIP() << "built without Aravis";
#endif
  }
  void TearDown() override {
    if (_module) {
      M().closeCVLPort(0, kPort);
      M().finalize();
    }
    ModuleTest::TearDown();
#ifdef VQ_HAVE_ARAVIS
    _fake.reset();
#endif
  }

  std::string ExpectedName() const {
    switch (GetParam()) {
      case Bus::Sim: return "Mono (5678)";
      case Bus::AravisFake: return "Fake (1)";
      case Bus::AravisGigE: return "Fake (" + std::to_string(HashedSerial("GV01")) + ")";
    }
    return "";
  }
  bool OnGigE() const { return GetParam() == Bus::AravisGigE; }

  Module& Initialize() {
    Module& m = Load();
    EXPECT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
    return m;
  }
  // Opens the first camera; returns its image size.
  std::pair<int, int> Open() {
    int size[2] = {0, 0};
    EXPECT_EQ(1, M().openCVLPort(0, kPort, ExpectedName().c_str(), size)) << LastMessages();
    EXPECT_EQ(1, M().setCompleteCallback(0, kPort, OnComplete));
    return {size[0], size[1]};
  }
  // The first error the driver logged and the last lines, for a failure's message.
  std::string LastMessages() const {
    auto messages = Messages();
    std::string text;
    for (const std::string& message : messages)
      if (message.find("ERROR") != std::string::npos) {
        text += "first error: " + message + "...\n";
        break;
      }
    for (size_t i = messages.size() > 12 ? messages.size() - 12 : 0; i < messages.size(); ++i) text += messages[i];
    return text;
  }

#ifdef VQ_HAVE_ARAVIS
  // The GigE fake's region of the settings file below (RGB8, position
  // pattern): its registers, and every pixel of a few rows the host reads.
  static constexpr const char* kRegionSettings = "offsetX=16\noffsetY=8\nwidth=320\nheight=240\n";
  void UseRegionOfTheSettingsFile() {
    std::ofstream(_dir / "VorquellCamera.ini") << "[" << ExpectedName() << "]\n" << kRegionSettings;
    if (!OnGigE()) return;
    ASSERT_TRUE(_fake->Configure({{ "PixelFormat", "RGB8" }}));
    _fake->UsePositionPattern();
  }
  void ExpectTheRegionOnCameraAndRows() {
    EXPECT_EQ(16u, _fake->Register(ARV_FAKE_CAMERA_REGISTER_X_OFFSET));
    EXPECT_EQ(8u, _fake->Register(ARV_FAKE_CAMERA_REGISTER_Y_OFFSET));
    EXPECT_EQ(320u, _fake->Register(ARV_FAKE_CAMERA_REGISTER_WIDTH));
    const int width = 320, height = 240;
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    for (int y : {0, 1, 117, height - 1}) {
      ASSERT_EQ(1, M().getCVLGrabRow(0, kPort, row.data(), y, 0, width - 1));
      for (int x = 0; x < width; ++x) {
        const unsigned sx = static_cast<unsigned>(x) + 16, sy = static_cast<unsigned>(y) + 8;
        const unsigned char expected[3] = {moduletest::GigEFake::Blue(sx, sy), moduletest::GigEFake::Green(sx, sy),
                                           moduletest::GigEFake::Red(sx, sy)};
        const unsigned char* got = &row[static_cast<size_t>(x) * 3];
        ASSERT_EQ(0, std::memcmp(expected, got, 3))
            << "row " << y << ", pixel " << x << ": " << int(got[0]) << " " << int(got[1]) << " " << int(got[2])
            << " instead of " << int(expected[0]) << " " << int(expected[1]) << " " << int(expected[2]);
      }
    }
  }

  std::unique_ptr<moduletest::GigEFake> _fake;
#endif
};

TEST_P(BackendTest, ListsTheCameraAsModelAndSerialNumber) {
  Module& m = Initialize();
  ASSERT_EQ(1, m.getCVLNoOfSupportedCameras()) << LastMessages();
  const char** names = m.getCVLCameraConfigNames();
  ASSERT_NE(nullptr, names);
  EXPECT_EQ(ExpectedName(), names[0]);
  EXPECT_EQ(nullptr, names[1]);
}

TEST_P(BackendTest, AMistypedAravisInterfaceLeavesTheBusEmptyAndSaysWhy) {
  if (GetParam() != Bus::AravisFake) GTEST_SKIP() << "a setting of the Aravis backend";
  Environment().Set("VORQUELL_ARAVIS_INTERFACES", "Fake,USB3");
  Module& m = Initialize();
  EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
  EXPECT_NE(-1, Find("CameraList::Init: ERROR: failed to get number of cameras: ")) << LastMessages();
  auto messages = Messages();
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const std::string& line) {
    return line.find(
               "VORQUELL_ARAVIS_INTERFACES: unknown Aravis interface 'USB3' (known: USB3Vision, GigEVision, "
               "Fake).") != std::string::npos;
  })) << LastMessages();
}

TEST_P(BackendTest, GrabsASingleFrameThenContinuously) {
  Initialize();
  auto [width, height] = Open();
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  if (GetParam() != Bus::Sim) {
    EXPECT_EQ(512, width);
    EXPECT_EQ(512, height);
  }
  int pixelSize = 0;
  ASSERT_EQ(1, M().getProperty(0, kPort, "PixelSize", &pixelSize));
  std::vector<unsigned char> row(static_cast<size_t>(width) * pixelSize / 8);

  ASSERT_EQ(1, M().doCVLGrab(0, kPort));
  ASSERT_TRUE(WaitFor([] { return completions >= 1; })) << LastMessages();
  EXPECT_EQ(1, M().getCVLGrabRow(0, kPort, row.data(), height - 1, 0, width - 1));

  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(WaitFor([] { return completions >= 6; }, std::chrono::seconds(60))) << LastMessages();
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 0));
  EXPECT_EQ(-1, Find("Camera::RetrieveImage: ERROR")) << LastMessages();
}

// Every grab gives one frame, one after the other, and none more: the close
// returns once the grab thread has ended.
TEST_P(BackendTest, EachGrabGivesOneFrame) {
  Initialize();
  Open();
  for (int grab = 1; grab <= 3; ++grab) {
    ASSERT_EQ(1, M().doCVLGrab(0, kPort));
    ASSERT_TRUE(WaitFor([&] { return completions >= grab; })) << "grab " << grab << "\n" << LastMessages();
  }
  ASSERT_EQ(1, M().doCVLGrab(0, kPort));
  ASSERT_EQ(1, M().doCVLGrab(0, kPort));
  ASSERT_TRUE(WaitFor([] { return completions >= 5; })) << LastMessages();
  M().closeCVLPort(0, kPort);
  EXPECT_EQ(5, completions);
}

// Frame numbers count up and times move on from one frame to the next; on
// the GigE fake the time is the camera's own.
TEST_P(BackendTest, EachFrameHasANumberAndATime) {
  Initialize();
  Open();
  uint64_t lastTime = 0;
  int lastNumber = 0;
  for (int grab = 1; grab <= 2; ++grab) {
    ASSERT_EQ(1, M().doCVLGrab(0, kPort));
    ASSERT_TRUE(WaitFor([&] { return completions >= grab; })) << LastMessages();
    int number = 0, low = 0, high = 0;
    ASSERT_EQ(1, M().getProperty(0, kPort, "FrameNumber", &number));
    ASSERT_EQ(1, M().getProperty(0, kPort, "FrameTimestampLow", &low));
    ASSERT_EQ(1, M().getProperty(0, kPort, "FrameTimestampHigh", &high));
    const uint64_t time = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low);
    EXPECT_GT(number, lastNumber);
    EXPECT_GT(time, lastTime);
    lastNumber = number;
    lastTime = time;
  }
  int dropped = -1;
  ASSERT_EQ(1, M().getProperty(0, kPort, "FramesDropped", &dropped));
  EXPECT_EQ(0, dropped);
}

TEST_P(BackendTest, PropertiesArePresentOrAbsentAsTheCameraHasThem) {
  Initialize();
  Open();
  // Gain: the simulator's 0 to 480; on the fakes GainRaw, 0 to 10.
  const int gainMax = GetParam() == Bus::Sim ? 480 : 10;
  int low = -1, high = -1;
  ASSERT_EQ(1, M().getPropertyRange(0, kPort, "Gain", &low, &high)) << LastMessages();
  EXPECT_EQ(0, low);
  EXPECT_EQ(gainMax, high);
  ASSERT_EQ(1, M().setProperty(0, kPort, "Gain", 7));
  int gain = -1;
  ASSERT_EQ(1, M().getProperty(0, kPort, "Gain", &gain));
  EXPECT_EQ(7, gain);
#ifdef VQ_HAVE_ARAVIS
  if (OnGigE()) {
    EXPECT_EQ(7u, _fake->Register(ARV_FAKE_CAMERA_REGISTER_GAIN_RAW)) << "the value reached the camera";
  }
#endif
  // A monochrome camera has no hue; the fakes have no GenICam Hue feature.
  EXPECT_EQ(0, M().getPropertyRange(0, kPort, "Hue", &low, &high));
  int hue = -1;
  EXPECT_EQ(0, M().getProperty(0, kPort, "Hue", &hue));
}

#ifdef VQ_HAVE_ARAVIS

TEST_P(BackendTest, Format7RegionReachesTheCameraAndEveryPixelTheHost) {
  if (GetParam() == Bus::Sim) GTEST_SKIP() << "the simulated Format7 modes have tests of their own";
  // The stored region is written to the camera when it is opened.
  UseRegionOfTheSettingsFile();
  Initialize();
  auto [width, height] = Open();
  ASSERT_EQ(320, width) << LastMessages();
  ASSERT_EQ(240, height);
  ASSERT_EQ(1, M().doCVLGrab(0, kPort));
  ASSERT_TRUE(WaitFor([] { return completions >= 1; })) << LastMessages();
  if (!OnGigE()) return;
  ExpectTheRegionOnCameraAndRows();
}

TEST_P(BackendTest, ATriggeredCameraDeliversOneFramePerSoftwareTrigger) {
  if (!OnGigE()) GTEST_SKIP() << "the in-process Fake interface ignores triggers";
  ASSERT_TRUE(
      _fake->Configure({{"TriggerSelector", "FrameStart"}, {"TriggerMode", "On"}, {"TriggerSource", "Software"}}));
  Initialize();
  Open();
  int on = -1, source = -1;
  ASSERT_EQ(1, M().getProperty(0, kPort, "TriggerOn", &on));
  ASSERT_EQ(1, M().getProperty(0, kPort, "TriggerSource", &source));
  EXPECT_EQ(1, on);
  EXPECT_EQ(4, source) << "the software trigger is the source without an input line";

  ASSERT_EQ(1, M().doCVLGrab(0, kPort));
  // A trigger before the acquisition has started is lost: trigger until the
  // frame comes.
  ASSERT_TRUE(WaitFor([&] {
    _fake->FireSoftwareTrigger();
    return WaitFor([] { return completions >= 1; }, std::chrono::milliseconds(200));
  })) << LastMessages();
  EXPECT_EQ(1, completions.load());
}

// In software-trigger mode each grab fires the trigger itself; the trigger
// set off by the host reaches the open camera at once.
TEST_P(BackendTest, EachGrabFiresTheSoftwareTriggerAndTriggerOffReachesTheCamera) {
  if (!OnGigE()) GTEST_SKIP() << "the in-process Fake interface ignores triggers";
  ASSERT_TRUE(
      _fake->Configure({{"TriggerSelector", "FrameStart"}, {"TriggerMode", "On"}, {"TriggerSource", "Software"}}));
  Initialize();
  Open();
  for (int grab = 1; grab <= 3; ++grab) {
    ASSERT_EQ(1, M().doCVLGrab(0, kPort));
    ASSERT_TRUE(WaitFor([&] { return completions >= grab; })) << "grab " << grab << "\n" << LastMessages();
  }
  ASSERT_EQ(1, M().setProperty(0, kPort, "TriggerOn", 0));
  EXPECT_TRUE(WaitFor([&] { return _fake->Register(ARV_FAKE_CAMERA_REGISTER_TRIGGER_MODE) == 0; })) << LastMessages();
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 1));
  EXPECT_TRUE(WaitFor([] { return completions >= 6; })) << "frames flow without a trigger\n" << LastMessages();
}

TEST_P(BackendTest, UnpluggingClosesTheCameraAndReplugRestoresCapture) {
  if (!OnGigE()) GTEST_SKIP() << "needs a camera that can leave";
  Initialize();
  Open();
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(WaitFor([] { return completions >= 3; })) << LastMessages();

  _fake->Stop();
  ASSERT_TRUE(WaitFor([&] { return Find("BUS EVENT CALLBACK - REMOVAL - invoked") != -1; })) << LastMessages();
  const int before = completions;
  _fake->Start();
  ASSERT_TRUE(WaitFor([&] { return Find("BUS EVENT CALLBACK - ARRIVAL - invoked") != -1; })) << LastMessages();
  EXPECT_TRUE(WaitFor([&] { return completions >= before + 3; }, std::chrono::seconds(40))) << LastMessages();
}

// A camera restarted while capturing comes back with its power-on settings;
// the reopen gives it back the region the host was told about.
TEST_P(BackendTest, ARestartedCameraGetsItsRegionBack) {
  if (!OnGigE()) GTEST_SKIP() << "needs a camera that can restart";
  // The camera's own values this time: no settings file names them.
  ASSERT_TRUE(_fake->Configure(
      {{"PixelFormat", "RGB8"}, {"Width", "320"}, {"Height", "240"}, {"OffsetX", "16"}, {"OffsetY", "8"}}));
  _fake->UsePositionPattern();
  Initialize();
  ASSERT_EQ(std::make_pair(320, 240), Open()) << LastMessages();
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 1));
  ASSERT_TRUE(WaitFor([] { return completions >= 2; })) << LastMessages();

  _fake->Stop();
  ASSERT_TRUE(WaitFor([&] { return Find("BUS EVENT CALLBACK - REMOVAL - invoked") != -1; })) << LastMessages();
  _fake->Start();
  ASSERT_EQ(512u, _fake->Register(ARV_FAKE_CAMERA_REGISTER_WIDTH)) << "the fake restarts with its power-on size";
  const int before = completions;
  ASSERT_TRUE(WaitFor([&] { return completions >= before + 2; }, std::chrono::seconds(40))) << LastMessages();
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 0));
  ExpectTheRegionOnCameraAndRows();
}

// A link that loses packets: the frames that come whole reach the host, the
// others are dropped and counted, and the camera is not reset.
TEST_P(BackendTest, ALossyLinkDeliversTheWholeFramesAndCountsTheOthers) {
  if (!OnGigE()) GTEST_SKIP() << "needs a link that can lose packets";
  Initialize();
  Open();
  g_object_set(_fake->Fake(), "gvsp-lost-ratio", 0.002, nullptr);
  ASSERT_EQ(1, M().setProperty(0, kPort, "continuous", 1));
  int incomplete = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        return M().getProperty(0, kPort, "FramesIncomplete", &incomplete) == 1 && incomplete >= 3 && completions >= 10;
      },
      std::chrono::seconds(60)))
      << incomplete << " incomplete, " << completions << " frames\n"
      << LastMessages();
  EXPECT_EQ(-1, Find("GrabThread::ThreadMain: ERROR: Retrieve image failure")) << LastMessages();
  EXPECT_EQ(-1, Find("Camera::RetrieveImage: ERROR")) << LastMessages();
}

#endif

INSTANTIATE_TEST_SUITE_P(Backends, BackendTest, ::testing::Values(Bus::Sim, Bus::AravisFake, Bus::AravisGigE), BusName);

// The settings file's [General] section names the backend for hosts that
// cannot set the environment; each variable that is set wins over its key.
struct FileChoice {
  const char* name;  // with "AravisFake" in it when it runs on Aravis
  const char* general;
  const char* backendVariable;     // VORQUELL_SDK_BACKEND, nullptr: unset
  const char* interfacesVariable;  // VORQUELL_ARAVIS_INTERFACES, nullptr: unset
  const char* camera;              // the camera listed, or nullptr for none
  const char* problem;             // with no camera: why, as the SDK says it
};

void PrintTo(const FileChoice& choice, std::ostream* out) { *out << choice.name; }

class SettingsFileBackend : public ModuleTest, public ::testing::WithParamInterface<FileChoice> {};

TEST_P(SettingsFileBackend, TheFileChoosesTheBackendUnlessTheEnvironmentDoes) {
  const FileChoice& c = GetParam();
#ifndef VQ_HAVE_ARAVIS
  if (std::string(c.name).find("Aravis") != std::string::npos) GTEST_SKIP() << "built without Aravis";
#endif
  Environment().Unset("VORQUELL_ARAVIS_DEVICES");
  auto set = [this](const char* variable, const char* value) {
    if (value)
      Environment().Set(variable, value);
    else
      Environment().Unset(variable);
  };
  set("VORQUELL_SDK_BACKEND", c.backendVariable);
  set("VORQUELL_ARAVIS_INTERFACES", c.interfacesVariable);
  UseFleet(R"({"cameras": [{"model": "Mono", "serial": 5678, "color": false}]})");
  std::ofstream(_dir / "VorquellCamera.ini") << "[General]\n" << c.general;
  Module& m = Load();
  ASSERT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
  if (c.camera) {
    ASSERT_EQ(1, m.getCVLNoOfSupportedCameras());
    EXPECT_STREQ(c.camera, m.getCVLCameraConfigNames()[0]);
  } else {
    EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
    EXPECT_TRUE(Logged(std::string("CameraList::Init: ERROR: failed to get number of cameras: ") + c.problem + "\n"))
        << (Messages().empty() ? "" : Messages().front());
  }
  m.finalize();
}

#ifdef VQ_HAVE_ARAVIS
#define VQ_KNOWN_BACKENDS "sim, aravis"
#else
#define VQ_KNOWN_BACKENDS "sim"
#endif

INSTANTIATE_TEST_SUITE_P(
    Choices, SettingsFileBackend,
    ::testing::Values(
        FileChoice{
            "UnknownNameInTheFile", "SdkBackend=nonsense\n", nullptr, nullptr, nullptr,
            "Unknown camera SDK backend 'nonsense' (SdkBackend in the settings file); known backends: " VQ_KNOWN_BACKENDS
            "."},
        FileChoice{"TheVariableOverridesTheFile", "SdkBackend=nonsense\n", "sim", nullptr, "Mono (5678)", nullptr},
        FileChoice{"UnknownNameInTheVariable", "SdkBackend=sim\n", "nonsense", nullptr, nullptr,
                   "Unknown camera SDK backend 'nonsense' (VORQUELL_SDK_BACKEND); known backends: " VQ_KNOWN_BACKENDS
                   "."},
        FileChoice{"AravisFakeChosenByTheFile", "SdkBackend=aravis\nAravisInterfaces=Fake\n", nullptr, nullptr,
                   "Fake (1)", nullptr},
        FileChoice{"AravisFakeMistypedInterfaceInTheFile", "sdkbackend = aravis\nAravisInterfaces=Fake,USB3\n", nullptr,
                   nullptr, nullptr,
                   "AravisInterfaces in the settings file: unknown Aravis interface 'USB3' (known: USB3Vision, "
                   "GigEVision, Fake)."},
        FileChoice{"AravisFakeInterfacesOfTheVariable", "SdkBackend=aravis\nAravisInterfaces=Fake,USB3\n", nullptr,
                   "Fake", "Fake (1)", nullptr}),
    [](const ::testing::TestParamInfo<FileChoice>& info) { return info.param.name; });

}  // namespace
