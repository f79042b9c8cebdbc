#include <dlfcn.h>

#include <cstdio>
#include <regex>

#include "tests/module/ModuleFixture.h"

using moduletest::ModuleTest;

namespace {

const char* kTwoCameras = R"({"cameras": [
  {"model": "M1", "serial": 1234, "color": true},
  {"model": "Mono", "serial": 5678, "color": false}
]})";

}  // namespace

TEST_F(ModuleTest, ExportsExactlyTheEighteenEntryPoints) {
  // nm -D --defined-only lists our dynamic symbols; nothing but the 18 may be ours.
  std::string command = std::string("nm -D --defined-only ") + VQ_MODULE_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  std::vector<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    auto space = text.rfind(' ');
    std::string name = text.substr(space + 1, text.size() - space - 2);
    char kind = text[space - 1];
    if (kind == 'T' || kind == 'D' || kind == 'B' || kind == 'W' || kind == 'V' || kind == 'R') names.push_back(name);
  }
  pclose(pipe);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"closeCVLPort",
                                       "configureCamera",
                                       "doCVLGrab",
                                       "finalize",
                                       "getCVLCameraConfigNames",
                                       "getCVLGrabRow",
                                       "getCVLMaxNoOfGrabbers",
                                       "getCVLMaxNoOfPorts",
                                       "getCVLNoOfSupportedCameras",
                                       "getProperty",
                                       "getPropertyRange",
                                       "initialize",
                                       "openCVLPort",
                                       "setCompleteCallback",
                                       "setDebugMsgProc",
                                       "setHWTrigger",
                                       "setProperty",
                                       "setSystemPath"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, names);
}

TEST_F(ModuleTest, FixedAnswers) {
  Module& m = Load();
  EXPECT_EQ(1, m.getCVLMaxNoOfGrabbers());
  EXPECT_EQ(20, m.getCVLMaxNoOfPorts());
  EXPECT_EQ(1, m.setHWTrigger());
  // Before initialize the list is empty.
  EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
  const char** names = m.getCVLCameraConfigNames();
  ASSERT_NE(nullptr, names);
  EXPECT_EQ(nullptr, names[0]);
}

TEST_F(ModuleTest, InitializeReportsTheVersionAndCountsReferences) {
  UseFleet(kTwoCameras);
  Module& m = Load();
  ASSERT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
  std::regex banner(
      R"(initialize: Vorquell camera driver V1,1,0,19, refcount=1, \d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2}\n)");
  auto messages = Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_TRUE(std::regex_match(messages.back(), banner)) << messages.back();

  ASSERT_EQ(1, m.initialize(nullptr, moduletest::HostLog));
  EXPECT_NE(-1, Find("initialize: Vorquell camera driver V1,1,0,19, refcount=2, "));
  EXPECT_EQ(2, m.getCVLNoOfSupportedCameras());

  // The finalize lines are level 2: make them visible.
  m.setDebugMsgProc(moduletest::HostLog);
  ASSERT_EQ(1, m.finalize());
  EXPECT_EQ(2, m.getCVLNoOfSupportedCameras()) << "the cameras stay until the last finalize";
  ASSERT_EQ(1, m.finalize());
  EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
}

TEST_F(ModuleTest, RefcountLinesAtLevelTwo) {
  UseFleet(kTwoCameras);
  Environment().Set("VORQUELL_LOG_LEVEL", "2");
  Module& m = Load();
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  m.finalize();
  m.finalize();
  Environment().Unset("VORQUELL_LOG_LEVEL");
  EXPECT_TRUE(Logged("===============initialize: \n"));
  EXPECT_TRUE(Logged("finalize: entering, refcount=2\n"));
  EXPECT_TRUE(Logged("finalize: leaving, refcount=1\n"));
  EXPECT_TRUE(Logged("finalize: entering, refcount=1\n"));
  EXPECT_TRUE(Logged("finalize: leaving, refcount=0\n"));
  int first = Find("finalize: leaving, refcount=1");
  int destroyed = Find("CameraList::Destroy: entering");
  EXPECT_GT(destroyed, first) << "the list is destroyed by the second finalize only";
  EXPECT_TRUE(Logged("CameraList::Init: color camera found: M1 (1234)\n"));
  EXPECT_TRUE(Logged("CameraList::Init: b/w camera found: Mono (5678)\n"));
}

TEST_F(ModuleTest, NamesTheCamerasByModelAndSerialNumber) {
  UseFleet(kTwoCameras);
  Module& m = Load();
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  const char** names = m.getCVLCameraConfigNames();
  ASSERT_NE(nullptr, names);
  EXPECT_STREQ("M1 (1234)", names[0]);
  EXPECT_STREQ("Mono (5678)", names[1]);
  EXPECT_EQ(nullptr, names[2]);
  m.finalize();
}

