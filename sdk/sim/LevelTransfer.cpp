#include "sdk/sim/LevelTransfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace vq::sim {

using namespace FlyCapture2;

namespace {

uint8_t Clamp8(double value) { return static_cast<uint8_t>(std::clamp(std::floor(value + 0.5), 0.0, 255.0)); }

constexpr double kNeutralTolerance = 1e-9;

}  // namespace

std::shared_ptr<const LevelTransfer> LevelTransfer::Make(double factor, double offset) {
  if (std::abs(factor - 1.0) < kNeutralTolerance && std::abs(offset) < kNeutralTolerance) return nullptr;
  return std::make_shared<const LevelTransfer>(factor, offset);
}

LevelTransfer::LevelTransfer(double factor, double offset)
    : _factor(std::max(factor, 0.0)),
      _offset(offset),
      _factor16(static_cast<int64_t>(std::llround(std::min(_factor, 65536.0) * 65536.0))),
      _offset16(static_cast<int64_t>(std::llround(std::clamp(offset, -256.0, 256.0) * 257.0))) {
  // Studio-range luma spans 16..235, so an offset of full scale moves it 219.
  const double lumaOffset = _offset * 219.0 / 255.0;
  for (int i = 0; i < 256; ++i) {
    _level[i] = Clamp8(i * _factor + _offset);
    _luma[i] = Clamp8(16.0 + (i - 16) * _factor + lumaOffset);
    _chroma[i] = Clamp8(128.0 + (i - 128) * _factor);
  }
}

uint16_t LevelTransfer::Level16(uint16_t level) const {
  int64_t value = ((level * _factor16 + 32768) >> 16) + _offset16;
  return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 65535));
}

template <unsigned int Period, unsigned int LumaBits>
void LevelTransfer::CopyYuv(const uint8_t* source, uint8_t* target, size_t size) const {
  // One group, unrolled, each byte with its own table.
  auto group = [this]<size_t... K>(const uint8_t* from, uint8_t* to, std::index_sequence<K...>) {
    ((to[K] = ((LumaBits >> K & 1u) ? _luma : _chroma)[from[K]]), ...);
  };
  size_t i = 0;
  for (; i + Period <= size; i += Period) group(source + i, target + i, std::make_index_sequence<Period>());
  for (unsigned int k = 0; i < size; ++i, ++k) target[i] = ((LumaBits >> k & 1u) ? _luma : _chroma)[source[i]];
}

void LevelTransfer::Copy(PixelFormat format, const uint8_t* source, uint8_t* target, size_t size) const {
  switch (format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_RAW8:
    case PIXEL_FORMAT_RGB8:
      for (size_t i = 0; i < size; ++i) target[i] = _level[source[i]];
      break;
    case PIXEL_FORMAT_MONO16: CopyMono16(source, target, size); break;
    case PIXEL_FORMAT_444YUV8:  // U Y V
      CopyYuv<3, 0b010>(source, target, size);
      break;
    case PIXEL_FORMAT_422YUV8:  // U Y V Y
      CopyYuv<4, 0b1010>(source, target, size);
      break;
    case PIXEL_FORMAT_411YUV8:  // U Y Y V Y Y
      CopyYuv<6, 0b110110>(source, target, size);
      break;
    default: std::memcpy(target, source, size); break;
  }
}

void LevelTransfer::CopyMono16(const uint8_t* source, uint8_t* target, size_t size) const {  // little-endian
  size_t i = 0;
  for (; i + 1 < size; i += 2) {
    uint16_t value = Level16(static_cast<uint16_t>(source[i] | source[i + 1] << 8));
    target[i] = static_cast<uint8_t>(value);
    target[i + 1] = static_cast<uint8_t>(value >> 8);
  }
  if (i < size) target[i] = source[i];
}

}  // namespace vq::sim
