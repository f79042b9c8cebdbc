#pragma once
// Typed access to one value of a fleet description that knows where it
// stands in the file, so that every complaint names its key path
// ("cameras[1].serial: expected ..., got string"). Complaints are thrown as
// FleetError.
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

class FleetNode {
 public:
  FleetNode(const nlohmann::json& value, std::string path) : _value(value), _path(std::move(path)) {}

  [[noreturn]] static void Fail(const std::string& path, const std::string& problem);
  static std::string MemberPath(const std::string& path, const std::string& key);
  static std::string ElementPath(const std::string& path, size_t index);

  const nlohmann::json& Value() const { return _value; }
  const std::string& Path() const { return _path; }
  // Throws the problem at this node's path.
  [[noreturn]] void Reject(const std::string& problem) const { Fail(_path, problem); }

  const FleetNode& RequireObject() const;
  bool Has(const char* key) const { return _value.is_object() && _value.contains(key); }
  // A member that must be there.
  FleetNode operator[](const char* key) const;
  std::vector<FleetNode> Elements() const;
  // The members of an object, sorted by key.
  std::vector<std::pair<std::string, FleetNode>> Members() const;

  bool Bool() const;
  const std::string& String() const;
  unsigned int UInt32() const;
  // A finite number that fits a float.
  float Float() const;
  // An array of exactly `count` unsigned 32-bit integers.
  std::vector<unsigned int> UInt32s(size_t count) const;

  FlyCapture2::VideoMode VideoModeValue(bool allowFormat7) const;
  FlyCapture2::FrameRate FrameRateValue(bool allowFormat7) const;
  FlyCapture2::PixelFormat PixelFormatValue() const;
  FlyCapture2::BayerTileFormat BayerValue() const;

 private:
  [[noreturn]] void WrongType(const char* expected) const;

  const nlohmann::json& _value;
  std::string _path;
};

}  // namespace vq::sim
