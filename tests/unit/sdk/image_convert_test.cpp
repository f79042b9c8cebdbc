// Image::Convert and ConvertRows as the driver uses them: known pixels of
// every source format in BGR, the monochrome targets, strides, odd widths,
// row by row conversion, a backend's lent buffer, and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sdk/FlyCapture2.h"
#include "sdk/PixelConvert.h"
#include "tests/unit/sdk/image_test_support.h"

namespace {

using namespace FlyCapture2;
using namespace imagetest;

constexpr Bgr kRed{0, 0, 255};
constexpr Bgr kGreen{0, 255, 0};
constexpr Bgr kBlue{255, 0, 0};
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr kGrey{128, 128, 128};
const std::vector<Bgr> kPatches = {kRed, kGreen, kBlue, kWhite, kBlack, kGrey};

Image ConvertOk(const Image& source, PixelFormat format = PIXEL_FORMAT_BGR) {
  Image target;
  Error error = source.Convert(format, &target);
  EXPECT_EQ(error.GetType(), PGRERROR_OK) << error.GetDescription();
  return target;
}

void ExpectBgrShape(const Image& image, unsigned rows, unsigned cols) {
  EXPECT_EQ(image.GetPixelFormat(), PIXEL_FORMAT_BGR);
  EXPECT_EQ(image.GetRows(), rows);
  EXPECT_EQ(image.GetCols(), cols);
  EXPECT_EQ(image.GetStride(), 3 * cols);
  EXPECT_EQ(image.GetBayerTileFormat(), NONE);
}

// ---- row by row ---------------------------------------------------------------

// The driver converts each row of a frame when the host pulls it: every row,
// and every band of rows, must come out exactly as the whole conversion makes
// it, Bayer rows included, whose neighbours lie outside the band.
TEST(ImageConvertRows, EveryRowAndBandMatchesTheWholeConversion) {
  struct Source {
    PixelFormat format;
    BayerTileFormat tile;
    PixelFormat target;
  };
  const Source sources[] = {
      {PIXEL_FORMAT_MONO8, NONE, PIXEL_FORMAT_BGR},   {PIXEL_FORMAT_MONO8, NONE, PIXEL_FORMAT_MONO8},
      {PIXEL_FORMAT_MONO12, NONE, PIXEL_FORMAT_BGR},  {PIXEL_FORMAT_MONO16, NONE, PIXEL_FORMAT_MONO8},
      {PIXEL_FORMAT_MONO16, NONE, PIXEL_FORMAT_BGR},  {PIXEL_FORMAT_RGB8, NONE, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_BGR, NONE, PIXEL_FORMAT_BGR},     {PIXEL_FORMAT_444YUV8, NONE, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_422YUV8, NONE, PIXEL_FORMAT_BGR}, {PIXEL_FORMAT_411YUV8, NONE, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_RAW8, RGGB, PIXEL_FORMAT_BGR},    {PIXEL_FORMAT_RAW8, GRBG, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_RAW8, GBRG, PIXEL_FORMAT_BGR},    {PIXEL_FORMAT_RAW8, BGGR, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_RAW16, RGGB, PIXEL_FORMAT_BGR},   {PIXEL_FORMAT_RAW16, GBRG, PIXEL_FORMAT_BGR},
      {PIXEL_FORMAT_RAW16, GRBG, PIXEL_FORMAT_BGR},   {PIXEL_FORMAT_RAW16, BGGR, PIXEL_FORMAT_BGR},
  };
  struct Shape {
    unsigned rows;
    unsigned cols;
  };
  const Shape shapes[] = {{1, 1}, {2, 2}, {1, 5}, {5, 1}, {3, 3}, {6, 7}, {9, 33}};
  std::mt19937 random(7);
  for (const Source& source : sources) {
    for (const Shape& shape : shapes) {
      const auto rowBytes = static_cast<unsigned>(detail::SourceRowBytes(source.format, shape.cols));
      Image frame = MakeImage(shape.rows, shape.cols, rowBytes + 3, source.format, source.tile);
      std::generate_n(frame.GetData(), frame.GetDataSize(), [&] { return static_cast<unsigned char>(random()); });
      const Image whole = ConvertOk(frame, source.target);
      const size_t targetRow = whole.GetStride();
      const std::string what = "format " + std::to_string(source.format) + " tile " + std::to_string(source.tile) +
                               " " + std::to_string(shape.rows) + "x" + std::to_string(shape.cols);
      for (unsigned first = 0; first < shape.rows; ++first) {
        for (unsigned count : {1u, shape.rows - first}) {
          std::vector<unsigned char> band(count * targetRow, 0xA5);
          ASSERT_EQ(frame.ConvertRows(source.target, first, count, band.data(), targetRow).GetType(), PGRERROR_OK)
              << what;
          ASSERT_EQ(0, std::memcmp(band.data(), whole.GetData() + first * targetRow, band.size()))
              << what << ", rows " << first << " to " << first + count;
        }
      }
    }
  }
}

TEST(ImageConvertRows, RowsOutsideTheImageAndShortTargetsAreRefused) {
  const Image frame = MakeImage(4, 3, 3, PIXEL_FORMAT_RAW8, RGGB);
  std::vector<unsigned char> band(4 * 9, 0xA5);
  Error error = frame.ConvertRows(PIXEL_FORMAT_BGR, 3, 2, band.data(), 9);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Rows 3 to 5 lie outside an image of 4 rows.");
  EXPECT_EQ(frame.ConvertRows(PIXEL_FORMAT_BGR, 5, 0, band.data(), 9).GetType(), PGRERROR_INVALID_PARAMETER);
  error = frame.ConvertRows(PIXEL_FORMAT_BGR, 0, 1, band.data(), 8);
  EXPECT_STREQ(error.GetDescription(), "The target rows cannot hold a converted row.");
  EXPECT_EQ(frame.ConvertRows(PIXEL_FORMAT_MONO8, 0, 1, band.data(), 9).GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
  EXPECT_EQ(band, std::vector<unsigned char>(4 * 9, 0xA5)) << "nothing written on a refusal";
  EXPECT_EQ(frame.CheckConversion(PIXEL_FORMAT_BGR).GetType(), PGRERROR_OK);
  EXPECT_EQ(frame.CheckConversion(PIXEL_FORMAT_MONO8).GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
}

// ---- a backend's buffer lent to the image -------------------------------------

// The lease is what gives an Aravis buffer back to its stream: it must be let
// go exactly when the image is done with the buffer, and never copied.
TEST(ImageBorrow, TheLeaseGoesWithTheBufferAndNoFurther) {
  std::vector<unsigned char> buffer(2 * 4, 7);
  auto lease = std::make_shared<int>(0);
  Image image;
  image.Borrow(2, 3, 4, PIXEL_FORMAT_MONO8, NONE, buffer.data(), lease);
  EXPECT_TRUE(image.Borrows());
  EXPECT_EQ(image.GetData(), buffer.data());
  EXPECT_EQ(lease.use_count(), 2);

  Image copy = image;  // owns a copy of the bytes, holds no lease
  EXPECT_FALSE(copy.Borrows());
  EXPECT_NE(copy.GetData(), buffer.data());
  EXPECT_EQ(copy.GetData()[7], 7);
  EXPECT_EQ(lease.use_count(), 2);

  Image moved = std::move(image);
  EXPECT_EQ(moved.GetData(), buffer.data());
  EXPECT_FALSE(image.Borrows());
  EXPECT_EQ(image.GetData(), nullptr);
  EXPECT_EQ(lease.use_count(), 2);
  moved.ReturnBorrowed();
  EXPECT_EQ(lease.use_count(), 1);
  EXPECT_EQ(moved.GetData(), nullptr);
  EXPECT_EQ(moved.GetRows(), 0u);

  // Reshaping gives the buffer back and uses the image's own memory.
  moved.Borrow(2, 3, 4, PIXEL_FORMAT_MONO8, NONE, buffer.data(), lease);
  ASSERT_EQ(moved.SetDimensions(1, 1, 1, PIXEL_FORMAT_MONO8).GetType(), PGRERROR_OK);
  EXPECT_EQ(lease.use_count(), 1);
  EXPECT_NE(moved.GetData(), buffer.data());
  {
    Image held;
    held.Borrow(2, 3, 4, PIXEL_FORMAT_MONO8, NONE, buffer.data(), lease);
    EXPECT_EQ(lease.use_count(), 2);
  }
  EXPECT_EQ(lease.use_count(), 1);
}

// ---- errors ----------------------------------------------------------------

TEST(ImageConvertErrors, NullDestinationIsAnInvalidParameter) {
  const Image source = MakeImage(2, 2, 2, PIXEL_FORMAT_MONO8);
  const Error error = source.Convert(PIXEL_FORMAT_BGR, nullptr);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Null destination image.");
}

TEST(ImageConvertErrors, ConvertingIntoItselfIsRefusedAndLeavesTheImageAlone) {
  Image image = MakeImage(2, 2, 2, PIXEL_FORMAT_MONO8, NONE, 7);
  const Error error = image.Convert(PIXEL_FORMAT_BGR, &image);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Cannot convert an image into itself.");
  EXPECT_EQ(image.GetPixelFormat(), PIXEL_FORMAT_MONO8);
  EXPECT_EQ(image.GetStride(), 2u);
  EXPECT_EQ(image.GetData()[3], 7);
}

TEST(ImageConvertErrors, ImagesWithoutDataFail) {
  const std::vector<Image> empties = {Image(), Image(0, 4, 4, PIXEL_FORMAT_MONO8), Image(4, 0, 0, PIXEL_FORMAT_MONO8),
                                      Image(3, 5, 0, PIXEL_FORMAT_MONO8)};
  for (const Image& source : empties) {
    Image target;
    const Error error = source.Convert(PIXEL_FORMAT_BGR, &target);
    EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
    EXPECT_STREQ(error.GetDescription(), "Source image has no data.");
  }
}

TEST(ImageConvertErrors, UnsupportedPairsNameBothFormats) {
  struct Case {
    PixelFormat from;
    PixelFormat to;
    const char* description;
  };
  const Case cases[] = {
      {PIXEL_FORMAT_RAW8, PIXEL_FORMAT_MONO8,
       "Conversion from pixel format 0x00400000 to 0x80000000 is not supported."},
      {PIXEL_FORMAT_422YUV8, PIXEL_FORMAT_RGB8,
       "Conversion from pixel format 0x20000000 to 0x08000000 is not supported."},
      {PIXEL_FORMAT_RGB16, PIXEL_FORMAT_BGR, "Conversion from pixel format 0x02000000 to 0x80000008 is not supported."},
      {PIXEL_FORMAT_BGR, PIXEL_FORMAT_MONO8, "Conversion from pixel format 0x80000008 to 0x80000000 is not supported."},
  };
  for (const Case& c : cases) {
    const Image source = MakeImage(2, 4, 24, c.from, RGGB);
    Image target;
    const Error error = source.Convert(c.to, &target);
    EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
    EXPECT_STREQ(error.GetDescription(), c.description);
  }
}

TEST(ImageConvertErrors, RawImageNeedsABayerTile) {
  const Image source = MakeImage(4, 4, 4, PIXEL_FORMAT_RAW8, NONE);
  Image target;
  const Error error = source.Convert(PIXEL_FORMAT_BGR, &target);
  EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
  EXPECT_STREQ(error.GetDescription(), "RAW image has no valid Bayer tile format (0).");
}

TEST(ImageConvertErrors, StrideShorterThanARowIsRefused) {
  Image target;
  Error error = MakeImage(3, 6, 10, PIXEL_FORMAT_422YUV8).Convert(PIXEL_FORMAT_BGR, &target);
  EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
  EXPECT_STREQ(error.GetDescription(),
               "Source stride 10 is smaller than a row of 6 pixels in pixel format 0x20000000 (12 bytes).");

  // An odd width still needs the whole last U Y V Y group.
  error = MakeImage(3, 5, 10, PIXEL_FORMAT_422YUV8).Convert(PIXEL_FORMAT_BGR, &target);
  EXPECT_STREQ(error.GetDescription(),
               "Source stride 10 is smaller than a row of 5 pixels in pixel format 0x20000000 (12 bytes).");

  error = MakeImage(2, 4, 7, PIXEL_FORMAT_MONO16).Convert(PIXEL_FORMAT_MONO8, &target);
  EXPECT_STREQ(error.GetDescription(),
               "Source stride 7 is smaller than a row of 4 pixels in pixel format 0x04000000 (8 bytes).");
}

TEST(ImageConvertErrors, FailedConversionLeavesTheDestinationAlone) {
  Image target = ConvertOk(MakeImage(2, 3, 3, PIXEL_FORMAT_MONO8, NONE, 42));
  const Error error = MakeImage(5, 5, 5, PIXEL_FORMAT_RAW8, NONE).Convert(PIXEL_FORMAT_BGR, &target);
  EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONVERSION_FAILED);
  ExpectBgrShape(target, 2, 3);
  EXPECT_EQ(PixelAt(target, 1, 2), (Bgr{42, 42, 42}));
}

// ---- monochrome --------------------------------------------------------------

TEST(ImageConvertMono, Mono8GreyIsReplicatedAndPaddingSkipped) {
  const std::vector<unsigned char> values = {0, 1, 127, 128, 254, 255};
  Image source = MakeImage(2, 6, 9, PIXEL_FORMAT_MONO8);
  for (unsigned row = 0; row < 2; ++row)
    for (unsigned col = 0; col < 6; ++col) RowOf(source, row)[col] = values[(col + row) % 6];

  const Image target = ConvertOk(source);
  ExpectBgrShape(target, 2, 6);
  for (unsigned row = 0; row < 2; ++row)
    for (unsigned col = 0; col < 6; ++col) {
      const int v = values[(col + row) % 6];
      EXPECT_EQ(PixelAt(target, row, col), (Bgr{v, v, v})) << row << "," << col;
    }
}

// Samples 0x0000, 0x00FF, 0x0100, 0x12FF, 0x8000, 0xFFFF, low byte first.
const std::vector<unsigned char> kMono16Bytes = {0x00, 0x00, 0xFF, 0x00, 0x00, 0x01,
                                                 0xFF, 0x12, 0x00, 0x80, 0xFF, 0xFF};
const std::vector<int> kMono16High = {0x00, 0x00, 0x01, 0x12, 0x80, 0xFF};

Image Mono16Source(unsigned stride) {
  Image source = MakeImage(3, 6, stride, PIXEL_FORMAT_MONO16);
  for (unsigned row = 0; row < 3; ++row) std::copy(kMono16Bytes.begin(), kMono16Bytes.end(), RowOf(source, row));
  return source;
}

TEST(ImageConvertMono, Mono16KeepsTheHighByteOfLittleEndianSamples) {
  // An even stride and an odd one, which no 16-bit load may assume aligned.
  for (unsigned stride : {12u, 16u, 13u}) {
    SCOPED_TRACE(stride);
    const Image bgr = ConvertOk(Mono16Source(stride));
    ExpectBgrShape(bgr, 3, 6);
    const Image mono = ConvertOk(Mono16Source(stride), PIXEL_FORMAT_MONO8);
    EXPECT_EQ(mono.GetStride(), 6u);
    EXPECT_EQ(mono.GetPixelFormat(), PIXEL_FORMAT_MONO8);
    for (unsigned row = 0; row < 3; ++row)
      for (unsigned col = 0; col < 6; ++col) {
        const int v = kMono16High[col];
        EXPECT_EQ(PixelAt(bgr, row, col), (Bgr{v, v, v})) << row << "," << col;
        EXPECT_EQ(mono.GetData()[row * 6 + col], v) << row << "," << col;
      }
  }
}

TEST(ImageConvertMono, Mono12KeepsTheHighEightBitsOfEachPackedSample) {
  // 0xABC and 0x123 share three bytes; the odd last sample 0x7F5 has two.
  const std::vector<unsigned char> row = {0xAB, 0x3C, 0x12, 0x7F, 0x05};
  Image source = MakeImage(2, 3, 6, PIXEL_FORMAT_MONO12);
  for (unsigned r = 0; r < 2; ++r) std::copy(row.begin(), row.end(), RowOf(source, r));

  const Image bgr = ConvertOk(source);
  const Image mono = ConvertOk(source, PIXEL_FORMAT_MONO8);
  const int expected[3] = {0xAB, 0x12, 0x7F};
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned col = 0; col < 3; ++col) {
      EXPECT_EQ(PixelAt(bgr, r, col), (Bgr{expected[col], expected[col], expected[col]}));
      EXPECT_EQ(mono.GetData()[r * 3 + col], expected[col]);
    }
}

TEST(ImageConvertMono, Mono8ToMono8DropsThePadding) {
  Image source = MakeImage(2, 3, 5, PIXEL_FORMAT_MONO8);
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned col = 0; col < 3; ++col) RowOf(source, r)[col] = static_cast<unsigned char>(10 * r + col);
  const Image mono = ConvertOk(source, PIXEL_FORMAT_MONO8);
  EXPECT_EQ(mono.GetStride(), 3u);
  EXPECT_EQ(std::vector<unsigned char>(mono.GetData(), mono.GetData() + 6),
            (std::vector<unsigned char>{0, 1, 2, 10, 11, 12}));
}

