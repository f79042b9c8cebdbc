#include "params/ParamGroupTable.h"

#include <iterator>

namespace vq {

namespace {

constexpr const char* CameraSettings = "Camera Settings";
constexpr const char* StrobeTrigger = "Strobe / Trigger";
constexpr const char* Format7 = "Format7";

}  // namespace

// Each camera property has four rows: its value, On, OnePush and Auto.
#define VQ_PROPERTY_ROWS(property, group) \
  {property, group}, {property "On", group}, {property "OnePush", group}, { property "Auto", group }

const ParamGroupRow ParamGroupTable[] = {
    VQ_PROPERTY_ROWS("Brightness", CameraSettings),
    VQ_PROPERTY_ROWS("AutoExposure", CameraSettings),
    VQ_PROPERTY_ROWS("Sharpness", CameraSettings),
    VQ_PROPERTY_ROWS("WhiteBalance", CameraSettings),
    VQ_PROPERTY_ROWS("Hue", CameraSettings),
    VQ_PROPERTY_ROWS("Saturation", CameraSettings),
    VQ_PROPERTY_ROWS("Gamma", CameraSettings),
    VQ_PROPERTY_ROWS("Iris", CameraSettings),
    VQ_PROPERTY_ROWS("Focus", CameraSettings),
    VQ_PROPERTY_ROWS("Zoom", CameraSettings),
    VQ_PROPERTY_ROWS("Pan", CameraSettings),
    VQ_PROPERTY_ROWS("Tilt", CameraSettings),
    VQ_PROPERTY_ROWS("Shutter", CameraSettings),
    VQ_PROPERTY_ROWS("Gain", CameraSettings),
    VQ_PROPERTY_ROWS("TriggerMode", StrobeTrigger),
    VQ_PROPERTY_ROWS("TriggerDelay", StrobeTrigger),
    VQ_PROPERTY_ROWS("FrameRate", CameraSettings),
    VQ_PROPERTY_ROWS("Temperature", CameraSettings),

    {"offsetX", Format7},
    {"offsetY", Format7},
    {"height", Format7},
    {"width", Format7},
    {"Fmt7PacketSize", Format7},

    // The strobe 0 rows appear twice; lookup takes the first match, so the
    // second three are never reached.
    {"StrobeOn0", StrobeTrigger},
    {"StrobeDelay0", StrobeTrigger},
    {"StrobeDuration0", StrobeTrigger},
    {"StrobeOn0", StrobeTrigger},
    {"StrobeDelay0", StrobeTrigger},
    {"StrobeDuration0", StrobeTrigger},
    {"StrobeOn1", StrobeTrigger},
    {"StrobeDelay1", StrobeTrigger},
    {"StrobeDuration1", StrobeTrigger},
    {"StrobeOn2", StrobeTrigger},
    {"StrobeDelay2", StrobeTrigger},
    {"StrobeDuration2", StrobeTrigger},
    {"StrobeOn3", StrobeTrigger},
    {"StrobeDelay3", StrobeTrigger},
    {"StrobeDuration3", StrobeTrigger},

    {"TriggerOn", StrobeTrigger},
    {"TriggerParameter", StrobeTrigger},

    {nullptr, nullptr},
};

#undef VQ_PROPERTY_ROWS

static_assert(std::size(ParamGroupTable) == ParamGroupTableSize);

const char* LookupParamGroup(const std::string& name) {
  for (const ParamGroupRow* row = ParamGroupTable; row->name != nullptr; ++row) {
    if (name == row->name) return row->group;
  }
  return "Camera";
}

}  // namespace vq
