// The pixel formats GenICam cameras send, from their name to the host's rows:
// each name maps to the SDK's format, tile, packing and depth; synthetic
// frames of known samples, packed as the standard packs them, convert to the
// high 8 bits of each sample (grey) or to BGR; every row converted alone is
// the row of the whole conversion; a camera offering nothing we convert is
// named at open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#ifdef VQ_HAVE_ARAVIS
#include <arv.h>
#endif

#include "sdk/FlyCapture2.h"
#include "sdk/PixelConvert.h"
#include "sdk/aravis/GenicamMapping.h"
#include "tests/unit/sdk/image_test_support.h"

namespace {

using namespace FlyCapture2;
using namespace imagetest;
using vq::aravis::FrameFormat;
using vq::aravis::FrameFormatOf;
using vq::aravis::FrameFormatOfValue;

// ---- what the standard says of each name -----------------------------------------

// How the camera's bytes hold the samples, as the standard defines it.
enum class Packing {
  kBytes,      // 8-bit samples, one per byte (per channel)
  kLittle16,   // one sample in the low bits of two little-endian bytes
  kGigePairs,  // two samples in three bytes: high 8 bits in bytes 0 and 2
  kLsbStream,  // back to back, least significant bit first
};

struct Named {
  std::string name;
  uint32_t pfnc;
  PixelFormat format;
  BayerTileFormat tile;
  Packing packing;
  unsigned bits;  // per sample
};

std::ostream& operator<<(std::ostream& out, const Named& named) { return out << named.name; }

constexpr BayerTileFormat kTiles[] = {RGGB, GRBG, GBRG, BGGR};
constexpr const char* kTileNames[] = {"RG", "GR", "GB", "BG"};

std::vector<Named> MonoFormats() {
  return {
      {"Mono10", 0x01100003, PIXEL_FORMAT_MONO16, NONE, Packing::kLittle16, 10},
      {"Mono12", 0x01100005, PIXEL_FORMAT_MONO16, NONE, Packing::kLittle16, 12},
      {"Mono16", 0x01100007, PIXEL_FORMAT_MONO16, NONE, Packing::kLittle16, 16},
      {"Mono10Packed", 0x010C0004, PIXEL_FORMAT_MONO12, NONE, Packing::kGigePairs, 10},
      {"Mono12Packed", 0x010C0006, PIXEL_FORMAT_MONO12, NONE, Packing::kGigePairs, 12},
      {"Mono10p", 0x010A0046, PIXEL_FORMAT_MONO12, NONE, Packing::kLsbStream, 10},
      {"Mono12p", 0x010C0047, PIXEL_FORMAT_MONO12, NONE, Packing::kLsbStream, 12},
  };
}

// Every tile of BayerXX10, 12, 16 and of the packings of 10 and 12 bits.
// Every tile of BayerXX10, 12, 16 and of the packings of 10 and 12 bits.
std::vector<Named> BayerFormats() {
  struct Depth {
    const char* suffix;
    PixelFormat format;
    Packing packing;
    unsigned bits;
    uint32_t numbers[4];  // the standard's numbers of the RG, GR, GB and BG tiles
  };
  const Depth depths[] = {
      {"10", PIXEL_FORMAT_RAW16, Packing::kLittle16, 10, {0x0110000D, 0x0110000C, 0x0110000E, 0x0110000F}},
      {"12", PIXEL_FORMAT_RAW16, Packing::kLittle16, 12, {0x01100011, 0x01100010, 0x01100012, 0x01100013}},
      {"16", PIXEL_FORMAT_RAW16, Packing::kLittle16, 16, {0x0110002F, 0x0110002E, 0x01100030, 0x01100031}},
      {"10Packed", PIXEL_FORMAT_RAW12, Packing::kGigePairs, 10, {0x010C0027, 0x010C0026, 0x010C0028, 0x010C0029}},
      {"12Packed", PIXEL_FORMAT_RAW12, Packing::kGigePairs, 12, {0x010C002B, 0x010C002A, 0x010C002C, 0x010C002D}},
      {"10p", PIXEL_FORMAT_RAW12, Packing::kLsbStream, 10, {0x010A0058, 0x010A0056, 0x010A0054, 0x010A0052}},
      {"12p", PIXEL_FORMAT_RAW12, Packing::kLsbStream, 12, {0x010C0059, 0x010C0057, 0x010C0055, 0x010C0053}},
  };
  std::vector<Named> formats;
  for (const Depth& depth : depths)
    for (size_t t = 0; t < 4; ++t)
      formats.push_back({std::string("Bayer") + kTileNames[t] + depth.suffix, depth.numbers[t], depth.format, kTiles[t],
                         depth.packing, depth.bits});
  return formats;
}

// ---- packing samples as a camera does ----------------------------------------------

// The bytes of one row of `samples` in `packing`.
std::vector<uint8_t> PackRow(const std::vector<unsigned>& samples, Packing packing, unsigned bits) {
  std::vector<uint8_t> bytes;
  switch (packing) {
    case Packing::kBytes:
      for (unsigned s : samples) bytes.push_back(static_cast<uint8_t>(s));
      break;
    case Packing::kLittle16:
      for (unsigned s : samples) {
        bytes.push_back(static_cast<uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<uint8_t>(s >> 8));
      }
      break;
    case Packing::kGigePairs: {
      const unsigned low = bits - 8, lowMask = (1u << low) - 1;
      for (size_t i = 0; i < samples.size(); i += 2) {
        const unsigned a = samples[i], b = i + 1 < samples.size() ? samples[i + 1] : 0;
        bytes.push_back(static_cast<uint8_t>(a >> low));
        bytes.push_back(static_cast<uint8_t>((a & lowMask) | ((b & lowMask) << 4)));
        bytes.push_back(static_cast<uint8_t>(b >> low));
      }
      break;
    }
    case Packing::kLsbStream: {
      bytes.assign((samples.size() * bits + 7) / 8, 0);
      size_t bit = 0;
      for (unsigned s : samples)
        for (unsigned k = 0; k < bits; ++k, ++bit)
          if (s >> k & 1u) bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] | 1u << (bit % 8));
      break;
    }
  }
  return bytes;
}

