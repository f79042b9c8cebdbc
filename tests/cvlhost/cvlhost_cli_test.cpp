// cvlhost's command line, run as a child process: the JSON documents, the
// example fleet files, the progress lines, the view and configure commands
// without a display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>

#include "tools/cvlhost/JsonReport.h"
#include "tools/cvlhost/ProgressLine.h"
#include "tools/cvlhost/PropertyNames.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Environment = std::map<std::string, std::optional<std::string>>;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class CvlhostTest : public testing::Test {
 protected:
  void SetUp() override {
    _folder = fs::temp_directory_path() / ("cvlhost-cli-" + std::to_string(getpid()));
    fs::remove_all(_folder);
    fs::create_directories(_folder);
  }
  void TearDown() override { fs::remove_all(_folder); }

  // Runs cvlhost with `args` after --system-path, in the test's folder, with
  // this process's environment changed by `changes` (nullopt removes).
  Outcome Run(std::vector<std::string> args, const Environment& changes = {}) {
    args.insert(args.begin(), {VQ_CVLHOST_PATH, "--system-path", _folder.string()});
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
      const std::string variable = *entry;
      if (!changes.count(variable.substr(0, variable.find('=')))) variables.push_back(variable);
    }
    for (const auto& [name, value] : changes)
      if (value) variables.push_back(name + "=" + *value);
    std::vector<char*> argv, envp;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const fs::path out = _folder / "stdout", err = _folder / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    if (spawned != 0) return outcome;
    int status = 0;
    waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
  }

  // Runs with --json; the whole standard output must be one JSON document.
  nlohmann::json RunJson(std::vector<std::string> args, const Environment& changes = {}) {
    args.insert(args.begin(), "--json");
    const Outcome outcome = Run(args, changes);
    EXPECT_EQ(0, outcome.status) << outcome.err;
    try {
      return nlohmann::json::parse(outcome.out);
    } catch (const std::exception& error) {
      ADD_FAILURE() << "not JSON: " << error.what() << "\n" << outcome.out;
      return nullptr;
    }
  }

  fs::path _folder;
};

const Environment kNoDisplay{
    {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}};

TEST_F(CvlhostTest, JsonDocumentsOfListGetRangeAndGrab) {
  EXPECT_EQ(nlohmann::json::parse(R"j({"count": 2, "cameras": ["View Colour (7001)", "View Mono (7002)"]})j"),
            RunJson({"list"}));

  const std::vector<std::string> mono{"--camera", "View Mono (7002)", "--port", "3"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, mono.begin(), mono.end());
    return args;
  };
  const nlohmann::json range = RunJson(with({"range", "Brightness"}));
  ASSERT_TRUE(range.is_object()) << range;
  EXPECT_EQ((std::set<std::string>{"camera", "port", "name", "min", "max"}), [&] {
    std::set<std::string> keys;
    for (const auto& item : range.items()) keys.insert(item.key());
    return keys;
  }());
  EXPECT_EQ("View Mono (7002)", range["camera"]);
  EXPECT_EQ(3, range["port"]);
  EXPECT_EQ("Brightness", range["name"]);
  EXPECT_LE(range["min"].get<int>(), range["max"].get<int>());
  // The same numbers as the text people read.
  const Outcome text = Run(with({"range", "Brightness"}));
  EXPECT_NE(std::string::npos, text.out.find("Brightness: " + range["min"].dump() + " .. " + range["max"].dump()))
      << text.out;

  const nlohmann::json get = RunJson(with({"get", "Brightness"}));
  EXPECT_EQ("Brightness", get["name"]);
  EXPECT_TRUE(get["value"].is_number_integer()) << get;
  EXPECT_GE(get["value"].get<int>(), range["min"].get<int>());

  const nlohmann::json grab = RunJson(with({"grab", "-n", "5", "--save", "2", "-o", (_folder / "png").string()}));
  EXPECT_EQ(5, grab["framesRequested"]);
  EXPECT_EQ(5, grab["framesReceived"]);
  EXPECT_EQ(2, grab["framesSaved"]);
  EXPECT_EQ(0, grab["framesIncomplete"]);
  EXPECT_EQ(false, grab["timedOut"]);
  EXPECT_EQ(640, grab["width"]);
  EXPECT_EQ(480, grab["height"]);
  EXPECT_EQ(1, grab["bytesPerPixel"]);
  EXPECT_GT(grab["framesPerSecond"].get<double>(), 0);
  EXPECT_GE(grab["driver"]["grabCount"].get<int>(), 5) << grab;
  EXPECT_TRUE(grab["driver"]["overwriteCount"].is_number_integer()) << grab;
  for (const char* timing : {"grab", "cycle", "getRows", "callback"})
    EXPECT_TRUE(grab["driver"][timing]["meanMs"].is_number()) << timing << ": " << grab;
  EXPECT_EQ(2, std::distance(fs::directory_iterator(_folder / "png"), fs::directory_iterator()));
}

