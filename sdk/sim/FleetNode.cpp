#include "sdk/sim/FleetNode.h"

#include <cmath>
#include <limits>

#include "sdk/sim/FleetParser.h"
#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;
using nlohmann::json;

void FleetNode::Fail(const std::string& path, const std::string& problem) {
  throw FleetError(path.empty() ? problem : path + ": " + problem);
}

std::string FleetNode::MemberPath(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

std::string FleetNode::ElementPath(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

void FleetNode::WrongType(const char* expected) const {
  Reject(std::string("expected ") + expected + ", got " + _value.type_name());
}

const FleetNode& FleetNode::RequireObject() const {
  if (!_value.is_object()) WrongType("an object");
  return *this;
}

FleetNode FleetNode::operator[](const char* key) const {
  RequireObject();
  auto it = _value.find(key);
  if (it == _value.end()) Reject(std::string("missing required key '") + key + "'");
  return FleetNode(*it, MemberPath(_path, key));
}

std::vector<FleetNode> FleetNode::Elements() const {
  if (!_value.is_array()) WrongType("an array");
  std::vector<FleetNode> elements;
  for (size_t i = 0; i < _value.size(); ++i) elements.emplace_back(_value[i], ElementPath(_path, i));
  return elements;
}

std::vector<std::pair<std::string, FleetNode>> FleetNode::Members() const {
  RequireObject();
  std::vector<std::pair<std::string, FleetNode>> members;
  for (auto it = _value.begin(); it != _value.end(); ++it)
    members.emplace_back(it.key(), FleetNode(it.value(), MemberPath(_path, it.key())));
  return members;
}

bool FleetNode::Bool() const {
  if (!_value.is_boolean()) WrongType("true or false");
  return _value.get<bool>();
}

const std::string& FleetNode::String() const {
  if (!_value.is_string()) WrongType("a string");
  return _value.get_ref<const std::string&>();
}

unsigned int FleetNode::UInt32() const {
  if (!_value.is_number_integer()) WrongType("an unsigned 32-bit integer");
  if (_value.is_number_unsigned() && _value.get<uint64_t>() <= std::numeric_limits<uint32_t>::max())
    return static_cast<unsigned int>(_value.get<uint64_t>());
  Reject(_value.dump() + " is not an unsigned 32-bit integer");
}

float FleetNode::Float() const {
  if (!_value.is_number()) WrongType("a number");
  double value = _value.get<double>();
  if (!std::isfinite(value) || std::abs(value) > std::numeric_limits<float>::max())
    Reject(_value.dump() + " is out of range");
  return static_cast<float>(value);
}

std::vector<unsigned int> FleetNode::UInt32s(size_t count) const {
  if (!_value.is_array() || _value.size() != count)
    Reject("expected an array of " + std::to_string(count) + " unsigned integers, got " + _value.dump());
  std::vector<unsigned int> values;
  for (const FleetNode& element : Elements()) values.push_back(element.UInt32());
  return values;
}

VideoMode FleetNode::VideoModeValue(bool allowFormat7) const {
  VideoMode mode = VIDEOMODE_640x480Y8;
  if (_value.is_string()) {
    if (!VideoModeFromName(String(), &mode)) Reject("unknown video mode \"" + String() + "\"");
  } else if (_value.is_number_integer()) {
    unsigned int number = UInt32();
    if (number >= NUM_VIDEOMODES) Reject("unknown video mode " + std::to_string(number));
    mode = static_cast<VideoMode>(number);
  } else {
    WrongType("a video mode name or number");
  }
  if (mode == VIDEOMODE_FORMAT7 && !allowFormat7)
    Reject("FORMAT7 is not a fixed video mode; describe it under \"format7\"");
  return mode;
}

FrameRate FleetNode::FrameRateValue(bool allowFormat7) const {
  FrameRate rate = FRAMERATE_30;
  if (_value.is_string()) {
    if (!FrameRateFromName(String(), &rate)) Reject("unknown frame rate \"" + String() + "\"");
  } else if (_value.is_number()) {
    if (!FrameRateFromFps(_value.get<double>(), &rate)) Reject("unknown frame rate " + _value.dump());
  } else {
    WrongType("a frame rate name or number");
  }
  if (rate == FRAMERATE_FORMAT7 && !allowFormat7) Reject("FORMAT7 is not a fixed frame rate");
  return rate;
}

PixelFormat FleetNode::PixelFormatValue() const {
  PixelFormat format = UNSPECIFIED_PIXEL_FORMAT;
  if (!PixelFormatFromName(String(), &format)) Reject("unknown pixel format \"" + String() + "\"");
  if (!IsSimulatedPixelFormat(format)) Reject("pixel format " + String() + " is not simulated");
  return format;
}

BayerTileFormat FleetNode::BayerValue() const {
  BayerTileFormat bayer = NONE;
  if (!BayerTileFromName(String(), &bayer)) Reject("unknown Bayer tile \"" + String() + "\"");
  return bayer;
}

}  // namespace vq::sim
