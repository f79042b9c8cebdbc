#pragma once
// The feature sets of the built-in cameras, also the starting point of the
// cameras of a fleet file (by their colour flag).
#include "sdk/sim/FeatureConfig.h"

namespace vq::sim {

// Brightness, AutoExposure, Sharpness, WhiteBalance (one-push, no automatic
// mode), Hue, Saturation, Gamma, Shutter, Gain, TriggerDelay, FrameRate and a
// read-only Temperature; a trigger with modes 0, 1, 3, 14 and 15 on GPIO0 to
// GPIO3 with polarity and software trigger; strobe pins 0 and 1 with
// polarity; GPIO1 an output.
FeatureConfig DefaultColorFeatures();

// Brightness, AutoExposure, Sharpness, Gamma, Shutter, Gain, FrameRate and
// Temperature; a trigger with modes 0, 1 and 3 on GPIO0 and GPIO2, without
// polarity, software trigger or trigger delay; strobe pin 0 without polarity.
FeatureConfig DefaultMonoFeatures();

}  // namespace vq::sim