TEST(DriverStatistics, LineBecomesNumbersAndOtherLinesNull) {
  const nlohmann::json statistics = DriverStatisticsJson(
      "Camera STATS: GrabCnt:12 OvrwCnt:3 (N/mean/max)-> Grab:12/4.50/9.00 Cycle:11/33.36/35.00 GetRows:12/0.25/1.00 "
      "CB:12/0.00/0.00, camera #7002 port=3\n");
  EXPECT_EQ(12, statistics["grabCount"]);
  EXPECT_EQ(3, statistics["overwriteCount"]);
  EXPECT_EQ(nlohmann::json::parse(R"({"count": 11, "meanMs": 33.36, "maxMs": 35.0})"), statistics["cycle"]);
  EXPECT_EQ(nullptr, DriverStatisticsJson("Log level set to 2\n"));
}

// Each example fleet file shipped with the package loads: the cameras it
// describes are listed.
class ExampleFleetTest : public CvlhostTest, public testing::WithParamInterface<std::string> {};

TEST_P(ExampleFleetTest, ListsTheCamerasItDescribes) {
  const fs::path file = fs::path(VQ_SOURCE_DIR) / "examples/fleets" / GetParam();
  const nlohmann::json fleet = nlohmann::json::parse(ReadFile(file));
  nlohmann::json names = nlohmann::json::array();
  for (const auto& camera : fleet["cameras"])
    names.push_back(camera["model"].get<std::string>() + " (" + std::to_string(camera["serial"].get<int>()) + ")");
  ASSERT_FALSE(names.empty());
  const nlohmann::json list = RunJson({"list"}, {{"VORQUELL_SIM_FLEET", file.string()}});
  EXPECT_EQ(names, list["cameras"]);
}

INSTANTIATE_TEST_SUITE_P(Files, ExampleFleetTest,
                         testing::Values("line-mono.json", "format7-colour.json", "triggered.json", "faults.json"),
                         [](const auto& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           std::erase(name, '-');
                           return name;
                         });

TEST_F(CvlhostTest, ProgressToAFileIsPlainLines) {
  const Outcome outcome = Run({"grab", "-n", "20", "--save", "0"});
  ASSERT_EQ(0, outcome.status) << outcome.err;
  EXPECT_EQ(std::string::npos, outcome.err.find('\r'));
  EXPECT_TRUE(std::regex_match(outcome.err, std::regex("(grabbed \\d+/20 frames\n)*grabbed 20/20 frames\n")))
      << outcome.err;
}

TEST(ProgressLine, OnATerminalOneLineIsRewritten) {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  const auto start = ProgressLine::Clock::now();
  ProgressLine progress(out, true, 100, start);
  progress.Update(1, start + std::chrono::milliseconds(50));  // too early to say anything
  progress.Update(10, start + std::chrono::seconds(1));
  progress.Update(11, start + std::chrono::milliseconds(1050));  // within 0.1 s of the last
  progress.Update(100, start + std::chrono::seconds(10));
  progress.Finish();
  std::fclose(out);
  EXPECT_EQ(
      "\rgrabbed 10/100 frames, 10.0 fps, 0:09 left\x1b[K"
      "\rgrabbed 100/100 frames, 10.0 fps\x1b[K\n",
      std::string(text, size));
  std::free(text);
  EXPECT_EQ("grabbed 30/3000 frames, 0.5 fps, 99:00 left", ProgressLine::Text(30, 3000, 60));
}

