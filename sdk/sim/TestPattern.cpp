#include "sdk/sim/TestPattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

uint8_t Clamp(double value) { return static_cast<uint8_t>(std::clamp(std::floor(value + 0.5), 0.0, 255.0)); }

// Which colour channel (0 R, 1 G, 2 B) a RAW8 pixel samples.
int BayerChannel(BayerTileFormat bayer, unsigned int x, unsigned int y) {
  static const int tiles[5][2][2] = {
      {{-1, -1}, {-1, -1}},  // NONE: grey
      {{0, 1}, {1, 2}},      // RGGB
      {{1, 0}, {2, 1}},      // GRBG
      {{1, 2}, {0, 1}},      // GBRG
      {{2, 1}, {1, 0}},      // BGGR
  };
  return tiles[bayer][y & 1][x & 1];
}

}  // namespace

unsigned int FrameLayout::Stride() const { return RowBytes(width, format); }

TestPattern::TestPattern(const FrameLayout& layout) : _layout(layout) {}

Rgb TestPattern::ColorAt(unsigned int x, unsigned int y, unsigned int sensorWidth, unsigned int sensorHeight,
                         unsigned int phase) {
  if (sensorWidth == 0 || sensorHeight == 0) return {};
  uint64_t shifted = (x + static_cast<uint64_t>(phase % kBaseFrames) * sensorWidth / kBaseFrames) % sensorWidth;
  unsigned int half = sensorHeight / 2;
  if (y < half) {
    auto grey = static_cast<uint16_t>(shifted * 65536 / sensorWidth);
    return {grey, grey, grey};
  }
  // White, yellow, cyan, green, magenta, red, blue, black.
  static const Rgb bars[8] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
  const Rgb& bar = bars[shifted * 8 / sensorWidth];
  unsigned int band = static_cast<unsigned int>(static_cast<uint64_t>(y - half) * 4 / (sensorHeight - half));
  auto level = static_cast<uint16_t>((255 - 64 * band) * 257);
  return {static_cast<uint16_t>(bar.r * level), static_cast<uint16_t>(bar.g * level),
          static_cast<uint16_t>(bar.b * level)};
}

