#pragma once
// The picture a simulated camera delivers: a horizontal grey ramp over the
// upper half of the sensor and eight colour bars in four brightness bands
// over the lower half, moved sideways by a quarter of the sensor from one base
// frame to the next. The pattern is defined in RGB; each pixel format is
// derived from it (see FLEET.md for the formulas). Base frames are rendered
// once, on first use; a delivered frame is a copy of one of them, its levels
// changed on the way when the camera's brightness, gain or shutter say so,
// with its frame number stamped into the first bytes.
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/LevelTransfer.h"

namespace vq::sim {

// Where an image lies on the sensor and how its pixels are stored.
struct FrameLayout {
  unsigned int width = 0;
  unsigned int height = 0;
  FlyCapture2::PixelFormat format = FlyCapture2::UNSPECIFIED_PIXEL_FORMAT;
  FlyCapture2::BayerTileFormat bayer = FlyCapture2::NONE;
  unsigned int sensorX = 0;  // offset of the image on the sensor
  unsigned int sensorY = 0;
  unsigned int sensorWidth = 0;
  unsigned int sensorHeight = 0;

  unsigned int Stride() const;
  bool operator==(const FrameLayout& other) const = default;
};

// A colour with 16-bit channels; 8-bit formats take the upper byte.
struct Rgb {
  uint16_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb& other) const = default;
};

class TestPattern {
 public:
  static constexpr unsigned int kBaseFrames = 4;
  // Bytes at the start of row 0 that carry the frame number (little-endian).
  static constexpr unsigned int kStampBytes = 8;

  explicit TestPattern(const FrameLayout& layout);

  const FrameLayout& Layout() const { return _layout; }

  // Fills `image` with frame `number`: base frame number % kBaseFrames, the
  // levels changed by `levels` unless it is null, the number stamped into the
  // first kStampBytes bytes, and the frame number set. Safe to call from
  // several threads at once.
  void Render(uint64_t number, FlyCapture2::Image* image, const LevelTransfer* levels = nullptr) const;

  // The pattern's colour at a sensor position in base frame `phase`.
  static Rgb ColorAt(unsigned int x, unsigned int y, unsigned int sensorWidth, unsigned int sensorHeight,
                     unsigned int phase);

  // The conversions each format is derived with, from 8-bit channels (the
  // upper bytes): BT.601 studio range for YUV, rounded; grey = (299 R +
  // 587 G + 114 B) / 1000, rounded, for MONO8 and, on 16-bit channels, MONO16.
  static uint8_t Grey(Rgb color);
  static uint16_t Grey16(Rgb color);
  static uint8_t LumaY(Rgb color);
  static uint8_t ChromaU(Rgb color);
  static uint8_t ChromaV(Rgb color);

 private:
  const std::vector<uint8_t>& BaseFrame(unsigned int phase) const;
  std::vector<uint8_t> RenderBaseFrame(unsigned int phase) const;
  void EncodeRow(const std::vector<Rgb>& colors, unsigned int y, uint8_t* row) const;

  FrameLayout _layout;
  mutable std::array<std::once_flag, kBaseFrames> _rendered;
  mutable std::array<std::vector<uint8_t>, kBaseFrames> _frames;
};

}  // namespace vq::sim