TEST_F(CvlhostTest, ViewWithoutADisplaySaysSoAndFails) {
  Outcome outcome = Run({"view"}, kNoDisplay);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ("cvlhost: no display: DISPLAY and QT_QPA_PLATFORM are not set\n", outcome.err);
  Environment unreachable = kNoDisplay;
  unreachable["DISPLAY"] = ":93";
  outcome = Run({"view"}, unreachable);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ("cvlhost: no display: cannot connect to the X display ':93'\n", outcome.err);
}

TEST_F(CvlhostTest, ConfigureOpensTheCameraOnItsPortFirstUnlessClosed) {
  const std::string opened = "opened View Mono (7002) on port 5: 640 x 480\n";
  Outcome outcome = Run({"configure", "--camera", "View Mono (7002)", "--port", "5"}, kNoDisplay);
  EXPECT_EQ(0, outcome.status) << outcome.err;
  const size_t open = outcome.out.find(opened), dialog = outcome.out.find("configureCamera(View Mono (7002)) = 1");
  ASSERT_NE(std::string::npos, open) << outcome.out;
  EXPECT_LT(open, dialog) << outcome.out;

  outcome = Run({"configure", "--camera", "View Mono (7002)", "--closed"}, kNoDisplay);
  EXPECT_EQ(std::string::npos, outcome.out.find("opened ")) << outcome.out;
  EXPECT_NE(std::string::npos, outcome.out.find("configureCamera(View Mono (7002)) = 1")) << outcome.out;
}

}  // namespace

namespace {

const std::vector<std::string> kColour{"--camera", "View Colour (7001)"};

std::vector<std::string> Join(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(CvlhostTest, OptionsOfCvlhostMayFollowTheCommand) {
  const Outcome before = Run({"--json", "list"});
  const Outcome after = Run({"list", "--json"});
  ASSERT_EQ(0, after.status) << after.err;
  EXPECT_EQ(before.out, after.out);
  EXPECT_EQ(2, nlohmann::json::parse(after.out)["count"]);

  const Outcome get = Run({"get", "Brightness", "--camera", "View Mono (7002)", "--json", "--log-level", "3"});
  ASSERT_EQ(0, get.status) << get.err;
  EXPECT_EQ("View Mono (7002)", nlohmann::json::parse(get.out)["camera"]);
  EXPECT_NE(std::string::npos, get.err.find("Camera::GetProperty: prop=Brightness")) << "level 3 lines: " << get.err;
}

TEST_F(CvlhostTest, GetTellsAnUnknownNameFromAPropertyTheCameraLacks) {
  Outcome outcome = Run(Join({"get", "Brigthness"}, kColour));
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("cvlhost: 'Brigthness' is no property name the driver knows"))
      << outcome.err;

  // The colour camera of the simulated fleet has no iris.
  outcome = Run(Join({"get", "Iris"}, kColour));
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("cvlhost: View Colour (7001) has no property Iris (a name the driver "
                                                "knows, but not a feature of this camera)"))
      << outcome.err;
  outcome = Run(Join({"range", "StrobeOn3"}, kColour));
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("has no property StrobeOn3")) << outcome.err;
  outcome = Run(Join({"set", "Zoomm", "3"}, kColour));
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("'Zoomm' is no property name the driver knows")) << outcome.err;
}

