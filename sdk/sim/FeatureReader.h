#pragma once
// Reads the feature sections of one camera of a fleet description:
// "properties", "trigger", "strobes" and "gpio", and the feature faults.
// Each section that is given replaces the built-in one of the camera's
// colour; an entry for a feature the built-in set has starts from the
// built-in description, and the keys given change it (FLEET.md).
#include "sdk/sim/CameraFaults.h"
#include "sdk/sim/FeatureConfig.h"
#include "sdk/sim/FleetNode.h"

namespace vq::sim {

class FeatureReader {
 public:
  // `features` holds the built-in set on entry. Throws FleetError.
  static void Read(const FleetNode& camera, FeatureConfig* features);
  // The masks of the feature operations in a camera's "faults" object.
  static void ReadFaults(const FleetNode& faults, CameraFaults* target);
};

}  // namespace vq::sim