// A frame as the Aravis backend hands it over: the SDK format, tile and
// sample layout of `name`, its rows `padding` bytes longer than the samples.
Image MakeFrame(const std::string& name, const std::vector<std::vector<unsigned>>& rows, const Named& named,
                unsigned padding) {
  FrameFormat format;
  EXPECT_TRUE(FrameFormatOf(name, &format)) << name;
  const unsigned cols = static_cast<unsigned>(rows.at(0).size());
  const size_t rowBytes = PackRow(rows[0], named.packing, named.bits).size();
  Image image = MakeImage(static_cast<unsigned>(rows.size()), cols, static_cast<unsigned>(rowBytes + padding),
                          format.format, format.bayer);
  image.SetSampleLayout(format.layout, format.sampleBits);
  for (unsigned r = 0; r < rows.size(); ++r) {
    const std::vector<uint8_t> bytes = PackRow(rows[r], named.packing, named.bits);
    std::copy(bytes.begin(), bytes.end(), RowOf(image, r));
  }
  return image;
}

::testing::AssertionResult SameFormat(const FrameFormat& a, const FrameFormat& b) {
  if (a.format == b.format && a.bayer == b.bayer && a.bitsPerPixel == b.bitsPerPixel && a.layout == b.layout &&
      a.sampleBits == b.sampleBits)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << a.format << "/" << b.format << std::dec << " tile " << a.bayer
                                       << "/" << b.bayer << " layout " << a.layout << "/" << b.layout << " bits "
                                       << a.sampleBits << "/" << b.sampleBits;
}

std::vector<std::vector<unsigned>> RandomSamples(unsigned rows, unsigned cols, unsigned bits, std::mt19937& random) {
  std::vector<std::vector<unsigned>> samples(rows, std::vector<unsigned>(cols));
  for (auto& row : samples)
    for (unsigned& s : row) s = static_cast<unsigned>(random()) & ((1u << bits) - 1);
  return samples;
}