TEST_F(CvlhostTest, AValueOutsideTheRangeIsRefusedAndTheLogNamesNoBuildFolder) {
  const Outcome outcome = Run(Join({"set", "Gain", "5000"}, kColour));
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("cvlhost: the camera refused Gain = 5000 (see the log line above)"))
      << outcome.err;
  EXPECT_EQ(std::string::npos, outcome.out.find("Gain set to")) << outcome.out;
  // The driver's line, its SDK error and where that was made, relative to the source tree.
  const std::regex refused(
      "Camera::SetFlyProperty: ERROR: Failed to set property Gain: FlyCapture API Error \\d+: Gain: value 5000 is "
      "outside 0 to 480\\. \\(sdk/sim/[A-Za-z]+\\.cpp \\d+\\)\n");
  EXPECT_TRUE(std::regex_search(outcome.out, refused)) << outcome.out;
  EXPECT_EQ(std::string::npos, outcome.out.find(VQ_SOURCE_DIR)) << outcome.out;

  const Outcome within = Run(Join({"set", "Gain", "480"}, kColour));
  EXPECT_EQ(0, within.status) << within.err;
  EXPECT_NE(std::string::npos, within.out.find("Gain set to 480\n")) << within.out;
}

// Values that shape the frame reach the camera when it is opened again:
// set says so, or reopens with --reopen; grab --set reopens by itself, so
// that its frames have the size asked for.
TEST_F(CvlhostTest, FrameShapingValuesTakeEffectAtTheReopen) {
  Outcome outcome = Run(Join({"set", "DCAMVideoMode", "23"}, kColour));
  EXPECT_EQ(0, outcome.status) << outcome.err;
  EXPECT_NE(
      std::string::npos,
      outcome.out.find("DCAMVideoMode set to 23; it takes effect when the camera is opened again (--reopen: now)\n"))
      << outcome.out;
  outcome = Run(Join({"set", "DCAMVideoMode", "23", "--reopen"}, kColour));
  EXPECT_EQ(0, outcome.status) << outcome.err;
  const size_t set = outcome.out.find("DCAMVideoMode set to 23\n");
  EXPECT_NE(std::string::npos, set) << outcome.out;
  EXPECT_NE(std::string::npos, outcome.out.find("reopened View Colour (7001) on port 0: 1280 x 960\n", set))
      << outcome.out;

  const nlohmann::json grab = RunJson(
      Join({"grab", "--save", "0", "--set", "DCAMVideoMode=23", "--set", "width=320", "--set", "height=200"}, kColour));
  EXPECT_EQ(320, grab.value("width", 0)) << grab;
  EXPECT_EQ(200, grab.value("height", 0)) << grab;
  EXPECT_EQ(1, grab.value("framesReceived", 0)) << grab;
}

// Aravis's in-process fake camera (the Fake interface only: nothing goes on
// any network); its GainRaw runs from 0 to 10.
TEST_F(CvlhostTest, OnTheAravisFakeAValueOutsideTheRangeIsRefusedNotClamped) {
  const Environment fake{{"VORQUELL_ARAVIS_INTERFACES", "Fake"}, {"VORQUELL_ARAVIS_DEVICES", std::nullopt}};
  const Outcome outcome = Run({"--backend", "aravis", "set", "Gain", "50"}, fake);
  if (outcome.err.find("is not part of this build") != std::string::npos) GTEST_SKIP() << "built without Aravis";
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.err.find("cvlhost: the camera refused Gain = 50 (see the log line above)"))
      << outcome.err;
  EXPECT_TRUE(std::regex_search(outcome.out, std::regex("Camera::SetFlyProperty: ERROR: Failed to set property Gain: "
                                                        "FlyCapture API Error \\d+: Gain: value 50 is outside 0 to "
                                                        "10\\. \\(sdk/aravis/AravisDevice\\.cpp \\d+\\)\n")))
      << outcome.out;
  const Outcome within = Run({"--backend", "aravis", "set", "Gain", "7"}, fake);
  EXPECT_EQ(0, within.status) << within.err;
  EXPECT_NE(std::string::npos, within.out.find("Gain set to 7\n")) << within.out;
}