// ---- RGB ---------------------------------------------------------------------

TEST(ImageConvertRgb, Rgb8ChannelsAreReversed) {
  Image source = MakeImage(2, 7, 23, PIXEL_FORMAT_RGB8);
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned col = 0; col < 7; ++col) {
      unsigned char* rgb = RowOf(source, r) + 3 * col;
      rgb[0] = static_cast<unsigned char>(10 + col);
      rgb[1] = static_cast<unsigned char>(100 + r);
      rgb[2] = static_cast<unsigned char>(200 + col);
    }
  const Image target = ConvertOk(source);
  ExpectBgrShape(target, 2, 7);
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned col = 0; col < 7; ++col)
      EXPECT_EQ(PixelAt(target, r, col),
                (Bgr{static_cast<int>(200 + col), static_cast<int>(100 + r), static_cast<int>(10 + col)}));
}

TEST(ImageConvertRgb, BgrIsCopiedWithoutItsPadding) {
  Image source = MakeImage(3, 2, 8, PIXEL_FORMAT_BGR);
  for (unsigned r = 0; r < 3; ++r)
    for (unsigned i = 0; i < 6; ++i) RowOf(source, r)[i] = static_cast<unsigned char>(r * 6 + i);
  const Image target = ConvertOk(source);
  ExpectBgrShape(target, 3, 2);
  for (unsigned i = 0; i < 18; ++i) EXPECT_EQ(static_cast<unsigned>(target.GetData()[i]), i);
}

