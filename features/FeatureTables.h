#pragma once
// The fixed tables that map camera features to parameter names and option
// labels.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sdk/FlyCapture2.h"

namespace vq {

// Camera properties that become parameters, in the order they are read and
// written. Trigger mode and trigger delay have their own mapping.
struct FlyPropertyRow {
  const char* name;
  FlyCapture2::PropertyType type;
};
inline constexpr size_t FlyPropertyTableSize = 16;
extern const FlyPropertyRow FlyPropertyTable[FlyPropertyTableSize];

// Option labels of "DCAMVideoMode", indexed by video mode 0 to 23.
extern const char* const VideoModeNames[FlyCapture2::NUM_VIDEOMODES];

// Option labels of "DCAMFrameRate", indexed by frame rate 0 to 7. The Format7
// rate (8) has no label here; it is offered as "FORMAT7".
inline constexpr size_t FrameRateNameCount = 8;
extern const char* const FrameRateNames[FrameRateNameCount];
// The label of a fixed frame rate; nullptr for a rate without one.
const char* FrameRateName(int64_t rate);

// Enumeration options carry the pixel format sign-extended from 32 bits.
inline int64_t PixelFormatOptionValue(uint32_t format) { return static_cast<int32_t>(format); }

// Base names of the trigger and strobe parameters; the strobe and GPIO ones
// are followed by the pin number ("StrobeOn0").
enum TriggerStrobeName {
  TriggerOnName,
  TriggerMode1Name,
  TriggerPolarityName,
  TriggerSourceName,
  TriggerParameterName,
  StrobeOnName,
  StrobePolarityName,
  StrobeDelayName,
  StrobeDurationName,
  GPIODirectionName,
  TriggerStrobeNameCount
};
extern const char* const TriggerStrobeNames[TriggerStrobeNameCount];
// The base name followed by the pin number in decimal.
std::string PinParamName(TriggerStrobeName base, unsigned pin);
// A trigger or strobe parameter (or TriggerDelay): written to an open camera
// at once, since it leaves the frame's size as it is.
bool IsTriggerStrobeParameter(const std::string& name);
// A parameter that sets the frame's geometry (video mode, frame rate,
// Format7): it reaches the camera at its next open, where the host learns
// the size.
bool IsGeometryParameter(const std::string& name);

}  // namespace vq
