// cvlhost: a reference host for the Vorquell camera driver. It loads the
// module with dlopen, resolves the exports through the public header and
// drives them from the command line the way a machine-vision host does.
#include <strings.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/cvlhost/JsonReport.h"
#include "tools/cvlhost/Module.h"
#include "tools/cvlhost/ModulePath.h"
#include "tools/cvlhost/PngWriter.h"
#include "tools/cvlhost/ProgressLine.h"
#include "tools/cvlhost/PropertyNames.h"
#include "tools/cvlhost/ViewCommand.h"

namespace {

struct Options {
  std::string modulePath;
  std::string systemPath = ".";
  std::optional<int> logLevel;
  std::string camera;
  int port = 0;
  int frames = 1;
  bool continuous = false;
  int save = 10;
  std::string outputDir = "frames";
  double timeoutSeconds = 10;
  std::vector<std::string> settings;
  std::string property;
  int value = 0;
  bool reopen = false;
  unsigned long window = 0;
  // Output for scripts and people (list, get, range, properties, grab; view; configure).
  bool json = false;
  bool configureClosed = false;
  std::string viewOutputDir = ".";
  std::string viewScreenshot;
};

// With --json, standard output carries only the JSON document; the driver's
// log lines and the prose go to standard error.
std::FILE* prose = stdout;
// The driver's last statistics line, for the JSON report of a grab.
std::string lastStatistics;

// The properties the camera refused to take, by the driver's log lines
// (level 1): setProperty keeps the value and answers 1 all the same.
constexpr const char kRefusedPrefix[] = "Camera::SetFlyProperty: ERROR: Failed to set property ";
std::mutex refusedLock;
std::vector<std::string> refused;

// The driver calls back with the timestamp first, then the message.
void PrintLogText(const char* text) {
  std::fputs(text, prose);
  std::fflush(prose);
  if (std::strncmp(text, "Camera STATS: ", 14) == 0) lastStatistics = text;
  if (std::strncmp(text, kRefusedPrefix, sizeof kRefusedPrefix - 1) == 0) {
    const std::string rest = text + sizeof kRefusedPrefix - 1;
    std::lock_guard<std::mutex> lock(refusedLock);
    refused.push_back(rest.substr(0, rest.find(':')));
  }
}

// Whether the camera refused the parameter `name` since ClearRefusals.
bool WasRefused(const std::string& name) {
  std::lock_guard<std::mutex> lock(refusedLock);
  const std::string parameter = cvlhost::ParameterOf(name);
  return std::any_of(refused.begin(), refused.end(),
                     [&](const std::string& item) { return strcasecmp(item.c_str(), parameter.c_str()) == 0; });
}

void ClearRefusals() {
  std::lock_guard<std::mutex> lock(refusedLock);
  refused.clear();
}

void PrintJson(const nlohmann::json& document) { std::printf("%s\n", document.dump(2).c_str()); }

// initialize on construction, finalize on destruction.
class Session {
 public:
  Session(Module& module, const Options& options) : _module(module) {
    _module.initialize(options.systemPath.c_str(), PrintLogText);
  }
  ~Session() { _module.finalize(); }

 private:
  Module& _module;
};

std::string ChooseCamera(Module& module, const Options& options) {
  if (!options.camera.empty()) return options.camera;
  const char** names = module.getCVLCameraConfigNames();
  if (!names || !names[0]) throw std::runtime_error("no camera on the bus");
  return names[0];
}

// An open port, closed again on destruction.
class OpenPort {
 public:
  OpenPort(Module& module, const Options& options)
      : _module(module), _port(options.port), _name(ChooseCamera(module, options)), _logLevel(options.logLevel) {
    Open("opened");
  }
  ~OpenPort() { _module.closeCVLPort(0, _port); }
  // Values that shape the frame reach the camera when it is opened again.
  void Reopen() {
    _module.closeCVLPort(0, _port);
    Open("reopened");
  }
  int Width() const { return _size[0]; }
  int Height() const { return _size[1]; }
  int Port() const { return _port; }
  const std::string& Name() const { return _name; }

 private:
  void Open(const char* done) {
    if (!_module.openCVLPort(0, _port, _name.c_str(), _size))
      throw std::runtime_error("camera '" + _name + "' could not be opened on port " + std::to_string(_port));
    std::fprintf(prose, "%s %s on port %d: %d x %d\n", done, _name.c_str(), _port, _size[0], _size[1]);
    if (_logLevel) _module.setProperty(0, _port, "loglevel", *_logLevel);
  }