// ---- YUV ---------------------------------------------------------------------

// Pixels per chroma sample.
unsigned GroupWidth(PixelFormat format) {
  return format == PIXEL_FORMAT_411YUV8 ? 4 : format == PIXEL_FORMAT_422YUV8 ? 2 : 1;
}

unsigned WholeGroupRowBytes(PixelFormat format, unsigned cols) {
  const unsigned group = GroupWidth(format);
  return (cols + group - 1) / group * (group == 4 ? 6 : group == 2 ? 4 : 3);
}

// Lays out one sample per pixel as a camera does: U Y V; U Y0 V Y1;
// U Y0 Y1 V Y2 Y3. A group takes the chroma of its first pixel; luma slots
// past the last pixel of an odd-width row keep the fill byte.
using SampleAt = std::function<Yuv(unsigned row, unsigned col)>;
Image EncodeYuv(PixelFormat format, unsigned rows, unsigned cols, unsigned stride, const SampleAt& sample) {
  static const unsigned kLumaSlot[3][4] = {{1}, {1, 3}, {1, 2, 4, 5}};
  const unsigned group = GroupWidth(format);
  const unsigned groupBytes = group == 4 ? 6 : group == 2 ? 4 : 3;
  const unsigned vSlot = group == 4 ? 3 : 2;
  const unsigned* lumaSlot = kLumaSlot[group == 4 ? 2 : group == 2 ? 1 : 0];
  Image image = MakeImage(rows, cols, stride, format);
  for (unsigned r = 0; r < rows; ++r)
    for (unsigned col = 0; col < cols; ++col) {
      unsigned char* bytes = RowOf(image, r) + col / group * groupBytes;
      const Yuv yuv = sample(r, col);
      if (col % group == 0) {
        bytes[0] = static_cast<unsigned char>(yuv.u);
        bytes[vSlot] = static_cast<unsigned char>(yuv.v);
      }
      bytes[lumaSlot[col % group]] = static_cast<unsigned char>(yuv.y);
    }
  return image;
}

