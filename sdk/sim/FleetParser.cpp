#include "sdk/sim/FleetParser.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "sdk/sim/FeatureReader.h"
#include "sdk/sim/FleetNode.h"

namespace vq::sim {

using namespace FlyCapture2;
using nlohmann::json;

namespace {

// Reads one camera. Each optional section has its own reader; the feature
// sections are FeatureReader's.
class CameraReader {
 public:
  // `fromBuiltIn`: the camera starts from the built-in camera of its colour;
  // otherwise from nothing.
  CameraReader(const FleetNode& node, bool fromBuiltIn) : _node(node), _fromBuiltIn(fromBuiltIn) {}

  CameraConfig Read() {
    _node.RequireObject();
    bool color = _node["color"].Bool();
    if (_fromBuiltIn) _camera = color ? DefaultColorCamera() : DefaultMonoCamera();
    _camera.color = color;
    _camera.model = _node["model"].String();
    _camera.serial = _node["serial"].UInt32();
    if (_camera.serial == 0)
      FleetNode::Fail(FleetNode::MemberPath(_node.Path(), "serial"), "the serial number must not be 0");
    if (_node.Has("vendor")) _camera.vendor = _node["vendor"].String();
    if (_node.Has("freeRunning")) _camera.freeRunning = _node["freeRunning"].Bool();
    if (_node.Has("faults")) ReadFaults(_node["faults"]);
    if (_node.Has("videoModes")) ReadVideoModes(_node["videoModes"]);
    if (_node.Has("format7")) ReadFormat7Modes(_node["format7"]);
    if (_node.Has("current")) ReadCurrent(_node["current"]);
    FeatureReader::Read(_node, &_camera.features);
    std::string problem = CheckCameraConfig(_camera);
    if (!problem.empty()) FleetNode::Fail(_node.Path(), problem);
    return _camera;
  }

 private:
  void ReadFaults(const FleetNode& faults) {
    faults.RequireObject();
    if (faults.Has("connect")) _camera.faults.connect = faults["connect"].Bool();
    if (faults.Has("cameraInfo")) _camera.faults.cameraInfo = faults["cameraInfo"].Bool();
    if (faults.Has("startCapture")) _camera.faults.startCapture = faults["startCapture"].Bool();
    if (faults.Has("retrieve")) {
      unsigned int count = faults["retrieve"].UInt32();
      if (count > static_cast<unsigned>(std::numeric_limits<int>::max()))
        FleetNode::Fail(FleetNode::MemberPath(faults.Path(), "retrieve"), "too many failing retrievals");
      _camera.failRetrievals = static_cast<int>(count);
    }
    FeatureReader::ReadFaults(faults, &_camera.faults);
  }

  void ReadVideoModes(const FleetNode& list) {
    _camera.videoModes.clear();
    for (const FleetNode& entry : list.Elements()) {
      VideoModeConfig mode;
      mode.mode = entry["mode"].VideoModeValue(false);
      for (const FleetNode& rate : entry["frameRates"].Elements())
        mode.frameRates.push_back(rate.FrameRateValue(false));
      _camera.videoModes.push_back(std::move(mode));
    }
    // The built-in start-up mode belongs to the built-in mode list.
    if (_camera.videoModes.empty()) {
      _camera.currentMode = VIDEOMODE_FORMAT7;
      _camera.currentRate = FRAMERATE_FORMAT7;
    } else {
      _camera.currentMode = _camera.videoModes.front().mode;
      _camera.currentRate =
          _camera.videoModes.front().frameRates.empty() ? FRAMERATE_30 : _camera.videoModes.front().frameRates.front();
    }
  }

  void ReadFormat7Modes(const FleetNode& list) {
    _camera.format7.clear();
    for (const FleetNode& entry : list.Elements()) _camera.format7.push_back(ReadFormat7Mode(entry));
    _camera.format7Settings = Format7ImageSettings();
    _camera.format7PacketSize = 0;
    if (!_camera.format7.empty()) {
      _camera.format7Settings = FullFrameSettings(_camera.format7.front());
      _camera.format7PacketSize = _camera.format7.front().defaultPacketSize;
    }
  }