Image ConvertOk(const Image& source, PixelFormat format) {
  Image target;
  Error error = source.Convert(format, &target);
  EXPECT_EQ(PGRERROR_OK, error.GetType()) << error.GetDescription();
  return target;
}

// Each row alone, then bands of three, into rows of their own, against the
// whole conversion.
void ExpectRowsMatchWhole(const Image& source, PixelFormat format) {
  const Image whole = ConvertOk(source, format);
  const size_t rowBytes = static_cast<size_t>(source.GetCols()) * (format == PIXEL_FORMAT_BGR ? 3 : 1);
  std::vector<uint8_t> rows(rowBytes * source.GetRows() + 1, 0x5A);
  for (unsigned r = 0; r < source.GetRows(); ++r) {
    Error error = source.ConvertRows(format, r, 1, rows.data() + r * rowBytes, rowBytes);
    ASSERT_EQ(PGRERROR_OK, error.GetType()) << error.GetDescription();
  }
  EXPECT_EQ(0x5A, rows.back()) << "wrote past the last row";
  for (unsigned r = 0; r < source.GetRows(); ++r)
    EXPECT_TRUE(std::equal(rows.begin() + r * rowBytes, rows.begin() + (r + 1) * rowBytes,
                           whole.GetData() + static_cast<size_t>(r) * whole.GetStride()))
        << "row " << r << " of " << source.GetRows() << "x" << source.GetCols();
  for (unsigned first = 0; first + 3 <= source.GetRows(); first += 2) {
    std::vector<uint8_t> band(3 * rowBytes);
    ASSERT_EQ(PGRERROR_OK, source.ConvertRows(format, first, 3, band.data(), rowBytes).GetType());
    EXPECT_TRUE(std::equal(band.begin(), band.end(), whole.GetData() + static_cast<size_t>(first) * whole.GetStride()))
        << "band from row " << first;
  }
}

struct Shape {
  unsigned rows, cols, padding;
};
// Odd and even widths (packings end mid-group: an LSB-packed row then ends on
// a partial byte, and the next starts on a byte of its own), one-row and
// one-column frames, rows padded and not.
constexpr Shape kShapes[] = {{1, 4, 0}, {4, 1, 2}, {2, 2, 0}, {5, 7, 3}, {7, 12, 0}, {9, 33, 5}, {16, 40, 1}};

}  // namespace

// ---- names ---------------------------------------------------------------------

class EveryDeepFormat : public ::testing::TestWithParam<Named> {};

TEST_P(EveryDeepFormat, MapsByNameAndByNumberToItsFormatTileAndPacking) {
  const Named& named = GetParam();
  FrameFormat byName, byValue;
  ASSERT_TRUE(FrameFormatOf(named.name, &byName));
  ASSERT_TRUE(FrameFormatOfValue(named.pfnc, &byValue));
  EXPECT_EQ(named.format, byName.format);
  EXPECT_EQ(named.tile, byName.bayer);
  EXPECT_EQ(named.bits, byName.sampleBits);
  const SampleLayout layout = named.packing == Packing::kLsbStream ? LAYOUT_LSB_PACKED : LAYOUT_DEFAULT;
  EXPECT_EQ(layout, byName.layout);
  const unsigned bitsPerPixel = named.packing == Packing::kLittle16    ? 16
                                : named.packing == Packing::kGigePairs ? 12
                                                                       : named.bits;
  EXPECT_EQ(bitsPerPixel, byName.bitsPerPixel);
  EXPECT_TRUE(SameFormat(byName, byValue));

  Image frame(2, 8, 32, byName.format, byName.bayer);
  frame.SetSampleLayout(byName.layout, byName.sampleBits);
  EXPECT_EQ(bitsPerPixel, frame.GetBitsPerPixel());
  EXPECT_EQ(named.bits, frame.GetSampleBits());
}

// ---- monochrome ------------------------------------------------------------------

class MonoFormat : public ::testing::TestWithParam<Named> {};

