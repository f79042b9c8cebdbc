#pragma once
// The names of the pixel formats the SDK knows ("MONO8", "RAW8", ...), in the
// order a camera's Format7 pixel formats are offered: the fleet files and the
// driver's "Fmt7PixelFormat" options both use them.
#include <cstddef>

#include "sdk/FlyCapture2.h"

namespace FlyCapture2 {

struct PixelFormatName {
  const char* name;
  PixelFormat format;
};

inline constexpr size_t kPixelFormatNameCount = 16;
extern const PixelFormatName kPixelFormatNames[kPixelFormatNameCount];

}  // namespace FlyCapture2