  Format7ModeConfig ReadFormat7Mode(const FleetNode& entry) {
    Format7ModeConfig mode;
    mode.mode = entry["mode"].UInt32();
    mode.maxWidth = entry["maxWidth"].UInt32();
    mode.maxHeight = entry["maxHeight"].UInt32();
    if (entry.Has("offsetStep")) {
      auto steps = entry["offsetStep"].UInt32s(2);
      mode.offsetHStep = steps[0];
      mode.offsetVStep = steps[1];
    }
    if (entry.Has("imageStep")) {
      auto steps = entry["imageStep"].UInt32s(2);
      mode.imageHStep = steps[0];
      mode.imageVStep = steps[1];
    }
    for (const FleetNode& format : entry["pixelFormats"].Elements())
      mode.pixelFormats.push_back(format.PixelFormatValue());
    if (entry.Has("packetSize")) {
      auto sizes = entry["packetSize"].UInt32s(3);
      mode.minPacketSize = sizes[0];
      mode.maxPacketSize = sizes[1];
      mode.defaultPacketSize = sizes[2];
    }
    mode.bayer = _camera.color ? RGGB : NONE;
    if (entry.Has("bayer")) mode.bayer = entry["bayer"].BayerValue();
    return mode;
  }

  void ReadCurrent(const FleetNode& current) {
    current.RequireObject();
    _camera.currentMode = current["videoMode"].VideoModeValue(true);
    if (_camera.currentMode == VIDEOMODE_FORMAT7) {
      _camera.currentRate = FRAMERATE_FORMAT7;
      if (current.Has("frameRate") && current["frameRate"].FrameRateValue(true) != FRAMERATE_FORMAT7)
        FleetNode::Fail(FleetNode::MemberPath(current.Path(), "frameRate"),
                        "the frame rate of Format7 must be \"FORMAT7\"");
    } else {
      _camera.currentRate = current["frameRate"].FrameRateValue(false);
    }
    if (current.Has("format7")) ReadFormat7Settings(current["format7"]);
  }

  // Settings left out keep the full-sensor values of the named mode.
  void ReadFormat7Settings(const FleetNode& settings) {
    settings.RequireObject();
    unsigned int modeNumber =
        settings.Has("mode") ? settings["mode"].UInt32() : static_cast<unsigned int>(_camera.format7Settings.mode);
    const Format7ModeConfig* mode = FindFormat7Mode(_camera, modeNumber);
    if (!mode)
      FleetNode::Fail(settings.Path(),
                      "Format7 mode " + std::to_string(modeNumber) + " is not among the camera's modes");
    Format7ImageSettings& target = _camera.format7Settings;
    target = FullFrameSettings(*mode);
    _camera.format7PacketSize = mode->defaultPacketSize;
    if (settings.Has("offsetX")) target.offsetX = settings["offsetX"].UInt32();
    if (settings.Has("offsetY")) target.offsetY = settings["offsetY"].UInt32();
    if (settings.Has("width")) target.width = settings["width"].UInt32();
    if (settings.Has("height")) target.height = settings["height"].UInt32();
    if (settings.Has("pixelFormat")) target.pixelFormat = settings["pixelFormat"].PixelFormatValue();
    if (settings.Has("packetSize")) _camera.format7PacketSize = settings["packetSize"].UInt32();
  }