TEST_P(MonoFormat, GreyIsTheHigh8BitsOfEachSample) {
  const Named& named = GetParam();
  std::mt19937 random(11);
  // A ramp of every high byte with random low bits, and the extremes; an odd
  // width, so that packed rows end inside a group.
  const unsigned cols = 261, low = named.bits - 8;
  std::vector<unsigned> row(cols);
  for (unsigned x = 0; x < 256; ++x) row[x] = x << low | (static_cast<unsigned>(random()) & ((1u << low) - 1));
  row[256] = 0;
  row[257] = (1u << named.bits) - 1;
  row[258] = 1u << (named.bits - 1);
  row[259] = (1u << (named.bits - 1)) - 1;
  row[260] = (1u << low) - 1;
  const Image frame = MakeFrame(named.name, {row, row}, named, 3);

  const Image grey = ConvertOk(frame, PIXEL_FORMAT_MONO8);
  const Image bgr = ConvertOk(frame, PIXEL_FORMAT_BGR);
  ASSERT_EQ(PIXEL_FORMAT_MONO8, grey.GetPixelFormat());
  EXPECT_EQ(LAYOUT_DEFAULT, grey.GetSampleLayout()) << "the converted image has the target's own layout";
  EXPECT_EQ(8u, bgr.GetSampleBits());
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned x = 0; x < cols; ++x) {
      const int expected = static_cast<int>(row[x] >> low);
      ASSERT_EQ(expected, grey.GetData()[r * grey.GetStride() + x]) << named << " pixel " << x << " sample " << row[x];
      ASSERT_EQ((Bgr{expected, expected, expected}), PixelAt(bgr, r, x)) << named << " pixel " << x;
    }
}

TEST_P(MonoFormat, EveryRowAloneIsTheRowOfTheWholeConversion) {
  const Named& named = GetParam();
  std::mt19937 random(5);
  for (const Shape& shape : kShapes) {
    const Image frame =
        MakeFrame(named.name, RandomSamples(shape.rows, shape.cols, named.bits, random), named, shape.padding);
    ExpectRowsMatchWhole(frame, PIXEL_FORMAT_MONO8);
    ExpectRowsMatchWhole(frame, PIXEL_FORMAT_BGR);
  }
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, MonoFormat, ::testing::ValuesIn(MonoFormats()),
                         [](const auto& info) { return info.param.name; });

// ---- Bayer -------------------------------------------------------------------------

class BayerFormat : public ::testing::TestWithParam<Named> {};

// Each colour's own sample at its places of the tile: every pixel, border
// and interior, shows the three high bytes.
TEST_P(BayerFormat, AFlatColourComesOutAsItsHigh8BitsOnEveryPixel) {
  const Named& named = GetParam();
  const unsigned low = named.bits - 8;
  // Low bits set, so that a reader that keeps the wrong bits shows.
  const unsigned red = 0xC4u << low | ((1u << low) - 1), green = 0x5Bu << low | 1u, blue = 0x17u << low;
  const unsigned rows = 6, cols = 8;
  std::vector<std::vector<unsigned>> samples(rows, std::vector<unsigned>(cols));
  const std::string tile = kTileNames[std::find(std::begin(kTiles), std::end(kTiles), named.tile) - std::begin(kTiles)];
  // The name gives the first row's two places; the second row holds G under
  // the other colour, and the third colour under G.
  const char third = tile.find('R') != std::string::npos ? 'B' : 'R';
  for (unsigned y = 0; y < rows; ++y)
    for (unsigned x = 0; x < cols; ++x) {
      const char above = tile[x % 2];
      const char colour = y % 2 == 0 ? above : above == 'G' ? third : 'G';
      samples[y][x] = colour == 'R' ? red : colour == 'G' ? green : blue;
    }
  const Image bgr = ConvertOk(MakeFrame(named.name, samples, named, 2), PIXEL_FORMAT_BGR);
  const Bgr expected{static_cast<int>(blue >> low), static_cast<int>(green >> low), static_cast<int>(red >> low)};
  for (unsigned y = 0; y < rows; ++y)
    for (unsigned x = 0; x < cols; ++x) ASSERT_EQ(expected, PixelAt(bgr, y, x)) << named << " at " << y << "," << x;
}

