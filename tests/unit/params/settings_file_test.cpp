#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "platform/AtomicFile.h"
#include "tests/support/TestSupport.h"

using namespace vq;

namespace fs = std::filesystem;

namespace {

const CameraIdentity Color{2, "Vq-Color (1234)", 1234};
const CameraIdentity SameModel{2, "Vq-Color (5678)", 5678};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

template <class T>
Param<T>& Typed(CameraParameters& params, const std::string& name) {
  return dynamic_cast<Param<T>&>(params.GetParam(name));
}

// A camera's set with a few feature parameters of the kinds the feature mapping creates.
CameraParameters CameraSet(const CameraIdentity& identity) {
  CameraParameters params(identity);
  params.AddParam(new Param<unsigned>("Camera Settings", "Brightness", 10, 0, 1023, 0));
  params.AddParam(new Param<float>("Camera Settings", "Gain", 0.1f, 0.0f, 24.0f, 0.0f));
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("640x480Y8", 5);
  mode->AddOption("FORMAT7", 23);
  params.AddParam(mode);
  return params;
}

class SettingsFile : public ::testing::Test {
 protected:
  SettingsFile() : _savedSystemPath(GetDriverContext()->SystemPath()) {
    GetDriverContext()->SetSystemPath(_dir.Path());
  }
  ~SettingsFile() override {
    GetDriverContext()->SetSystemPath(_savedSystemPath);
    vq::SetReplaceFailureHook(nullptr);
  }

  vqtest::TempDir _dir;
  std::string _file = _dir.Path() + "/VorquellCamera.ini";
  std::string _savedSystemPath;
};

TEST_F(SettingsFile, FreshFolderKeepsValuesAndSaveCreatesTheFile) {
  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<int>(params, "LogLevel")._value, 1);
  EXPECT_EQ(Typed<unsigned>(params, "Brightness")._value, 10u);
  EXPECT_EQ(params.GetParam("DCAMVideoMode").ToString(), std::string("5"));
  EXPECT_FALSE(fs::exists(_file));

  params.Save();
  EXPECT_EQ(ReadFile(_file),
            "[General]\nLogLevel=1\nDebugViewOutput=0\n\n"
            "[Vq-Color (1234)]\nContinuous=0\nBrightness=10\nGain=0.10000000149011612\nDCAMVideoMode=5\n");
}

TEST_F(SettingsFile, StoredValuesComeBackInAnotherSet) {
  CameraParameters saved = CameraSet(Color);
  Typed<int>(saved, "LogLevel")._value = 3;
  Typed<bool>(saved, "Continuous")._value = true;
  Typed<unsigned>(saved, "Brightness")._value = 700;
  Typed<float>(saved, "Gain")._value = 7.3f;
  dynamic_cast<ParamEnum&>(saved.GetParam("DCAMVideoMode")).SelectByValue(23);
  saved.Save();

  CameraParameters loaded = CameraSet(Color);
  loaded.Load();
  for (Param_& param : loaded.Params())
    EXPECT_STREQ(param.ToString(), saved.GetParam(param._name).ToString()) << param._name;
  EXPECT_EQ(Typed<float>(loaded, "Gain")._value, 7.3f);
}

TEST_F(SettingsFile, GeneralValuesAreClampedCameraValuesAreNot) {
  WriteFile(_file, "[General]\nLogLevel=9\nDebugViewOutput=-3\n[Vq-Color (1234)]\nBrightness=9999\n");
  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<int>(params, "LogLevel")._value, 4);
  EXPECT_EQ(Typed<int>(params, "DebugViewOutput")._value, 0);
  EXPECT_EQ(Typed<unsigned>(params, "Brightness")._value, 9999u);
  EXPECT_FALSE(params.GetParam("Brightness").IsValid());
}

TEST_F(SettingsFile, SectionsAndKeysMatchIgnoringCase) {
  WriteFile(_file, "[general]\nloglevel=3\n[VQ-COLOR (1234)]\ncontinuous=1\nBRIGHTNESS=12\n");
  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<int>(params, "LogLevel")._value, 3);
  EXPECT_TRUE(Typed<bool>(params, "Continuous")._value);
  EXPECT_EQ(Typed<unsigned>(params, "Brightness")._value, 12u);
}

TEST_F(SettingsFile, UnknownEnumerationValueKeepsTheSelection) {
  WriteFile(_file, "[Vq-Color (1234)]\nDCAMVideoMode=17\n");
  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<std::string>(params, "DCAMVideoMode")._value, "640x480Y8");
}

TEST_F(SettingsFile, OnlyPersistentEnabledParametersTakePart) {
  const std::string before = "[General]\nLogIntoFile=1\n\n[Vq-Color (1234)]\nBrightness=500\n";
  WriteFile(_file, before);
  CameraParameters params = CameraSet(Color);
  params.GetParam("Brightness")._enabled = false;
  params.Load();
  EXPECT_FALSE(Typed<bool>(params, "LogIntoFile")._value);
  EXPECT_EQ(Typed<unsigned>(params, "Brightness")._value, 10u);

  params.Save();
  EXPECT_EQ(ReadFile(_file),
            "[General]\nLogIntoFile=1\nLogLevel=1\nDebugViewOutput=0\n\n"
            "[Vq-Color (1234)]\nBrightness=500\nContinuous=0\nGain=0.10000000149011612\nDCAMVideoMode=5\n");
}