  const FleetNode& _node;
  const bool _fromBuiltIn;
  CameraConfig _camera;
};

FleetConfig ReadFleet(const json& document, bool fromBuiltIn) {
  FleetNode root(document, "");
  if (!document.is_object())
    FleetNode::Fail("", std::string("the top level must be an object, got ") + document.type_name());
  FleetConfig fleet;
  if (root.Has("faults")) {
    FleetNode faults = root["faults"];
    faults.RequireObject();
    if (faults.Has("count")) fleet.countFault = faults["count"].Bool();
  }
  std::set<unsigned int> serials;
  for (const FleetNode& entry : root["cameras"].Elements()) {
    CameraConfig camera = CameraReader(entry, fromBuiltIn).Read();
    if (!serials.insert(camera.serial).second)
      FleetNode::Fail(FleetNode::MemberPath(entry.Path(), "serial"),
                      "serial number " + std::to_string(camera.serial) + " is used twice");
    fleet.cameras.push_back(std::move(camera));
  }
  return fleet;
}

// nlohmann says "[json.exception.parse_error.101] parse error at line 3,
// column 5: syntax error ..."; keep the part from "line" on.
std::string SyntaxProblem(const json::parse_error& error) {
  std::string text = error.what();
  size_t at = text.find(" at line ");
  if (at != std::string::npos) return text.substr(at + 4);
  size_t bracket = text.find("] ");
  return bracket == std::string::npos ? text : text.substr(bracket + 2);
}

// Any other library error ("[json.exception.out_of_range.406] number overflow
// parsing '1e400'") without the library's tag.
std::string LibraryProblem(const json::exception& error) {
  std::string text = error.what();
  size_t bracket = text.find("] ");
  return text.starts_with("[json.exception.") && bracket != std::string::npos ? text.substr(bracket + 2) : text;
}

std::string ReadWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw FleetError(std::string("cannot open: ") + std::strerror(errno));
  std::string text;
  char buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  bool failed = std::ferror(file);
  int error = errno;
  std::fclose(file);
  if (failed) throw FleetError(std::string("cannot read: ") + std::strerror(error));
  return text;
}

FleetConfig ParseText(std::string_view text, bool fromBuiltIn) {
  json document;
  try {
    document = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& error) {
    throw FleetError(SyntaxProblem(error));
  } catch (const json::exception& error) {
    // A number beyond the double range, wherever it stands.
    throw FleetError(LibraryProblem(error));
  }
  try {
    return ReadFleet(document, fromBuiltIn);
  } catch (const json::exception& error) {
    // The readers check every type before they convert, so this is a guard.
    throw FleetError(LibraryProblem(error));
  }
}

const CameraConfig* FirstOfColour(const FleetConfig& fleet, bool color) {
  for (const auto& camera : fleet.cameras)
    if (camera.color == color) return &camera;
  return nullptr;
}

// The built-in fleet as parsed once, or why it could not be.
struct BuiltInFleet {
  FleetConfig fleet;
  CameraConfig color;
  CameraConfig mono;
  std::string problem;  // empty when the document was read
};

const BuiltInFleet& BuiltIn() {
  static const BuiltInFleet builtIn = [] {
    BuiltInFleet result;
    try {
      result.fleet = FleetParser::ParseBuiltIn(DefaultFleetDocument());
      result.color = *FirstOfColour(result.fleet, true);
      result.mono = *FirstOfColour(result.fleet, false);
    } catch (const FleetError& error) {
      result.problem = error.what();
    }
    return result;
  }();
  if (!builtIn.problem.empty()) throw FleetError(builtIn.problem);
  return builtIn;
}

CameraConfig WithSerial(CameraConfig camera, unsigned int serial) {
  camera.serial = serial;
  return camera;
}

}  // namespace

FleetConfig FleetParser::Parse(const std::string& text) { return ParseText(text, true); }

FleetConfig FleetParser::ParseFile(const std::string& path) {
  try {
    return Parse(ReadWholeFile(path));
  } catch (const FleetError& error) {
    throw FleetError("Simulated fleet file '" + path + "': " + error.what());
  }
}

FleetConfig FleetParser::ParseBuiltIn(std::string_view text) {
  try {
    FleetConfig fleet = ParseText(text, false);
    if (!FirstOfColour(fleet, true)) FleetNode::Fail("cameras", "there is no colour camera");
    if (!FirstOfColour(fleet, false)) FleetNode::Fail("cameras", "there is no monochrome camera");
    return fleet;
  } catch (const FleetError& error) {
    throw FleetError(std::string("Built-in simulated fleet: ") + error.what());
  }
}

FleetConfig DefaultFleet() { return BuiltIn().fleet; }
CameraConfig DefaultColorCamera() { return BuiltIn().color; }
CameraConfig DefaultColorCamera(unsigned int serial) { return WithSerial(BuiltIn().color, serial); }
CameraConfig DefaultMonoCamera() { return BuiltIn().mono; }
CameraConfig DefaultMonoCamera(unsigned int serial) { return WithSerial(BuiltIn().mono, serial); }

}  // namespace vq::sim