// Random samples demosaic as the 8-bit frame of their high bytes does.
TEST_P(BayerFormat, DemosaicsTheHigh8BitsAsAnEightBitFrame) {
  const Named& named = GetParam();
  std::mt19937 random(3);
  const auto samples = RandomSamples(9, 16, named.bits, random);
  Image eight = MakeImage(9, 16, 16, PIXEL_FORMAT_RAW8, named.tile);
  for (unsigned y = 0; y < 9; ++y)
    for (unsigned x = 0; x < 16; ++x) RowOf(eight, y)[x] = static_cast<uint8_t>(samples[y][x] >> (named.bits - 8));
  const Image expected = ConvertOk(eight, PIXEL_FORMAT_BGR);
  const Image actual = ConvertOk(MakeFrame(named.name, samples, named, 0), PIXEL_FORMAT_BGR);
  ASSERT_EQ(expected.GetDataSize(), actual.GetDataSize());
  EXPECT_TRUE(std::equal(expected.GetData(), expected.GetData() + expected.GetDataSize(), actual.GetData())) << named;
}

TEST_P(BayerFormat, EveryRowAloneIsTheRowOfTheWholeConversion) {
  const Named& named = GetParam();
  std::mt19937 random(9);
  for (const Shape& shape : kShapes) {
    const Image frame =
        MakeFrame(named.name, RandomSamples(shape.rows, shape.cols, named.bits, random), named, shape.padding);
    ExpectRowsMatchWhole(frame, PIXEL_FORMAT_BGR);
  }
}

TEST_P(BayerFormat, HasNoGreyConversion) {
  const Named& named = GetParam();
  std::mt19937 random(1);
  const Image frame = MakeFrame(named.name, RandomSamples(2, 4, named.bits, random), named, 0);
  EXPECT_EQ(PGRERROR_IMAGE_CONVERSION_FAILED, frame.CheckConversion(PIXEL_FORMAT_MONO8).GetType());
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, BayerFormat, ::testing::ValuesIn(BayerFormats()),
                         [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Mono, EveryDeepFormat, ::testing::ValuesIn(MonoFormats()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Bayer, EveryDeepFormat, ::testing::ValuesIn(BayerFormats()),
                         [](const auto& info) { return info.param.name; });

// ---- colour: RGB, BGR and 4:2:2 ------------------------------------------------------

struct ColourCase {
  const char* name;
  uint32_t pfnc;
  // The bytes of one pixel (RGB8, BGR8) or of a pair of pixels (4:2:2).
  std::vector<uint8_t> (*encode)(const Bgr& first, const Bgr& second);
  unsigned pixelsPerGroup;
  int tolerance;  // YUV goes through fixed-point arithmetic
};

std::ostream& operator<<(std::ostream& out, const ColourCase& c) { return out << c.name; }

std::vector<uint8_t> Rgb(const Bgr& c, const Bgr&) {
  return {static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b)};
}
std::vector<uint8_t> BgrBytes(const Bgr& c, const Bgr&) {
  return {static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r)};
}
// The pair shares the chroma of its first pixel: both pixels are given alike.
std::vector<uint8_t> Uyvy(const Bgr& a, const Bgr& b) {
  const Yuv p = ToYuv(a), q = ToYuv(b);
  return {static_cast<uint8_t>(p.u), static_cast<uint8_t>(p.y), static_cast<uint8_t>(p.v), static_cast<uint8_t>(q.y)};
}
std::vector<uint8_t> Yuyv(const Bgr& a, const Bgr& b) {
  const Yuv p = ToYuv(a), q = ToYuv(b);
  return {static_cast<uint8_t>(p.y), static_cast<uint8_t>(p.u), static_cast<uint8_t>(q.y), static_cast<uint8_t>(p.v)};
}

class ColourFormat : public ::testing::TestWithParam<ColourCase> {};

