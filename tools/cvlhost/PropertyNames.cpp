#include "tools/cvlhost/PropertyNames.h"

#include <strings.h>

#include <algorithm>

namespace cvlhost {

namespace {

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool Holds(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& known) { return SameName(known, name); });
}

std::vector<std::string> BuildParameterNames() {
  std::vector<std::string> names = {"LogLevel", "LogIntoFile", "DebugViewOutput", "Continuous"};
  // Each camera property: its value, then the controls the camera supports.
  for (const char* property : {"Brightness", "AutoExposure", "Sharpness", "WhiteBalance", "Hue", "Saturation", "Gamma",
                               "Iris", "Focus", "Zoom", "Pan", "Tilt", "Shutter", "Gain", "FrameRate", "Temperature"}) {
    for (const char* control : {"On", "", "Auto", "OnePush"}) names.push_back(std::string(property) + control);
  }
  names.insert(names.end(), {"DCAMVideoMode", "DCAMFrameRate", "Fmt7Mode", "offsetX", "offsetY", "width", "height",
                             "Fmt7PacketSize", "Fmt7PixelFormat"});
  for (int pin = 0; pin < 4; ++pin) {
    for (const char* base : {"StrobeOn", "StrobeDelay", "StrobeDuration", "StrobePolarity", "GPIODirection"})
      names.push_back(base + std::to_string(pin));
  }
  names.insert(names.end(), {"TriggerOn", "TriggerSource", "TriggerMode1", "TriggerParameter", "TriggerPolarity"});
  for (const char* control : {"On", "", "Auto", "OnePush"}) names.push_back(std::string("TriggerDelay") + control);
  return names;
}

}  // namespace

const std::vector<std::string>& DocumentedParameterNames() {
  static const std::vector<std::string> names = BuildParameterNames();
  return names;
}

const std::vector<std::string>& SetCommandWords() {
  // In the order setProperty tries them.
  static const std::vector<std::string> words = {
      "debugview",  "loglevel",   "resetallstats", "resetallstat", "PrintAllStat",    "PrintAllStats",   "PrintStat",
      "BusRemoval", "BusArrival", "continuous",    "continous",    "executebusreset", "TriggerSoftware", "Reset"};
  return words;
}

const std::vector<std::string>& GetCommandWords() {
  static const std::vector<std::string> words = {"PixelSize",     "continuous",        "continous",
                                                 "FrameNumber",   "FrameTimestampLow", "FrameTimestampHigh",
                                                 "FramesDropped", "FramesIncomplete"};
  return words;
}

bool TakesEffectOnReopen(const std::string& name) {
  static const std::vector<std::string> geometry = {"DCAMVideoMode",   "DCAMFrameRate",  "Fmt7Mode",
                                                    "Fmt7PixelFormat", "Fmt7PacketSize", "width",
                                                    "height",          "offsetX",        "offsetY"};
  return Holds(geometry, name);
}

std::string ParameterOf(const std::string& hostName) { return hostName == "Exposure" ? "AutoExposure" : hostName; }

NameKind Classify(const std::string& name, bool forSet) {
  // "Reset" is a command word only where the camera has no parameter of
  // that name, and the documented parameters hold none.
  if (Holds(forSet ? SetCommandWords() : GetCommandWords(), name)) return NameKind::kCommandWord;
  if (Holds(DocumentedParameterNames(), ParameterOf(name))) return NameKind::kParameter;
  return NameKind::kUnknown;
}

std::string Unanswered(const std::string& name, const std::string& camera, bool forSet) {
  switch (Classify(name, forSet)) {
    case NameKind::kUnknown:
      return "'" + name +
             "' is no property name the driver knows (docs/properties.md lists them; "
             "'cvlhost properties' lists the camera's)";
    case NameKind::kParameter:
      return camera + " has no property " + name + " (a name the driver knows, but not a feature of this camera)";
    case NameKind::kCommandWord: break;
  }
  return "the command word " + name + " failed (see the log)";
}

}  // namespace cvlhost
