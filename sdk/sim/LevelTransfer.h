#pragma once
// How a camera's brightness, gain and shutter change the pixel levels of the
// pattern it delivers: every level is multiplied by a factor (gain and
// exposure) and raised by an offset (black level), then kept in range. The
// tables are built once, when the settings change; a frame is changed while
// it is copied. YUV frames change in YUV: luma within the studio range, chroma
// scaled about 128 by the factor (an offset adds no colour).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

class LevelTransfer {
 public:
  // `offset` is in 8-bit levels (full scale 255). Returns nullptr when the
  // factor is 1 and the offset 0: frames are then copied unchanged.
  static std::shared_ptr<const LevelTransfer> Make(double factor, double offset);

  double Factor() const { return _factor; }
  double Offset() const { return _offset; }

  // Copies a frame of `size` bytes in `format` (rows packed, as the
  // simulated cameras deliver them) from `source` to `target`, changing its
  // levels. A format it does not know is copied unchanged.
  void Copy(FlyCapture2::PixelFormat format, const uint8_t* source, uint8_t* target, size_t size) const;

  // One 8-bit level of a grey, RGB or RAW frame; a 16-bit grey level; the
  // luma and chroma bytes of a YUV frame.
  uint8_t Level(uint8_t level) const { return _level[level]; }
  uint16_t Level16(uint16_t level) const;
  uint8_t Luma(uint8_t luma) const { return _luma[luma]; }
  uint8_t Chroma(uint8_t chroma) const { return _chroma[chroma]; }

  LevelTransfer(double factor, double offset);  // use Make

 private:
  using Table = std::array<uint8_t, 256>;

  // Bytes repeat in groups of `Period`; the k-th byte of a group is luma
  // when bit k of `LumaBits` is set, chroma otherwise.
  template <unsigned int Period, unsigned int LumaBits>
  void CopyYuv(const uint8_t* source, uint8_t* target, size_t size) const;
  void CopyMono16(const uint8_t* source, uint8_t* target, size_t size) const;

  double _factor;
  double _offset;
  int64_t _factor16;  // factor in 1/65536
  int64_t _offset16;  // offset in 16-bit levels
  Table _level{};
  Table _luma{};
  Table _chroma{};
};

}  // namespace vq::sim