// Colour patches, one per pixel group, and their order along the row.
TEST_P(ColourFormat, KnownColoursComeOutInBgrOrder) {
  const ColourCase& c = GetParam();
  FrameFormat format, byValue;
  ASSERT_TRUE(FrameFormatOf(c.name, &format));
  ASSERT_TRUE(FrameFormatOfValue(c.pfnc, &byValue));
  EXPECT_TRUE(SameFormat(format, byValue));
  const std::vector<Bgr> patches = {{0, 0, 255}, {0, 255, 0},     {255, 0, 0},  {255, 255, 255},
                                    {0, 0, 0},   {128, 128, 128}, {30, 90, 200}};
  const unsigned groups = static_cast<unsigned>(patches.size()), cols = groups * c.pixelsPerGroup, rows = 3;
  std::vector<uint8_t> row;
  for (const Bgr& patch : patches) {
    const std::vector<uint8_t> bytes = c.encode(patch, patch);
    row.insert(row.end(), bytes.begin(), bytes.end());
  }
  Image frame = MakeImage(rows, cols, static_cast<unsigned>(row.size() + 4), format.format, format.bayer);
  frame.SetSampleLayout(format.layout, format.sampleBits);
  for (unsigned r = 0; r < rows; ++r) std::copy(row.begin(), row.end(), RowOf(frame, r));
  const Image bgr = ConvertOk(frame, PIXEL_FORMAT_BGR);
  for (unsigned r = 0; r < rows; ++r)
    for (unsigned x = 0; x < cols; ++x)
      EXPECT_TRUE(Near(PixelAt(bgr, r, x), patches[x / c.pixelsPerGroup], c.tolerance)) << c << " at " << r << "," << x;
  ExpectRowsMatchWhole(frame, PIXEL_FORMAT_BGR);
}

class Yuv422Format : public ::testing::TestWithParam<ColourCase> {};

// In 4:2:2 the two pixels of a pair keep their own luma.
TEST_P(Yuv422Format, EachPixelOfAPairKeepsItsLuma) {
  const ColourCase& c = GetParam();
  FrameFormat format;
  ASSERT_TRUE(FrameFormatOf(c.name, &format));
  const Bgr dark{40, 40, 40}, light{220, 220, 220};
  std::vector<uint8_t> row = c.encode(dark, light);
  Image frame = MakeImage(1, 2, 4, format.format);
  frame.SetSampleLayout(format.layout, format.sampleBits);
  std::copy(row.begin(), row.end(), RowOf(frame, 0));
  const Image bgr = ConvertOk(frame, PIXEL_FORMAT_BGR);
  EXPECT_TRUE(Near(PixelAt(bgr, 0, 0), dark, c.tolerance)) << c;
  EXPECT_TRUE(Near(PixelAt(bgr, 0, 1), light, c.tolerance)) << c;
}

const ColourCase kYuv422[] = {
    {"YUV422_8_UYVY", 0x0210001F, Uyvy, 2, 3},      {"YUV422Packed", 0x0210001F, Uyvy, 2, 3},
    {"YCbCr422_8_CbYCrY", 0x02100043, Uyvy, 2, 3},  {"YUV422_8", 0x02100032, Yuyv, 2, 3},
    {"YUV422_YUYV_Packed", 0x02100032, Yuyv, 2, 3}, {"YCbCr422_8", 0x0210003B, Yuyv, 2, 3},
};

