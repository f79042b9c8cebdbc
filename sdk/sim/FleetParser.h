#pragma once
// Reads a fleet description (JSON, documented in FLEET.md) into a
// FleetConfig. Keys it does not know are ignored, so files written for later
// versions still load.
#include <stdexcept>
#include <string>

#include "sdk/sim/CameraConfig.h"

namespace vq::sim {

// The problem with a fleet description, as one line of text.
class FleetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FleetParser {
 public:
  // Throws FleetError: "line 3, column 5: syntax error ..." for malformed
  // JSON, "cameras[1].serial: expected ..., got string" for a wrong type,
  // "cameras[0]: missing required key 'model'" and the like.
  static FleetConfig Parse(const std::string& text);

  // Reads and parses a file. The FleetError text names the file:
  // "Simulated fleet file '/x/y.json': <problem>".
  static FleetConfig ParseFile(const std::string& path);
};

}  // namespace vq::sim