  Module& _module;
  int _port;
  std::string _name;
  std::optional<int> _logLevel;
  int _size[2] = {0, 0};
};

// Sets each NAME=VALUE, and reopens the camera when one of them takes effect
// only then, so that the grab has the frame they ask for.
void ApplySettings(Module& module, OpenPort& port, const std::vector<std::string>& settings) {
  bool reopen = false;
  for (const std::string& setting : settings) {
    auto equals = setting.find('=');
    if (equals == std::string::npos) throw std::runtime_error("--set needs NAME=VALUE, not '" + setting + "'");
    std::string name = setting.substr(0, equals);
    int value = std::stoi(setting.substr(equals + 1));
    ClearRefusals();
    if (!module.setProperty(0, port.Port(), name.c_str(), value) || WasRefused(name))
      throw std::runtime_error("the camera refused " + name + "=" + std::to_string(value));
    reopen = reopen || cvlhost::TakesEffectOnReopen(name);
  }
  if (reopen) port.Reopen();
}

int RunList(Module& module, const Options& options) {
  Session session(module, options);
  const char** names = module.getCVLCameraConfigNames();
  if (options.json) {
    nlohmann::json cameras = nlohmann::json::array();
    for (int i = 0; names && names[i]; ++i) cameras.push_back(names[i]);
    PrintJson({{"count", module.getCVLNoOfSupportedCameras()}, {"cameras", cameras}});
    return 0;
  }
  std::printf("%d camera(s):\n", module.getCVLNoOfSupportedCameras());
  for (int i = 0; names && names[i]; ++i) std::printf("  %s\n", names[i]);
  return 0;
}

// Frames pulled row by row in the completion callback, handed to the main
// thread for saving.
class GrabSession {
 public:
  GrabSession(Module& module, int port, int width, int height, int bytesPerPixel, int wanted)
      : _module(module), _port(port), _width(width), _height(height), _bytesPerPixel(bytesPerPixel), _wanted(wanted) {}

  // Runs on the driver's grab thread.
  void OnFrame() {
    if (_received >= _wanted) return;
    std::vector<unsigned char> pixels(static_cast<size_t>(_width) * _height * _bytesPerPixel);
    const size_t rowBytes = static_cast<size_t>(_width) * _bytesPerPixel;
    bool complete = true;
    for (int row = 0; row < _height; ++row)
      complete &= _module.getCVLGrabRow(0, _port, pixels.data() + row * rowBytes, row, 0, _width - 1) == 1;
    std::lock_guard<std::mutex> lock(_lock);
    if (_received == 0) _first = std::chrono::steady_clock::now();
    _last = std::chrono::steady_clock::now();
    ++_received;
    if (!complete) ++_incomplete;
    _frames.push_back(std::move(pixels));
    _changed.notify_all();
  }

  // Waits for the next frame; nullopt after `timeout` without one.
  std::optional<std::vector<unsigned char>> Next(std::chrono::duration<double> timeout) {
    std::unique_lock<std::mutex> lock(_lock);
    if (!_changed.wait_for(lock, timeout, [this] { return !_frames.empty(); })) return std::nullopt;
    auto frame = std::move(_frames.front());
    _frames.pop_front();
    return frame;
  }

  double FramesPerSecond() const {
    std::lock_guard<std::mutex> lock(_lock);
    double seconds = std::chrono::duration<double>(_last - _first).count();
    return _received > 1 && seconds > 0 ? (_received - 1) / seconds : 0;
  }
  int Incomplete() const {
    std::lock_guard<std::mutex> lock(_lock);
    return _incomplete;
  }