class ImageConvertYuv : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(ImageConvertYuv, PrimaryPatchesDecodeToTheirColours) {
  // One patch per four columns, so every chroma group lies within a patch.
  const unsigned cols = 4 * static_cast<unsigned>(kPatches.size());
  const Image source = EncodeYuv(GetParam(), 2, cols, WholeGroupRowBytes(GetParam(), cols),
                                 [](unsigned, unsigned col) { return ToYuv(kPatches[col / 4]); });
  const Image target = ConvertOk(source);
  ExpectBgrShape(target, 2, cols);
  for (unsigned r = 0; r < 2; ++r)
    for (unsigned col = 0; col < cols; ++col) {
      const Bgr& colour = kPatches[col / 4];
      const Yuv yuv = ToYuv(colour);
      EXPECT_TRUE(Near(PixelAt(target, r, col), FromYuv(yuv.y, yuv.u, yuv.v), 2)) << r << "," << col;
      EXPECT_TRUE(Near(PixelAt(target, r, col), colour, 3)) << r << "," << col;
    }
}

TEST_P(ImageConvertYuv, StudioRangeSamplesFollowTheFormula) {
  // Each row sweeps the luma range; chroma changes from group to group.
  const PixelFormat format = GetParam();
  const unsigned group = GroupWidth(format);
  const unsigned cols = 224, rows = 15;
  auto sample = [group](unsigned r, unsigned col) {
    const unsigned chromaIndex = r * 57 + col / group;
    return Yuv{static_cast<int>(16 + col % 220), static_cast<int>(16 + chromaIndex * 16 % 225),
               static_cast<int>(16 + chromaIndex * 37 % 225)};
  };
  const Image target = ConvertOk(EncodeYuv(format, rows, cols, WholeGroupRowBytes(format, cols) + 5, sample));
  for (unsigned r = 0; r < rows; ++r)
    for (unsigned col = 0; col < cols; ++col) {
      const Yuv luma = sample(r, col);
      const Yuv chroma = sample(r, col / group * group);
      EXPECT_TRUE(Near(PixelAt(target, r, col), FromYuv(luma.y, chroma.u, chroma.v), 2)) << r << "," << col;
    }
}

