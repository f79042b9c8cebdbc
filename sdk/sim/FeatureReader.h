#pragma once
// Reads the feature sections of one camera of a fleet description:
// "properties", "trigger", "strobes" and "gpio", and the feature faults.
// Each section that is given replaces the starting one (the built-in set of
// the camera's colour; nothing for the built-in cameras themselves); an
// entry for a feature the starting set has starts from its description, and
// the keys given change it (FLEET.md).
#include "sdk/sim/CameraFaults.h"
#include "sdk/sim/FeatureConfig.h"
#include "sdk/sim/FleetNode.h"

namespace vq::sim {

class FeatureReader {
 public:
  // `features` holds the starting set on entry. Throws FleetError.
  static void Read(const FleetNode& camera, FeatureConfig* features);
  // The masks of the feature operations in a camera's "faults" object.
  static void ReadFaults(const FleetNode& faults, CameraFaults* target);
};

}  // namespace vq::sim
