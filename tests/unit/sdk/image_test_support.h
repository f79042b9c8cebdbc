#pragma once
// Helpers for the image conversion tests: building source images, reading
// BGR pixels, and the BT.601 studio-range formulas the conversions must meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "sdk/FlyCapture2.h"

namespace imagetest {

struct Bgr {
  int b;
  int g;
  int r;
  bool operator==(const Bgr& other) const { return b == other.b && g == other.g && r == other.r; }
};

inline std::ostream& operator<<(std::ostream& out, const Bgr& c) {
  return out << "(B " << c.b << ", G " << c.g << ", R " << c.r << ")";
}

inline int Clamp255(double value) { return static_cast<int>(std::clamp(std::round(value), 0.0, 255.0)); }

// The colour a studio-range BT.601 sample stands for.
inline Bgr FromYuv(int y, int u, int v) {
  const double luma = 1.164 * (y - 16);
  return {Clamp255(luma + 2.017 * (u - 128)), Clamp255(luma - 0.392 * (u - 128) - 0.813 * (v - 128)),
          Clamp255(luma + 1.596 * (v - 128))};
}

struct Yuv {
  int y;
  int u;
  int v;
};

// The studio-range BT.601 sample of a colour, as a camera encodes it.
inline Yuv ToYuv(const Bgr& c) {
  return {Clamp255(16 + (65.738 * c.r + 129.057 * c.g + 25.064 * c.b) / 256),
          Clamp255(128 + (-37.945 * c.r - 74.494 * c.g + 112.439 * c.b) / 256),
          Clamp255(128 + (112.439 * c.r - 94.154 * c.g - 18.285 * c.b) / 256)};
}

inline Bgr PixelAt(const FlyCapture2::Image& image, unsigned row, unsigned col) {
  const unsigned char* p = image.GetData() + static_cast<size_t>(row) * image.GetStride() + 3 * col;
  return {p[0], p[1], p[2]};
}

inline ::testing::AssertionResult Near(const Bgr& actual, const Bgr& expected, int tolerance) {
  if (std::abs(actual.b - expected.b) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
      std::abs(actual.r - expected.r) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " is not within " << tolerance << " of " << expected;
}

// An image of the given shape whose every byte, padding included, is `fill`.
inline FlyCapture2::Image MakeImage(unsigned rows, unsigned cols, unsigned stride, FlyCapture2::PixelFormat format,
                                    FlyCapture2::BayerTileFormat tile = FlyCapture2::NONE, unsigned char fill = 0xEE) {
  FlyCapture2::Image image(rows, cols, stride, format, tile);
  std::fill_n(image.GetData(), image.GetDataSize(), fill);
  return image;
}

inline unsigned char* RowOf(FlyCapture2::Image& image, unsigned row) {
  return image.GetData() + static_cast<size_t>(row) * image.GetStride();
}

}  // namespace imagetest