TEST_F(ModuleTest, UndefinedCameraNamesAreRefusedWhateverTheirCase) {
  UseFleet(kTwoCameras);
  Module& m = Load();
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  int size[2] = {7, 7};
  for (const char* name : {"UNDEFINED", "undefined", "uDeFiNeRt", ""}) {
    EXPECT_EQ(0, m.openCVLPort(0, 1, name, size));
    EXPECT_EQ(0, size[0]);
    EXPECT_EQ(0, size[1]);
    EXPECT_TRUE(
        Logged(std::string("openCVLPort: ERROR: undefined camera, grabberNo=0, portNo=1, cameraName=") + name + "\n"));
  }
  EXPECT_EQ(0, m.openCVLPort(0, 1, nullptr, size));
  EXPECT_EQ(0, m.openCVLPort(0, 1, "Undefined 2", size));
  EXPECT_TRUE(Logged("openCVLPort: ERROR: cannot find camera by name:Undefined 2\n"));
  EXPECT_EQ(0, m.openCVLPort(0, 1, "m1 (1234)", size));
  EXPECT_TRUE(Logged("openCVLPort: ERROR: cannot find camera by name:m1 (1234)\n"));
  m.finalize();
}

TEST_F(ModuleTest, EveryPortCallOnANeverOpenedPortFailsWithTwoLines) {
  UseFleet(kTwoCameras);
  Module& m = Load();
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  const std::string lookup = "CameraList::GetByPort: ERROR: could not find camera on port 5\n";
  auto expectFailure = [&](const std::string& exceptionText) {
    auto messages = Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(lookup, messages[messages.size() - 2]);
    EXPECT_EQ(exceptionText, messages.back());
    ClearLog();
  };
  ClearLog();
  unsigned char row[64];
  int value = 0, low = 0, high = 0;
  EXPECT_EQ(0, m.doCVLGrab(0, 5));
  expectFailure("doCVLGrab: --EXCEPTION caught  grabberNo=0 portNo=5\n");
  EXPECT_EQ(0, m.getCVLGrabRow(0, 5, row, 0, 0, 10));
  expectFailure("getCVLGrabRow: --EXCEPTION caught \n");
  EXPECT_EQ(0, m.setCompleteCallback(0, 5, nullptr));
  expectFailure("setCompleteCallback: --EXCEPTION caught \n");
  EXPECT_EQ(0, m.getProperty(0, 5, "PixelSize", &value));
  expectFailure("--EXCEPTION caught at getProperty\n");
  EXPECT_EQ(0, m.setProperty(0, 5, "loglevel", 1));
  expectFailure("setProperty: --EXCEPTION caught \n");
  EXPECT_EQ(0, m.getPropertyRange(0, 5, "LogLevel", &low, &high));
  expectFailure("getPropertyRange: --EXCEPTION caught \n");
  m.closeCVLPort(0, 5);
  expectFailure("closeCVLPort: --EXCEPTION caught  grabberNo=0, portNo=5\n");
  m.finalize();
}

TEST_F(ModuleTest, PortCallsBeforeInitializeFailCleanly) {
  Module& m = Load();
  m.setDebugMsgProc(moduletest::HostLog);
  int size[2] = {1, 1};
  EXPECT_EQ(0, m.openCVLPort(0, 0, "M1 (1234)", size));
  EXPECT_EQ(0, size[0]);
  EXPECT_EQ(0, m.doCVLGrab(0, 0));
  EXPECT_TRUE(Logged("openCVLPort: ERROR: cannot find camera by name:M1 (1234)\n"));
}

TEST_F(ModuleTest, AMalformedFleetLeavesTheBusEmptyAndSaysWhy) {
  UseFleet("{\"cameras\": [ {\"model\": \"M\", ");
  Module& m = Load();
  EXPECT_EQ(1, m.initialize(SystemPath().c_str(), moduletest::HostLog));
  EXPECT_EQ(0, m.getCVLNoOfSupportedCameras());
  int error = Find("CameraList::Init: ERROR: failed to get number of cameras: ");
  ASSERT_NE(-1, error);
  EXPECT_NE(std::string::npos, Messages()[error].find("fleet.json")) << Messages()[error];
  EXPECT_EQ(1, m.finalize());
}

TEST_F(ModuleTest, ConfigureCameraOnAnUnknownNameReturnsZero) {
  UseFleet(kTwoCameras);
  Module& m = Load();
  m.initialize(SystemPath().c_str(), moduletest::HostLog);
  EXPECT_EQ(0, m.configureCamera(0, "Nobody (1)"));
  EXPECT_TRUE(Logged("configureCamera: ERROR: cannot find camera by name: Nobody (1)\n"));
  m.finalize();
}
