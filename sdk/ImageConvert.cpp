// Image::Convert and Image::ConvertRows: every format our cameras deliver to
// BGR, and the monochrome formats to MONO8; samples deeper than 8 bits, in
// whatever packing, keep their high 8 bits. The work is done by libyuv where it has the
// conversion (its SIMD code is two to ten times faster than our kernels
// there), else, and when the build has no libyuv, by the kernels of
// PixelConvert.h. Grey to BGR is always ours: it writes BGR in one pass,
// where libyuv goes through 32-bit pixels and takes three times as long.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <string>

#include "sdk/FlyCapture2.h"
#include "sdk/PixelConvert.h"
#include "sdk/PixelConvertLibyuv.h"

namespace FlyCapture2 {

namespace {

using detail::SourceView;
using detail::TargetView;

// What a kernel needs to know of the source beyond its rows: the Bayer tile,
// and for samples deeper than 8 bits their depth and the reader of their high
// 8 bits.
struct Samples {
  BayerTileFormat tile;
  unsigned int bits;
  detail::SampleRowReader reader;
  bool wide;  // one sample in two little-endian bytes
};

// Converts the source rows [first, first + count) into the target, whose
// first row takes source row `first`. A kernel reads outside those rows only
// where a pixel's value depends on its neighbours (Bayer).
using Kernel = void (*)(const SourceView& source, const Samples& samples, size_t first, size_t count,
                        const TargetView& target);
using PlainKernel = void (*)(const SourceView& source, const TargetView& target);
using LibraryKernel = bool (*)(const SourceView& source, const TargetView& target);

// The rows a kernel that reads each row alone converts.
SourceView Band(const SourceView& source, size_t first, size_t count) {
  return {source.data + first * source.stride, source.stride, count, source.cols};
}

// libyuv when it takes the image, else our kernel.
template <LibraryKernel kLibrary, PlainKernel kOwn>
void PreferLibyuv(const SourceView& source, const Samples&, size_t first, size_t count, const TargetView& target) {
  const SourceView band = Band(source, first, count);
  if (!kLibrary(band, target)) kOwn(band, target);
}

// Our kernel alone.
template <PlainKernel kOwn>
void Own(const SourceView& source, const Samples&, size_t first, size_t count, const TargetView& target) {
  kOwn(Band(source, first, count), target);
}

// Samples deeper than 8 bits to grey: libyuv's saturating shift for samples
// in two bytes where it takes them, else the reader.
void DeepToMono8(const SourceView& source, const Samples& samples, size_t first, size_t count,
                 const TargetView& target) {
  const SourceView band = Band(source, first, count);
  if (samples.wide && detail::LibyuvSamples16ToMono8(band, target, samples.bits)) return;
  detail::DeepMonoToMono8(band, target, samples.reader);
}

// Samples deeper than 8 bits to BGR: their grey rows, a few at a time, then
// grey to BGR as MONO8 goes.
void DeepToBgr(const SourceView& source, const Samples& samples, size_t first, size_t count, const TargetView& target) {
  constexpr size_t kRowsAtOnce = 16;
  detail::Scratch grey(std::min(count, kRowsAtOnce) * source.cols);
  for (size_t done = 0; done < count; done += kRowsAtOnce) {
    const size_t rows = std::min(kRowsAtOnce, count - done);
    DeepToMono8(source, samples, first + done, rows, TargetView{grey.Data(), source.cols});
    detail::Mono8ToBgr(SourceView{grey.Data(), source.cols, rows, source.cols},
                       TargetView{target.data + done * target.stride, target.stride});
  }
}

// MONO16 at its full depth as before: libyuv's high-byte conversions.
template <LibraryKernel kLibrary, PlainKernel kOwn, Kernel kDeep>
void Mono16(const SourceView& source, const Samples& samples, size_t first, size_t count, const TargetView& target) {
  if (samples.bits == 16)
    PreferLibyuv<kLibrary, kOwn>(source, samples, first, count, target);
  else
    kDeep(source, samples, first, count, target);
}

// Bayer samples deeper than 8 bits: the high bytes of the requested rows and
// of their neighbours, as grey goes (libyuv for two-byte samples), demosaiced
// as 8-bit rows.
void DeepBayer(const SourceView& source, const Samples& samples, size_t first, size_t count, const TargetView& target) {
  if (count == 0) return;
  const size_t top = first > 0 ? first - 1 : 0;
  const size_t rows = std::min(first + count + 1, source.rows) - top;
  detail::Scratch high(rows * source.cols);
  DeepToMono8(source, samples, top, rows, TargetView{high.Data(), source.cols});
  detail::BayerWindowRowsToBgr(SourceView{high.Data(), source.cols, rows, source.cols}, samples.tile, top, first, count,
                               target);
}

void Bayer8(const SourceView& source, const Samples& samples, size_t first, size_t count, const TargetView& target) {
  detail::BayerRowsToBgr(source, samples.tile, first, count, target);
}

void CopyBgr(const SourceView& source, const Samples&, size_t first, size_t count, const TargetView& target) {
  detail::CopyRows(Band(source, first, count), target, 3 * source.cols);
}

void CopyMono8(const SourceView& source, const Samples&, size_t first, size_t count, const TargetView& target) {
  detail::CopyRows(Band(source, first, count), target, source.cols);
}

struct Conversion {
  PixelFormat from;
  SampleLayout layout;
  PixelFormat to;
  Kernel kernel;
};

constexpr Conversion kConversions[] = {
    {PIXEL_FORMAT_MONO8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, Own<detail::Mono8ToBgr>},
    {PIXEL_FORMAT_MONO12, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, DeepToBgr},
    {PIXEL_FORMAT_MONO12, LAYOUT_LSB_PACKED, PIXEL_FORMAT_BGR, DeepToBgr},
    {PIXEL_FORMAT_MONO16, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR,
     Mono16<detail::LibyuvMono16ToBgr, detail::Mono16ToBgr, DeepToBgr>},
    {PIXEL_FORMAT_RGB8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvRgb8ToBgr, detail::Rgb8ToBgr>},
    {PIXEL_FORMAT_BGR, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, CopyBgr},
    {PIXEL_FORMAT_444YUV8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR,
     PreferLibyuv<detail::LibyuvYuv444ToBgr, detail::Yuv444ToBgr>},
    {PIXEL_FORMAT_422YUV8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR,
     PreferLibyuv<detail::LibyuvYuv422ToBgr, detail::Yuv422ToBgr>},
    {PIXEL_FORMAT_422YUV8, LAYOUT_YUYV, PIXEL_FORMAT_BGR,
     PreferLibyuv<detail::LibyuvYuyv422ToBgr, detail::Yuyv422ToBgr>},
    {PIXEL_FORMAT_411YUV8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR,
     PreferLibyuv<detail::LibyuvYuv411ToBgr, detail::Yuv411ToBgr>},
    {PIXEL_FORMAT_RAW8, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, Bayer8},
    {PIXEL_FORMAT_RAW12, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, DeepBayer},
    {PIXEL_FORMAT_RAW12, LAYOUT_LSB_PACKED, PIXEL_FORMAT_BGR, DeepBayer},
    {PIXEL_FORMAT_RAW16, LAYOUT_DEFAULT, PIXEL_FORMAT_BGR, DeepBayer},
    {PIXEL_FORMAT_MONO8, LAYOUT_DEFAULT, PIXEL_FORMAT_MONO8, CopyMono8},
    {PIXEL_FORMAT_MONO12, LAYOUT_DEFAULT, PIXEL_FORMAT_MONO8, DeepToMono8},
    {PIXEL_FORMAT_MONO12, LAYOUT_LSB_PACKED, PIXEL_FORMAT_MONO8, DeepToMono8},
    {PIXEL_FORMAT_MONO16, LAYOUT_DEFAULT, PIXEL_FORMAT_MONO8,
     Mono16<detail::LibyuvMono16ToMono8, detail::Mono16ToMono8, DeepToMono8>},
};

const Conversion* FindConversion(PixelFormat from, SampleLayout layout, PixelFormat to) {
  for (const Conversion& conversion : kConversions)
    if (conversion.from == from && conversion.layout == layout && conversion.to == to) return &conversion;
  return nullptr;
}

// Formats whose samples are deeper than 8 bits are read through a reader of
// their high bits.
bool IsDeep(PixelFormat format) {
  return format == PIXEL_FORMAT_MONO12 || format == PIXEL_FORMAT_MONO16 || format == PIXEL_FORMAT_RAW12 ||
         format == PIXEL_FORMAT_RAW16;
}

std::string Hex(unsigned int value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

bool IsBayer(PixelFormat format) {
  return format == PIXEL_FORMAT_RAW8 || format == PIXEL_FORMAT_RAW12 || format == PIXEL_FORMAT_RAW16;
}

bool IsTile(BayerTileFormat tile) { return tile == RGGB || tile == GRBG || tile == GBRG || tile == BGGR; }

constexpr ErrorType kFailed = PGRERROR_IMAGE_CONVERSION_FAILED;

unsigned int TargetBytesPerPixel(PixelFormat format) { return format == PIXEL_FORMAT_BGR ? 3 : 1; }

// The conversion of `image` to `format`, once the image is found fit for it:
// its data, sample layout and depth, Bayer tile, stride and width.
Error UsableConversion(const Image& image, PixelFormat format, const Conversion** found, Samples* samples) {
  const unsigned int rows = image.GetRows(), cols = image.GetCols(), stride = image.GetStride();
  const PixelFormat from = image.GetPixelFormat();
  const SampleLayout layout = image.GetSampleLayout();
  const unsigned int bits = image.GetSampleBits();
  if (rows == 0 || cols == 0 || !image.GetData()) return FC2_ERROR(kFailed, "Source image has no data.");

  const Conversion* conversion = FindConversion(from, layout, format);
  if (!conversion) {
    const std::string packing =
        layout == LAYOUT_DEFAULT ? std::string() : " in sample layout " + std::to_string(static_cast<int>(layout));
    return FC2_ERROR(
        kFailed, "Conversion from pixel format " + Hex(from) + packing + " to " + Hex(format) + " is not supported.");
  }
  *samples = Samples{image.GetBayerTileFormat(), bits, nullptr,
                     (from == PIXEL_FORMAT_MONO16 || from == PIXEL_FORMAT_RAW16) && layout == LAYOUT_DEFAULT};
  if (IsDeep(from)) {
    samples->reader = detail::HighBitsReader(from, layout, bits);
    if (!samples->reader)
      return FC2_ERROR(
          kFailed, "Samples of " + std::to_string(bits) + " bits are not supported in pixel format " + Hex(from) + ".");
  } else if (bits != 8) {
    return FC2_ERROR(
        kFailed, "Samples of " + std::to_string(bits) + " bits are not supported in pixel format " + Hex(from) + ".");
  }
  if (IsBayer(from) && !IsTile(image.GetBayerTileFormat()))
    return FC2_ERROR(kFailed, "RAW image has no valid Bayer tile format (" +
                                  std::to_string(static_cast<int>(image.GetBayerTileFormat())) + ").");

  const size_t rowBytes = detail::SourceRowBytes(from, layout, bits, cols);
  if (stride < rowBytes)
    return FC2_ERROR(kFailed, "Source stride " + std::to_string(stride) + " is smaller than a row of " +
                                  std::to_string(cols) + " pixels in pixel format " + Hex(from) + " (" +
                                  std::to_string(rowBytes) + " bytes).");
  if (cols > UINT_MAX / TargetBytesPerPixel(format)) return FC2_ERROR(kFailed, "Image is too wide to convert.");
  *found = conversion;
  return Error();
}

}  // namespace

Error Image::CheckConversion(PixelFormat format) const {
  const Conversion* conversion = nullptr;
  Samples samples{};
  return UsableConversion(*this, format, &conversion, &samples);
}

Error Image::Convert(PixelFormat format, Image* destination) const {
  if (!destination) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null destination image.");
  if (destination == this) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Cannot convert an image into itself.");
  const Conversion* conversion = nullptr;
  Samples samples{};
  Error usable = UsableConversion(*this, format, &conversion, &samples);
  if (usable != PGRERROR_OK) return usable;

  const unsigned int targetStride = _cols * TargetBytesPerPixel(format);
  try {
    Error shaped = destination->SetDimensions(_rows, _cols, targetStride, format, NONE);
    if (shaped != PGRERROR_OK) return shaped;
  } catch (const std::bad_alloc&) {
    return FC2_ERROR(kFailed, "Could not allocate the converted image.");
  }

  const SourceView source{GetData(), _stride, _rows, _cols};
  const TargetView target{destination->GetData(), targetStride};
  conversion->kernel(source, samples, 0, _rows, target);
  destination->SetFrameNumber(_frameNumber);
  destination->SetReceiveTime(_receiveTime);
  destination->SetTimeStamp(_timeStamp);
  return Error();
}

Error Image::ConvertRows(PixelFormat format, unsigned int firstRow, unsigned int rowCount, unsigned char* target,
                         size_t targetStride) const {
  const Conversion* conversion = nullptr;
  Samples samples{};
  Error usable = UsableConversion(*this, format, &conversion, &samples);
  if (usable != PGRERROR_OK) return usable;
  if (firstRow > _rows || rowCount > _rows - firstRow)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Rows " + std::to_string(firstRow) + " to " +
                                                     std::to_string(static_cast<uint64_t>(firstRow) + rowCount) +
                                                     " lie outside an image of " + std::to_string(_rows) + " rows.");
  if (!target || targetStride < static_cast<size_t>(_cols) * TargetBytesPerPixel(format))
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "The target rows cannot hold a converted row.");
  const SourceView source{GetData(), _stride, _rows, _cols};
  conversion->kernel(source, samples, firstRow, rowCount, TargetView{target, targetStride});
  return Error();
}

struct RowConverter::Prepared {
  const Conversion* conversion;
  Samples samples;
  SourceView source;
  size_t rowBytes;
};

Error RowConverter::Prepare(const Image& image, PixelFormat format) {
  Reset();
  const Conversion* conversion = nullptr;
  Samples samples{};
  Error usable = UsableConversion(image, format, &conversion, &samples);
  if (usable != PGRERROR_OK) return usable;
  const SourceView source{image.GetData(), image.GetStride(), image.GetRows(), image.GetCols()};
  _rows = image.GetRows();
  _cols = image.GetCols();
  _rowBytes = static_cast<size_t>(_cols) * TargetBytesPerPixel(format);
  _prepared = std::make_shared<const Prepared>(Prepared{conversion, samples, source, _rowBytes});
  if (conversion->kernel == CopyMono8 || conversion->kernel == CopyBgr) {
    _copyFrom = image.GetData();
    _copyStride = image.GetStride();
  }
  return Error();
}

void RowConverter::ConvertThroughKernel(unsigned int row, unsigned char* target) const {
  const Prepared& prepared = *_prepared;
  prepared.conversion->kernel(prepared.source, prepared.samples, row, 1, TargetView{target, prepared.rowBytes});
}

}  // namespace FlyCapture2
