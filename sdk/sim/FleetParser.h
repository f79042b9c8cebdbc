#pragma once
// Reads a fleet description (JSON, documented in FLEET.md) into a
// FleetConfig, and holds the built-in fleet, default-fleet.json beside this
// file, compiled into the module. Keys the parser does not know are
// ignored, so files written for later versions still load.
#include <stdexcept>
#include <string>
#include <string_view>

#include "sdk/sim/CameraConfig.h"

namespace vq::sim {

// The problem with a fleet description, as one line of text.
class FleetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FleetParser {
 public:
  // Each camera starts from the built-in camera of its colour, and the keys
  // given change it. Throws FleetError: "line 3, column 5: syntax error ..."
  // for malformed JSON, "cameras[1].serial: expected ..., got string" for a
  // wrong type, "cameras[0]: missing required key 'model'" and the like.
  static FleetConfig Parse(const std::string& text);

  // Reads and parses a file. The FleetError text names the file:
  // "Simulated fleet file '/x/y.json': <problem>".
  static FleetConfig ParseFile(const std::string& path);

  // Reads a description that starts its cameras from nothing: what a camera
  // leaves out it lacks. It must hold a colour and a monochrome camera,
  // whose first ones become the built-in cameras. The FleetError text:
  // "Built-in simulated fleet: <problem>".
  static FleetConfig ParseBuiltIn(std::string_view text);
};

// ---- the built-in fleet ----------------------------------------------------
// Parsed once, on first use; each call hands out a copy. Every one of them
// throws FleetError ("Built-in simulated fleet: <problem>") if the compiled-in
// document cannot be read.

// default-fleet.json as it was built into the module.
std::string_view DefaultFleetDocument();

FleetConfig DefaultFleet();
// The first colour and the first monochrome camera of the built-in fleet,
// with their own serial number or the one given.
CameraConfig DefaultColorCamera();
CameraConfig DefaultColorCamera(unsigned int serial);
CameraConfig DefaultMonoCamera();
CameraConfig DefaultMonoCamera(unsigned int serial);

}  // namespace vq::sim