TEST_P(ImageConvertYuv, OddWidthsGiveEveryPixelItsGroupsChroma) {
  const PixelFormat format = GetParam();
  const unsigned group = GroupWidth(format);
  for (unsigned cols = 1; cols <= 9; ++cols) {
    SCOPED_TRACE(cols);
    auto sample = [group](unsigned, unsigned col) { return ToYuv(kPatches[col / group % kPatches.size()]); };
    const Image target = ConvertOk(EncodeYuv(format, 3, cols, WholeGroupRowBytes(format, cols), sample));
    ExpectBgrShape(target, 3, cols);
    for (unsigned r = 0; r < 3; ++r)
      for (unsigned col = 0; col < cols; ++col)
        EXPECT_TRUE(Near(PixelAt(target, r, col), kPatches[col / group % kPatches.size()], 3)) << r << "," << col;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageConvertYuv,
                         ::testing::Values(PIXEL_FORMAT_444YUV8, PIXEL_FORMAT_422YUV8, PIXEL_FORMAT_411YUV8),
                         [](const ::testing::TestParamInfo<PixelFormat>& info) {
                           return info.param == PIXEL_FORMAT_444YUV8   ? std::string("YUV444")
                                  : info.param == PIXEL_FORMAT_422YUV8 ? std::string("YUV422")
                                                                       : std::string("YUV411");
                         });

// ---- Bayer -------------------------------------------------------------------

// The BGR channel (0 B, 1 G, 2 R) each tile samples at (row, col).
int TileChannel(BayerTileFormat tile, unsigned row, unsigned col) {
  static const int kChannels[5][2][2] = {
      {{1, 1}, {1, 1}}, {{2, 1}, {1, 0}}, {{1, 2}, {0, 1}}, {{1, 0}, {2, 1}}, {{0, 1}, {1, 2}}};
  return kChannels[tile][row & 1][col & 1];
}

int Channel(const Bgr& c, int channel) { return channel == 0 ? c.b : channel == 1 ? c.g : c.r; }

// What the sensor delivers when it looks at `colour` everywhere.
Image BayerField(unsigned rows, unsigned cols, unsigned stride, BayerTileFormat tile, const Bgr& colour) {
  Image image = MakeImage(rows, cols, stride, PIXEL_FORMAT_RAW8, tile);
  for (unsigned r = 0; r < rows; ++r)
    for (unsigned col = 0; col < cols; ++col)
      RowOf(image, r)[col] = static_cast<unsigned char>(Channel(colour, TileChannel(tile, r, col)));
  return image;
}

const BayerTileFormat kTiles[] = {RGGB, GRBG, GBRG, BGGR};

TEST(ImageConvertBayer, UniformFieldKeepsItsColourInEveryTileAndSize) {
  const std::vector<Bgr> colours = {kRed, kGreen, kBlue, kWhite, Bgr{30, 140, 200}};
  const std::pair<unsigned, unsigned> sizes[] = {{6, 8}, {7, 9}, {3, 3}, {2, 2}, {48, 64}};
  for (BayerTileFormat tile : kTiles)
    for (const Bgr& colour : colours)
      for (auto [rows, cols] : sizes) {
        SCOPED_TRACE(::testing::Message() << "tile " << tile << " colour " << colour << " " << rows << "x" << cols);
        const Image target = ConvertOk(BayerField(rows, cols, cols + 3, tile, colour));
        ExpectBgrShape(target, rows, cols);
        int mismatches = 0;
        for (unsigned r = 0; r < rows; ++r)
          for (unsigned col = 0; col < cols; ++col) mismatches += !(PixelAt(target, r, col) == colour);
        EXPECT_EQ(mismatches, 0);
      }
}

TEST(ImageConvertBayer, KnownPixelsOfASmallRggbFrame) {
  // R  G  R       10  20  30
  // G  B  G       40  50  60
  // R  G  R       70  80  90
  Image source = MakeImage(3, 3, 3, PIXEL_FORMAT_RAW8, RGGB);
  for (unsigned i = 0; i < 9; ++i) source.GetData()[i] = static_cast<unsigned char>(10 * (i + 1));
  const Image target = ConvertOk(source);
  EXPECT_EQ(PixelAt(target, 1, 1), (Bgr{50, 50, 50}));  // B; G of 20 40 60 80; R of 10 30 70 90
  EXPECT_EQ(PixelAt(target, 0, 0), (Bgr{50, 30, 10}));  // corner: G of 20 40, B of 50
  EXPECT_EQ(PixelAt(target, 0, 1), (Bgr{50, 20, 20}));  // G; R of 10 30; B below
  EXPECT_EQ(PixelAt(target, 1, 0), (Bgr{50, 40, 40}));  // G; R of 10 70; B right
  EXPECT_EQ(PixelAt(target, 2, 2), (Bgr{50, 70, 90}));  // corner: G of 60 80
}

// The demosaicing rule written out plainly: own sample for own colour, the
// rounded mean of the 3 × 3 neighbourhood inside the image for the others.
Bgr ReferenceDemosaic(const Image& source, unsigned row, unsigned col) {
  int sum[3] = {0, 0, 0}, count[3] = {0, 0, 0};
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      const int r = static_cast<int>(row) + dr, c = static_cast<int>(col) + dc;
      if (r < 0 || c < 0 || r >= static_cast<int>(source.GetRows()) || c >= static_cast<int>(source.GetCols()))
        continue;
      const int channel = TileChannel(source.GetBayerTileFormat(), r, c);
      sum[channel] += source.GetData()[r * source.GetStride() + c];
      ++count[channel];
    }
  int out[3];
  for (int ch = 0; ch < 3; ++ch) out[ch] = count[ch] ? (sum[ch] + count[ch] / 2) / count[ch] : 0;
  out[TileChannel(source.GetBayerTileFormat(), row, col)] = source.GetData()[row * source.GetStride() + col];
  return {out[0], out[1], out[2]};
}