 private:
  Module& _module;
  int _port, _width, _height, _bytesPerPixel, _wanted;
  std::atomic<int> _received{0};
  mutable std::mutex _lock;
  std::condition_variable _changed;
  std::deque<std::vector<unsigned char>> _frames;
  std::chrono::steady_clock::time_point _first, _last;
  int _incomplete = 0;
};

GrabSession* activeGrab = nullptr;
void OnComplete(int, int) { activeGrab->OnFrame(); }

int RunGrab(Module& module, const Options& options) {
  Session session(module, options);
  OpenPort port(module, options);
  ApplySettings(module, port, options.settings);
  int pixelSize = 8;
  module.getProperty(0, port.Port(), "PixelSize", &pixelSize);
  const int bytesPerPixel = pixelSize / 8;

  GrabSession grab(module, port.Port(), port.Width(), port.Height(), bytesPerPixel, options.frames);
  activeGrab = &grab;
  module.setCompleteCallback(0, port.Port(), OnComplete);
  const bool continuous = options.continuous || options.frames > 1;
  bool started = continuous ? module.setProperty(0, port.Port(), "continuous", 1) : module.doCVLGrab(0, port.Port());
  if (!started) throw std::runtime_error("the grab could not be started");

  if (options.save > 0) std::filesystem::create_directories(options.outputDir);
  ProgressLine progress(stderr, isatty(STDERR_FILENO) == 1, options.frames);
  int status = 0;
  int received = 0;
  for (int n = 1; n <= options.frames; ++n) {
    auto frame = grab.Next(std::chrono::duration<double>(options.timeoutSeconds));
    if (!frame) {
      progress.Finish();
      std::fprintf(stderr, "cvlhost: no frame within %.1f s after frame %d\n", options.timeoutSeconds, n - 1);
      status = 1;
      break;
    }
    received = n;
    if (n <= options.save) {
      char file[64];
      std::snprintf(file, sizeof file, "frame%05d.png", n);
      WritePng((std::filesystem::path(options.outputDir) / file).string(), frame->data(), port.Width(), port.Height(),
               bytesPerPixel);
    }
    if (options.frames > 1) progress.Update(n);
  }
  if (status == 0) progress.Finish();
  if (continuous) module.setProperty(0, port.Port(), "continuous", 0);
  module.setCompleteCallback(0, port.Port(), nullptr);
  activeGrab = nullptr;

  if (!options.json) {
    std::printf("frames per second: %.2f\n", grab.FramesPerSecond());
    if (grab.Incomplete()) std::printf("frames with rows not delivered: %d\n", grab.Incomplete());
  }
  lastStatistics.clear();
  module.setProperty(0, port.Port(), "PrintStat", 0);
  if (options.json)
    PrintJson({{"camera", port.Name()},
               {"port", port.Port()},
               {"width", port.Width()},
               {"height", port.Height()},
               {"bytesPerPixel", bytesPerPixel},
               {"framesRequested", options.frames},
               {"framesReceived", received},
               {"framesSaved", std::min(received, options.save)},
               {"framesIncomplete", grab.Incomplete()},
               {"framesPerSecond", grab.FramesPerSecond()},
               {"timedOut", status != 0},
               {"driver", DriverStatisticsJson(lastStatistics)}});
  return status;
}

int RunGet(Module& module, const Options& options) {
  Session session(module, options);
  OpenPort port(module, options);
  int value = 0;
  if (!module.getProperty(0, port.Port(), options.property.c_str(), &value)) {
    std::fprintf(stderr, "cvlhost: %s\n", cvlhost::Unanswered(options.property, port.Name(), false).c_str());
    return 1;
  }
  if (options.json)
    PrintJson({{"camera", port.Name()}, {"port", port.Port()}, {"name", options.property}, {"value", value}});
  else
    std::printf("%s = %d\n", options.property.c_str(), value);
  return 0;
}

int RunSet(Module& module, const Options& options) {
  Session session(module, options);
  OpenPort port(module, options);
  ClearRefusals();
  if (!module.setProperty(0, port.Port(), options.property.c_str(), options.value)) {
    if (cvlhost::Classify(options.property, true) == cvlhost::NameKind::kParameter)
      std::fprintf(stderr, "cvlhost: the camera refused %s = %d: %s\n", options.property.c_str(), options.value,
                   cvlhost::Unanswered(options.property, port.Name(), true).c_str());
    else if (cvlhost::Classify(options.property, true) == cvlhost::NameKind::kUnknown)
      std::fprintf(stderr, "cvlhost: %s\n", cvlhost::Unanswered(options.property, port.Name(), true).c_str());
    else
      std::fprintf(stderr, "cvlhost: the camera refused %s = %d\n", options.property.c_str(), options.value);
    return 1;
  }
  // The driver keeps a value the camera refuses (outside its range, say)
  // and answers 1; its log line says so.
  if (WasRefused(options.property)) {
    std::fprintf(stderr, "cvlhost: the camera refused %s = %d (see the log line above)\n", options.property.c_str(),
                 options.value);
    return 1;
  }
  if (!cvlhost::TakesEffectOnReopen(options.property)) {
    std::printf("%s set to %d\n", options.property.c_str(), options.value);
  } else if (options.reopen) {
    std::printf("%s set to %d\n", options.property.c_str(), options.value);
    port.Reopen();
  } else {
    std::printf("%s set to %d; it takes effect when the camera is opened again (--reopen: now)\n",
                options.property.c_str(), options.value);
  }
  return 0;
}

int RunRange(Module& module, const Options& options) {
  Session session(module, options);
  OpenPort port(module, options);
  int minValue = 0, maxValue = 0;
  if (!module.getPropertyRange(0, port.Port(), options.property.c_str(), &minValue, &maxValue)) {
    if (cvlhost::Classify(options.property, false) == cvlhost::NameKind::kCommandWord)
      std::fprintf(stderr, "cvlhost: %s has no range\n", options.property.c_str());
    else
      std::fprintf(stderr, "cvlhost: %s has no range: %s\n", options.property.c_str(),
                   cvlhost::Unanswered(options.property, port.Name(), false).c_str());
    return 1;
  }
  if (options.json)
    PrintJson({{"camera", port.Name()},
               {"port", port.Port()},
               {"name", options.property},
               {"min", minValue},
               {"max", maxValue}});
  else
    std::printf("%s: %d .. %d\n", options.property.c_str(), minValue, maxValue);
  return 0;
}

// Every documented parameter the camera answers for, with its value and
// range, then the command words getProperty answers. The exports cannot list
// a camera's properties: the names come from cvlhost's list of the
// documented ones, and a name the camera lacks is left out.
int RunProperties(Module& module, const Options& options) {
  Session session(module, options);
  OpenPort port(module, options);
  nlohmann::json rows = nlohmann::json::array();
  std::vector<std::string> names = cvlhost::DocumentedParameterNames();
  names.push_back("PixelSize");
  for (const std::string& name : names) {
    int value = 0;
    if (!module.getProperty(0, port.Port(), name.c_str(), &value)) continue;
    nlohmann::json row = {{"name", name}, {"value", value}, {"min", nullptr}, {"max", nullptr}};
    int minValue = 0, maxValue = 0;
    if (module.getPropertyRange(0, port.Port(), name.c_str(), &minValue, &maxValue)) {
      row["min"] = minValue;
      row["max"] = maxValue;
    }
    rows.push_back(row);
  }
  if (options.json) {
    PrintJson({{"camera", port.Name()}, {"port", port.Port()}, {"properties", rows}});
    return 0;
  }
  std::printf("%zu properties of %s on port %d (name, value, range):\n", rows.size(), port.Name().c_str(), port.Port());
  for (const nlohmann::json& row : rows) {
    const std::string name = row["name"];
    if (row["min"].is_null())
      std::printf("  %-20s %11d\n", name.c_str(), row["value"].get<int>());
    else
      std::printf("  %-20s %11d   %d .. %d\n", name.c_str(), row["value"].get<int>(), row["min"].get<int>(),
                  row["max"].get<int>());
  }
  return 0;
}

// The dialog runs on this thread; without a display the driver refuses it
// and the result is that of Cancel. As a host does, the camera is opened on
// its port first, so that the dialog lists every feature of the camera; a
// camera not opened shows only the settings that need none.
int RunConfigure(Module& module, const Options& options) {
  Session session(module, options);
  const std::string name = ChooseCamera(module, options);
  bool listed = false;
  const char** names = module.getCVLCameraConfigNames();
  for (int i = 0; names && names[i]; ++i) listed |= name == names[i];
  // configureCamera answers 0 for an unknown camera as for a confirmed dialog.
  if (!listed) throw std::runtime_error("no camera named '" + name + "'");
  std::optional<OpenPort> port;
  if (!options.configureClosed) port.emplace(module, options);
  const int result = module.configureCamera(options.window, name.c_str());
  std::printf("configureCamera(%s) = %d: %s\n", name.c_str(), result,
              result == 0 ? "confirmed, settings saved"
                          : "not confirmed (cancelled, or refused: see the log), nothing changed");
  return 0;
}

// The live view; the camera is opened by the view itself, which opens it
// again after the configuration dialog's OK.
int RunView(Module& module, const Options& options) {
  // Said before the bus is enumerated: without a display there is nothing to do.
  if (const std::string problem = DisplayProblem(); !problem.empty()) {
    std::fprintf(stderr, "cvlhost: %s\n", problem.c_str());
    return 1;
  }
  Session session(module, options);
  return RunLiveView(module, {options.camera, options.port, options.viewOutputDir}, options.viewScreenshot);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options options;
  CLI::App app{"Reference host for the Vorquell camera driver"};
  app.require_subcommand(1);
  // The options of cvlhost itself may also follow the command, as people
  // type them: "cvlhost list --json".
  app.fallthrough();
  app.set_version_flag("--version", "cvlhost " VQ_VERSION);
  app.add_option("--module", options.modulePath,
                 "Path of libVorquellCamera.so (default: $VORQUELL_CAMERA_MODULE, else the module beside "
                 "cvlhost, else the installed one)");
  app.add_option("--system-path", options.systemPath, "The host's system folder (settings and log file)")
      ->capture_default_str();
  app.add_option("--log-level", options.logLevel, "Driver log level, 0 to 4")->check(CLI::Range(0, 4));
  app.add_flag("--json", options.json,
               "list, get, range, properties, grab: print the result as one JSON document on standard output (the "
               "log and messages go to standard error)");
  std::string backend;
  app.add_option("--backend", backend, "Camera SDK backend: sim or aravis (sets VORQUELL_SDK_BACKEND)");

  auto addCameraOptions = [&](CLI::App* command) {
    command->add_option("--camera", options.camera, "Camera name as listed (default: the first camera)");
    command->add_option("--port", options.port, "Host port to open the camera on")->capture_default_str();
  };

  CLI::App* list = app.add_subcommand("list", "List the cameras on the bus");

  CLI::App* grab = app.add_subcommand("grab", "Grab frames, write them as PNG files, print the statistics");
  addCameraOptions(grab);
  grab->add_option("-n,--frames", options.frames, "Number of frames (more than one grabs continuously)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  grab->add_flag("--continuous", options.continuous, "Grab continuously even for one frame");
  grab->add_option("--save", options.save, "Write the first N frames as PNG files")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  grab->add_option("-o,--output", options.outputDir, "Folder for the PNG files")->capture_default_str();
  grab->add_option("--timeout", options.timeoutSeconds, "Seconds to wait for each frame")->capture_default_str();
  grab->add_option("--set", options.settings, "NAME=VALUE property set before grabbing (repeatable)");

  CLI::App* get = app.add_subcommand("get", "Read a property or command word of an opened camera");
  addCameraOptions(get);
  get->add_option("name", options.property, "Property name")->required();

  CLI::App* set = app.add_subcommand("set", "Write a property or run a command word on an opened camera");
  addCameraOptions(set);
  set->add_option("name", options.property, "Property name")->required();
  set->add_option("value", options.value, "Value")->required();
  set->add_flag("--reopen", options.reopen,
                "Reopen the camera after the set, for values that take effect only then (video mode, frame rate, "
                "Format7)");

  CLI::App* range = app.add_subcommand("range", "Read the range of a property of an opened camera");
  addCameraOptions(range);
  range->add_option("name", options.property, "Property name")->required();

  CLI::App* properties = app.add_subcommand(
      "properties", "List every property of an opened camera with its value and range (the documented names it has)");
  addCameraOptions(properties);

  CLI::App* configure = app.add_subcommand("configure", "Show the configuration dialog of a camera, print the result");
  addCameraOptions(configure);
  configure->add_option("--window", options.window, "X11 id of the window to show the dialog over (0: none)")
      ->capture_default_str();
  configure->add_flag("--closed", options.configureClosed,
                      "Do not open the camera first: the dialog then shows only LogLevel, LogIntoFile and Continuous");

  CLI::App* view = app.add_subcommand(
      "view",
      "Live view of a camera (needs a display): Space pause, G single grab, S save PNG, C configure, F fit/1:1");
  addCameraOptions(view);
  view->add_option("-o,--output", options.viewOutputDir, "Folder for frames saved as PNG")->capture_default_str();
  view->add_option("--screenshot", options.viewScreenshot,
                   "Save a picture of the window as PNG after a second and a half of frames, then quit");

  CLI11_PARSE(app, argc, argv);

  // The driver takes its initial log level from the environment, so that the
  // enumeration at initialize is already logged at the chosen level.
  if (options.logLevel) setenv("VORQUELL_LOG_LEVEL", std::to_string(*options.logLevel).c_str(), 1);
  if (options.json) prose = stderr;
  // The module chooses its backend once, at its first SDK call.
  if (!backend.empty()) setenv("VORQUELL_SDK_BACKEND", backend.c_str(), 1);
  try {
    Module module(FindModule(options.modulePath));
    if (list->parsed()) return RunList(module, options);
    if (grab->parsed()) return RunGrab(module, options);
    if (get->parsed()) return RunGet(module, options);
    if (set->parsed()) return RunSet(module, options);
    if (range->parsed()) return RunRange(module, options);
    if (properties->parsed()) return RunProperties(module, options);
    if (configure->parsed()) return RunConfigure(module, options);
    if (view->parsed()) return RunView(module, options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "cvlhost: %s\n", error.what());
    return 1;
  }
  return 0;
}