INSTANTIATE_TEST_SUITE_P(PixelFormats, ColourFormat,
                         ::testing::Values(ColourCase{"RGB8", 0x02180014, Rgb, 1, 0},
                                           ColourCase{"RGB8Packed", 0x02180014, Rgb, 1, 0},
                                           ColourCase{"BGR8", 0x02180015, BgrBytes, 1, 0},
                                           ColourCase{"BGR8Packed", 0x02180015, BgrBytes, 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Yuv422, ColourFormat, ::testing::ValuesIn(kYuv422),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(PixelFormats, Yuv422Format, ::testing::ValuesIn(kYuv422),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- what the image refuses ------------------------------------------------------------

TEST(SampleLayouts, ADepthOrPackingNoReaderKnowsIsRefusedNotMisread) {
  struct Refused {
    PixelFormat format;
    SampleLayout layout;
    unsigned bits;
  };
  for (const Refused& refused :
       {Refused{PIXEL_FORMAT_MONO16, LAYOUT_DEFAULT, 9}, Refused{PIXEL_FORMAT_MONO16, LAYOUT_LSB_PACKED, 12},
        Refused{PIXEL_FORMAT_MONO12, LAYOUT_LSB_PACKED, 16}, Refused{PIXEL_FORMAT_MONO12, LAYOUT_YUYV, 12},
        Refused{PIXEL_FORMAT_MONO8, LAYOUT_DEFAULT, 10}, Refused{PIXEL_FORMAT_RGB8, LAYOUT_YUYV, 8}}) {
    Image frame = MakeImage(2, 4, 16, refused.format);
    frame.SetSampleLayout(refused.layout, refused.bits);
    EXPECT_EQ(PGRERROR_IMAGE_CONVERSION_FAILED, frame.CheckConversion(PIXEL_FORMAT_BGR).GetType())
        << std::hex << refused.format << " layout " << refused.layout << " bits " << std::dec << refused.bits;
  }
}

// Cameras leave the bits above a sample's depth 0; a frame that sets them
// reads as the brightest grey rather than as a wrapped-around dark one.
TEST(SampleLayouts, BitsAboveTheDepthOfATwoByteSampleSaturate) {
  for (unsigned bits : {10u, 12u}) {
    Image frame = MakeImage(1, 4, 8, PIXEL_FORMAT_MONO16);
    frame.SetSampleLayout(LAYOUT_DEFAULT, bits);
    const unsigned samples[] = {1u << bits, 0xFFFFu, (1u << bits) - 1, 1u << (bits - 1)};
    for (unsigned x = 0; x < 4; ++x) {
      RowOf(frame, 0)[2 * x] = static_cast<unsigned char>(samples[x] & 0xFF);
      RowOf(frame, 0)[2 * x + 1] = static_cast<unsigned char>(samples[x] >> 8);
    }
    const Image grey = ConvertOk(frame, PIXEL_FORMAT_MONO8);
    EXPECT_EQ((std::vector<int>{255, 255, 255, 128}), std::vector<int>(grey.GetData(), grey.GetData() + 4)) << bits;
    ExpectRowsMatchWhole(frame, PIXEL_FORMAT_BGR);
  }
}

TEST(SampleLayouts, ReshapingAnImageForgetsThePackingOfItsLastFrame) {
  Image frame = MakeImage(2, 8, 10, PIXEL_FORMAT_MONO12);
  frame.SetSampleLayout(LAYOUT_LSB_PACKED, 10);
  Image copy = frame;
  EXPECT_EQ(LAYOUT_LSB_PACKED, copy.GetSampleLayout());
  EXPECT_EQ(10u, copy.GetSampleBits());
  Image moved = std::move(copy);
  EXPECT_EQ(10u, moved.GetSampleBits());
  moved.SetDimensions(2, 8, 12, PIXEL_FORMAT_MONO12);
  EXPECT_EQ(LAYOUT_DEFAULT, moved.GetSampleLayout());
  EXPECT_EQ(12u, moved.GetSampleBits());
  EXPECT_EQ(12u, moved.GetBitsPerPixel());
}

TEST(SampleLayouts, APackedRowShorterThanItsSamplesIsRefused) {
  // 8 samples of 10 bits take 10 bytes.
  Image frame = MakeImage(2, 8, 9, PIXEL_FORMAT_MONO12);
  frame.SetSampleLayout(LAYOUT_LSB_PACKED, 10);
  EXPECT_EQ(PGRERROR_IMAGE_CONVERSION_FAILED, frame.CheckConversion(PIXEL_FORMAT_MONO8).GetType());
  frame.SetDimensions(2, 8, 10, PIXEL_FORMAT_MONO12);
  frame.SetSampleLayout(LAYOUT_LSB_PACKED, 10);
  EXPECT_EQ(PGRERROR_OK, frame.CheckConversion(PIXEL_FORMAT_MONO8).GetType());
}

// ---- the camera's offer --------------------------------------------------------------

TEST(CameraOffer, OnlyFormatsWithNoConversionAreNamedAtOpen) {
  using vq::aravis::UnconvertibleOnly;
  const std::vector<std::string> none = {"Mono14", "Coord3D_C16", "RGB10p32"};
  EXPECT_EQ(none, UnconvertibleOnly(none));
  EXPECT_TRUE(UnconvertibleOnly({"Mono14", "Mono10p"}).empty()) << "one format converts";
  EXPECT_TRUE(UnconvertibleOnly({"YCbCr422_8", "Coord3D_C16"}).empty());
  EXPECT_TRUE(UnconvertibleOnly({}).empty()) << "a camera that names no format is not said to offer only bad ones";
}

TEST(CameraOffer, DeepFormatsAreOfferedToFormat7AndKeepMonochromeCamerasMonochrome) {
  using namespace vq::aravis;
  const std::vector<std::string> mono = {"Mono10p", "Mono12", "Mono12Packed"};
  EXPECT_FALSE(OffersColour(mono));
  EXPECT_EQ(static_cast<unsigned>(PIXEL_FORMAT_MONO12 | PIXEL_FORMAT_MONO16), PixelFormatBits(mono));
  EXPECT_EQ("Mono12", GenicamFormatFor(PIXEL_FORMAT_MONO16, mono));
  EXPECT_EQ("Mono16", GenicamFormatFor(PIXEL_FORMAT_MONO16, {"Mono10", "Mono16"})) << "the full depth first";
  EXPECT_TRUE(OffersColour({"Mono8", "BayerGB12p"}));
  EXPECT_TRUE(OffersColour({"Mono8", "YUV422_8"}));
  EXPECT_EQ("BayerRG12Packed", GenicamFormatFor(PIXEL_FORMAT_RAW12, {"BayerRG10p", "BayerRG12Packed"}));
  EXPECT_EQ(0u, PixelFormatBits({"BGR8"})) << "BGR's value shares MONO8's bit";
}

#ifdef VQ_HAVE_ARAVIS
// The numbers a buffer carries are those Aravis names.
TEST(CameraOffer, BufferNumbersAreThoseOfAravis) {
  struct Known {
    ArvPixelFormat arv;
    const char* name;
  };
  const Known known[] = {
      {ARV_PIXEL_FORMAT_MONO_10, "Mono10"},
      {ARV_PIXEL_FORMAT_MONO_10_PACKED, "Mono10Packed"},
      {ARV_PIXEL_FORMAT_MONO_12, "Mono12"},
      {ARV_PIXEL_FORMAT_MONO_12_PACKED, "Mono12Packed"},
      {ARV_PIXEL_FORMAT_MONO_16, "Mono16"},
      {ARV_PIXEL_FORMAT_BAYER_GR_10, "BayerGR10"},
      {ARV_PIXEL_FORMAT_BAYER_BG_12, "BayerBG12"},
      {ARV_PIXEL_FORMAT_BAYER_RG_16, "BayerRG16"},
      {ARV_PIXEL_FORMAT_BAYER_GB_10P, "BayerGB10p"},
      {ARV_PIXEL_FORMAT_BAYER_RG_12P, "BayerRG12p"},
      {ARV_PIXEL_FORMAT_BAYER_BG_10_PACKED, "BayerBG10Packed"},
      {ARV_PIXEL_FORMAT_BAYER_GR_12_PACKED, "BayerGR12Packed"},
      {ARV_PIXEL_FORMAT_RGB_8_PACKED, "RGB8"},
      {ARV_PIXEL_FORMAT_BGR_8_PACKED, "BGR8"},
      {ARV_PIXEL_FORMAT_YUV_422_PACKED, "YUV422_8_UYVY"},
      {ARV_PIXEL_FORMAT_YUV_422_YUYV_PACKED, "YUV422_8"},
  };
  for (const Known& k : known) {
    FrameFormat byValue, byName;
    ASSERT_TRUE(FrameFormatOfValue(k.arv, &byValue)) << k.name;
    ASSERT_TRUE(FrameFormatOf(k.name, &byName)) << k.name;
    EXPECT_TRUE(SameFormat(byName, byValue)) << k.name;
  }
}
#endif