uint8_t TestPattern::Grey(Rgb c) {
  unsigned int r = c.r >> 8, g = c.g >> 8, b = c.b >> 8;
  return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

uint16_t TestPattern::Grey16(Rgb c) {
  return static_cast<uint16_t>((299ull * c.r + 587ull * c.g + 114ull * c.b + 500) / 1000);
}

uint8_t TestPattern::LumaY(Rgb c) {
  double r = c.r >> 8, g = c.g >> 8, b = c.b >> 8;
  return Clamp(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256);
}

uint8_t TestPattern::ChromaU(Rgb c) {
  double r = c.r >> 8, g = c.g >> 8, b = c.b >> 8;
  return Clamp(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256);
}

uint8_t TestPattern::ChromaV(Rgb c) {
  double r = c.r >> 8, g = c.g >> 8, b = c.b >> 8;
  return Clamp(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256);
}

void TestPattern::Render(uint64_t number, Image* image, const LevelTransfer* levels) const {
  const std::vector<uint8_t>& base = BaseFrame(static_cast<unsigned int>(number % kBaseFrames));
  BayerTileFormat bayer = _layout.format == PIXEL_FORMAT_RAW8 ? _layout.bayer : NONE;
  image->SetDimensions(_layout.height, _layout.width, _layout.Stride(), _layout.format, bayer);
  if (levels && !base.empty())
    levels->Copy(_layout.format, base.data(), image->GetData(), base.size());
  else if (!base.empty())
    std::memcpy(image->GetData(), base.data(), base.size());
  for (unsigned int i = 0; i < kStampBytes && i < base.size(); ++i)
    image->GetData()[i] = static_cast<uint8_t>(number >> (8 * i));
  image->SetFrameNumber(number);
}

const std::vector<uint8_t>& TestPattern::BaseFrame(unsigned int phase) const {
  std::call_once(_rendered[phase], [this, phase] { _frames[phase] = RenderBaseFrame(phase); });
  return _frames[phase];
}

std::vector<uint8_t> TestPattern::RenderBaseFrame(unsigned int phase) const {
  const size_t stride = _layout.Stride();
  std::vector<uint8_t> frame(stride * _layout.height);
  std::vector<Rgb> colors(_layout.width);
  // Rows repeat within a band; a row equal to the last one of the same
  // parity (the Bayer tile alternates rows) is copied, not encoded again.
  std::vector<Rgb> previous[2];
  unsigned int previousRow[2] = {0, 0};
  for (unsigned int y = 0; y < _layout.height; ++y) {
    for (unsigned int x = 0; x < _layout.width; ++x)
      colors[x] = ColorAt(_layout.sensorX + x, _layout.sensorY + y, _layout.sensorWidth, _layout.sensorHeight, phase);
    uint8_t* row = frame.data() + y * stride;
    std::vector<Rgb>& last = previous[y & 1];
    if (last == colors) {
      std::memcpy(row, frame.data() + previousRow[y & 1] * stride, stride);
      continue;
    }
    EncodeRow(colors, y, row);
    last = colors;
    previousRow[y & 1] = y;
  }
  return frame;
}

void TestPattern::EncodeRow(const std::vector<Rgb>& colors, unsigned int y, uint8_t* row) const {
  const unsigned int width = _layout.width;
  switch (_layout.format) {
    case PIXEL_FORMAT_MONO8:
      for (unsigned int x = 0; x < width; ++x) row[x] = Grey(colors[x]);
      break;
    case PIXEL_FORMAT_MONO16:
      for (unsigned int x = 0; x < width; ++x) {  // little-endian
        uint16_t value = Grey16(colors[x]);
        row[2 * x] = static_cast<uint8_t>(value);
        row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      }
      break;
    case PIXEL_FORMAT_RAW8:
      for (unsigned int x = 0; x < width; ++x) {
        const Rgb& c = colors[x];
        int channel = BayerChannel(_layout.bayer, x, y);
        uint16_t sample = channel == 0 ? c.r : channel == 1 ? c.g : c.b;
        row[x] = channel < 0 ? Grey(c) : static_cast<uint8_t>(sample >> 8);
      }
      break;
    case PIXEL_FORMAT_RGB8:
      for (unsigned int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<uint8_t>(colors[x].r >> 8);
        row[3 * x + 1] = static_cast<uint8_t>(colors[x].g >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(colors[x].b >> 8);
      }
      break;
    case PIXEL_FORMAT_444YUV8:
      for (unsigned int x = 0; x < width; ++x) {
        row[3 * x] = ChromaU(colors[x]);
        row[3 * x + 1] = LumaY(colors[x]);
        row[3 * x + 2] = ChromaV(colors[x]);
      }
      break;
    case PIXEL_FORMAT_422YUV8:  // U0 Y0 V0 Y1; the chroma of the pair's first pixel
      for (unsigned int x = 0; x + 1 < width; x += 2) {
        uint8_t* group = row + 2 * x;
        group[0] = ChromaU(colors[x]);
        group[1] = LumaY(colors[x]);
        group[2] = ChromaV(colors[x]);
        group[3] = LumaY(colors[x + 1]);
      }
      break;
    case PIXEL_FORMAT_411YUV8:  // U0 Y0 Y1 V0 Y2 Y3; the chroma of the group's first pixel
      for (unsigned int x = 0; x + 3 < width; x += 4) {
        uint8_t* group = row + x / 4 * 6;
        group[0] = ChromaU(colors[x]);
        group[1] = LumaY(colors[x]);
        group[2] = LumaY(colors[x + 1]);
        group[3] = ChromaV(colors[x]);
        group[4] = LumaY(colors[x + 2]);
        group[5] = LumaY(colors[x + 3]);
      }
      break;
    default: break;
  }
}

}  // namespace vq::sim
