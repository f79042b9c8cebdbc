#pragma once
// Frame sizes of the fixed DCAM video modes.
#include <cstddef>
#include <cstdint>

namespace vq {

struct DcamImageSize {
  unsigned width;
  unsigned height;
};

// Indexed by DCAM video mode value 0 to 22, in the order of the mode labels.
inline constexpr size_t DcamImageSizeCount = 23;
extern const DcamImageSize DcamImageSizes[DcamImageSizeCount];

// The video mode value that selects Format7, whose size is its own region.
inline constexpr int64_t Format7VideoMode = 23;

}  // namespace vq