TEST(ImageConvertBayer, RandomFramesFollowTheBilinearRuleEverywhere) {
  std::mt19937 random(7);
  // Rows of 18 and more pixels are converted sixteen at a time where the
  // processor allows, rows of 34 and more thirty-two at a time, with the rest
  // of the row in smaller blocks or pixel by pixel.
  const std::pair<unsigned, unsigned> sizes[] = {{1, 1}, {1, 6}, {5, 1},  {2, 2},  {2, 5},  {3, 3},
                                                 {5, 8}, {9, 7}, {4, 18}, {3, 35}, {5, 50}, {4, 83}};
  for (BayerTileFormat tile : kTiles)
    for (auto [rows, cols] : sizes) {
      SCOPED_TRACE(::testing::Message() << "tile " << tile << " " << rows << "x" << cols);
      Image source = MakeImage(rows, cols, cols + 1, PIXEL_FORMAT_RAW8, tile);
      for (unsigned i = 0; i < source.GetDataSize(); ++i) source.GetData()[i] = static_cast<unsigned char>(random());
      const Image target = ConvertOk(source);
      for (unsigned r = 0; r < rows; ++r)
        for (unsigned col = 0; col < cols; ++col)
          EXPECT_EQ(PixelAt(target, r, col), ReferenceDemosaic(source, r, col)) << r << "," << col;
    }
}