TEST_F(CvlhostTest, PropertiesListsTheCamerasPropertiesWithValueAndRange) {
  const nlohmann::json listed = RunJson(Join({"properties"}, kColour));
  ASSERT_TRUE(listed["properties"].is_array()) << listed;
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row : listed["properties"]) rows[row["name"].get<std::string>()] = row;
  for (const char* present :
       {"LogLevel", "Continuous", "Brightness", "GainAuto", "DCAMVideoMode", "DCAMFrameRate", "Fmt7Mode",
        "Fmt7PixelFormat", "width", "TriggerOn", "TriggerSource", "StrobeOn0", "GPIODirection1", "PixelSize"})
    EXPECT_EQ(1u, rows.count(present)) << present << " missing: " << listed;
  for (const char* absent : {"Iris", "Zoom", "BrightnessAuto", "StrobeOn2"})
    EXPECT_EQ(0u, rows.count(absent)) << absent << " is not the colour camera's: " << listed;
  EXPECT_EQ(nlohmann::json::parse(R"({"name": "Brightness", "value": 0, "min": 0, "max": 255})"), rows["Brightness"]);
  EXPECT_EQ(3, rows["DCAMVideoMode"]["value"]) << "640x480YUV422";
  EXPECT_EQ(nullptr, rows["PixelSize"]["min"]) << "a command word has no range";
  EXPECT_EQ(24, rows["PixelSize"]["value"]);

  // The same as get and range say, name by name.
  for (const char* name : {"Gain", "TriggerSource", "Fmt7PixelFormat"}) {
    const nlohmann::json get = RunJson(Join({"get", name}, kColour));
    const nlohmann::json range = RunJson(Join({"range", name}, kColour));
    EXPECT_EQ(get["value"], rows[name]["value"]) << name;
    EXPECT_EQ(range["min"], rows[name]["min"]) << name;
    EXPECT_EQ(range["max"], rows[name]["max"]) << name;
  }
  const Outcome text = Run(Join({"properties"}, kColour));
  ASSERT_EQ(0, text.status) << text.err;
  EXPECT_NE(std::string::npos,
            text.out.find(std::to_string(listed["properties"].size()) + " properties of View Colour (7001) on port 0"))
      << text.out;
  EXPECT_TRUE(std::regex_search(text.out, std::regex("\n  Brightness +0   0 \\.\\. 255\n"))) << text.out;
}

// The complete list of names in the reference page is the list cvlhost
// iterates and tells names by.
TEST(PropertyReference, ThePagesListOfNamesIsCvlhostsList) {
  const std::string page = ReadFile(fs::path(VQ_SOURCE_DIR) / "docs/properties.md");
  auto block = [&](const std::string& marker) {
    const size_t start = page.find("```text " + marker + "\n");
    EXPECT_NE(std::string::npos, start) << marker;
    std::vector<std::string> names;
    if (start == std::string::npos) return names;
    std::istringstream lines(page.substr(start, page.find("```\n", start + 8) - start));
    std::string line;
    std::getline(lines, line);  // the fence
    while (lines >> line) names.push_back(line);
    return names;
  };
  EXPECT_EQ(cvlhost::DocumentedParameterNames(), block("parameters"));
  EXPECT_EQ(cvlhost::SetCommandWords(), block("set-command-words"));
  EXPECT_EQ(cvlhost::GetCommandWords(), block("get-command-words"));
}

TEST(PropertyNames, NamesAreToldApartIgnoringCase) {
  using cvlhost::Classify;
  using cvlhost::NameKind;
  EXPECT_EQ(NameKind::kParameter, Classify("gainauto", false));
  EXPECT_EQ(NameKind::kParameter, Classify("Exposure", false)) << "the host's name of AutoExposure";
  EXPECT_EQ(NameKind::kParameter, Classify("LogLevel", false));
  EXPECT_EQ(NameKind::kCommandWord, Classify("LogLevel", true)) << "setProperty reads it as the command word";
  EXPECT_EQ(NameKind::kCommandWord, Classify("pixelsize", false));
  EXPECT_EQ(NameKind::kUnknown, Classify("PixelSize", true));
  EXPECT_EQ(NameKind::kUnknown, Classify("StrobeOn4", false));
}

}  // namespace