TEST_F(SettingsFile, SameModelCamerasKeepOwnSectionsAndShareGeneral) {
  CameraParameters first = CameraSet(Color);
  CameraParameters second = CameraSet(SameModel);
  Typed<unsigned>(first, "Brightness")._value = 1;
  Typed<unsigned>(second, "Brightness")._value = 2;
  Typed<int>(first, "LogLevel")._value = 2;
  Typed<int>(second, "LogLevel")._value = 3;
  first.Save();
  second.Save();

  CameraParameters reloaded = CameraSet(Color);
  reloaded.Load();
  EXPECT_EQ(Typed<unsigned>(reloaded, "Brightness")._value, 1u);
  EXPECT_EQ(Typed<int>(reloaded, "LogLevel")._value, 3);
}

TEST_F(SettingsFile, LongValuesAreReadCutTo255Characters) {
  WriteFile(_file, "[Vq-Color (1234)]\nNote=" + std::string(300, 'n') + "\n");
  CameraParameters params(Color);
  params.AddParam(new Param<std::string>("Camera", "Note", "short"));
  params.Load();
  EXPECT_EQ(Typed<std::string>(params, "Note")._value, std::string(255, 'n'));
}

TEST_F(SettingsFile, HandEditedFileKeepsEverythingButTheSavedValues) {
  WriteFile(_file,
            "; Vorquell settings, edited by hand\r\n"
            "[GENERAL]\r\n"
            "  LogLevel =  2 \r\n"
            "\tDebugViewOutput\t=\t1\r\n"
            "# site default\r\n"
            "Extra=keep\r\n"
            "\r\n"
            "[Somebody Else]\r\n"
            "brightness=3\r\n"
            "\r\n"
            "[Vq-Color (1234)]\r\n"
            "  Brightness =  12 \r\n"
            "; the end\r\n");
  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<int>(params, "LogLevel")._value, 2);
  EXPECT_EQ(Typed<unsigned>(params, "Brightness")._value, 12u);
  Typed<int>(params, "LogLevel")._value = 4;
  Typed<unsigned>(params, "Brightness")._value = 40;
  params.Save();
  EXPECT_EQ(ReadFile(_file),
            "; Vorquell settings, edited by hand\r\n"
            "[GENERAL]\r\n"
            "  LogLevel =  4\r\n"
            "\tDebugViewOutput\t=\t1\r\n"
            "# site default\r\n"
            "Extra=keep\r\n"
            "\r\n"
            "[Somebody Else]\r\n"
            "brightness=3\r\n"
            "\r\n"
            "[Vq-Color (1234)]\r\n"
            "  Brightness =  40\r\n"
            "Continuous=0\r\n"
            "Gain=0.10000000149011612\r\n"
            "DCAMVideoMode=5\r\n"
            "; the end\r\n");
}

TEST_F(SettingsFile, FailedSaveKeepsTheOldFileAndIsLogged) {
  const std::string before = "[General]\nLogLevel=2\n";
  WriteFile(_file, before);
  vq::SetReplaceFailureHook([](vq::ReplaceStep step) { return step == vq::ReplaceStep::WriteTemporary; });
  vqtest::LogCapture log(1);
  CameraParameters params = CameraSet(Color);
  params.Save();
  EXPECT_EQ(ReadFile(_file), before);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"CameraParameters::Save: ERROR: cannot write settings file " +
                                                     _file + ": No space left on device\n"});
}

TEST_F(SettingsFile, WithoutSystemPathNothingIsReadOrWritten) {
  GetDriverContext()->SetSystemPath("");
  // The working folder holds a settings file that must not be used either.
  const fs::path savedWorkingFolder = fs::current_path();
  fs::current_path(_dir.Path());
  WriteFile("VorquellCamera.ini", "[General]\nLogLevel=3\n");
  vqtest::LogCapture log(1);

  CameraParameters params = CameraSet(Color);
  params.Load();
  EXPECT_EQ(Typed<int>(params, "LogLevel")._value, 1);
  params.Save();
  EXPECT_EQ(ReadFile("VorquellCamera.ini"), "[General]\nLogLevel=3\n");
  EXPECT_EQ(log.Messages(),
            std::vector<std::string>{
                "CameraParameters::Save: WARNING: no system path, settings of Vq-Color (1234) not saved\n"});
  fs::current_path(savedWorkingFolder);
}

TEST_F(SettingsFile, LoadDuringSavesSeesOneWholeSave) {
  // Two sets, one per thread, as the dialog's copy and the bus thread's camera have.
  CameraParameters writer = CameraSet(Color);
  CameraParameters reader = CameraSet(Color);
  const auto saveRound = [&writer](unsigned round) {
    Typed<unsigned>(writer, "Brightness")._value = round;
    Typed<float>(writer, "Gain")._value = static_cast<float>(round);
    Typed<bool>(writer, "Continuous")._value = round % 2 == 1;
    writer.Save();
  };
  saveRound(0);
  std::atomic<bool> writing{true};
  std::atomic<int> mixedLoads{0};
  std::thread saver([&] {
    for (unsigned round = 1; round < 100; ++round) saveRound(round);
    writing = false;
  });
  std::thread loader([&] {
    do {
      reader.Load();
      const unsigned brightness = Typed<unsigned>(reader, "Brightness")._value;
      if (Typed<float>(reader, "Gain")._value != static_cast<float>(brightness) ||
          Typed<bool>(reader, "Continuous")._value != (brightness % 2 == 1))
        ++mixedLoads;
    } while (writing);
  });
  saver.join();
  loader.join();
  EXPECT_EQ(mixedLoads, 0);
  reader.Load();
  EXPECT_EQ(Typed<unsigned>(reader, "Brightness")._value, 99u);
}

}  // namespace