TEST(ImageConvertBayer, Raw16IsDemosaicedFromItsHighBytes) {
  const Bgr colour{30, 140, 200};
  for (BayerTileFormat tile : kTiles) {
    Image source = MakeImage(6, 5, 12, PIXEL_FORMAT_RAW16, tile);
    for (unsigned r = 0; r < 6; ++r)
      for (unsigned col = 0; col < 5; ++col) {
        RowOf(source, r)[2 * col] = static_cast<unsigned char>(0xF0 + col);  // low byte: noise
        RowOf(source, r)[2 * col + 1] = static_cast<unsigned char>(Channel(colour, TileChannel(tile, r, col)));
      }
    const Image target = ConvertOk(source);
    ExpectBgrShape(target, 6, 5);
    for (unsigned r = 0; r < 6; ++r)
      for (unsigned col = 0; col < 5; ++col) EXPECT_EQ(PixelAt(target, r, col), colour) << tile;
  }
}

// ---- destination -------------------------------------------------------------

TEST(ImageConvertDestination, FrameNumberIsCopied) {
  Image source = MakeImage(4, 4, 8, PIXEL_FORMAT_422YUV8);
  source.SetFrameNumber(0x1234567890ull);
  EXPECT_EQ(ConvertOk(source).GetFrameNumber(), 0x1234567890ull);
  EXPECT_EQ(ConvertOk(MakeImage(2, 2, 4, PIXEL_FORMAT_MONO16), PIXEL_FORMAT_MONO8).GetFrameNumber(), 0u);
}

TEST(ImageConvertDestination, ReusedDestinationTakesTheNewShape) {
  Image target;
  ASSERT_EQ(BayerField(8, 10, 10, GRBG, kBlue).Convert(PIXEL_FORMAT_BGR, &target).GetType(), PGRERROR_OK);
  ASSERT_EQ(MakeImage(2, 3, 3, PIXEL_FORMAT_MONO8, NONE, 9).Convert(PIXEL_FORMAT_BGR, &target).GetType(), PGRERROR_OK);
  ExpectBgrShape(target, 2, 3);
  EXPECT_EQ(PixelAt(target, 1, 2), (Bgr{9, 9, 9}));
}

TEST(ImageConvertDestination, GrabThreadsConvertingAtOnceGetTheSameFrames) {
  std::mt19937 random(3);
  std::vector<Image> sources = {MakeImage(48, 64, 128, PIXEL_FORMAT_422YUV8),
                                MakeImage(48, 64, 64, PIXEL_FORMAT_RAW8, BGGR),
                                MakeImage(48, 64, 128, PIXEL_FORMAT_MONO16), MakeImage(48, 64, 192, PIXEL_FORMAT_RGB8)};
  std::vector<Image> expected;
  for (Image& source : sources) {
    for (unsigned i = 0; i < source.GetDataSize(); ++i) source.GetData()[i] = static_cast<unsigned char>(random());
    expected.push_back(ConvertOk(source));
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      Image target;
      for (int round = 0; round < 20; ++round) {
        const size_t which = (t + round) % sources.size();
        const Error error = sources[which].Convert(PIXEL_FORMAT_BGR, &target);
        const Image& want = expected[which];
        if (error != PGRERROR_OK || !std::equal(want.GetData(), want.GetData() + want.GetDataSize(), target.GetData()))
          ++mismatches[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, (std::vector<int>{0, 0, 0, 0}));
}

}  // namespace
