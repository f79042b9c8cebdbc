// Image::Convert: every format our cameras deliver to BGR, and the
// monochrome formats to MONO8. The work is done by libyuv where it has the
// conversion (its SIMD code is two to ten times faster than our kernels
// there), else, and when the build has no libyuv, by the kernels of
// PixelConvert.h.
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

using Kernel = void (*)(const SourceView& source, BayerTileFormat tile, const TargetView& target);
using PlainKernel = void (*)(const SourceView& source, const TargetView& target);
using LibraryKernel = bool (*)(const SourceView& source, const TargetView& target);

template <PlainKernel kOwn>
void Own(const SourceView& source, BayerTileFormat, const TargetView& target) {
  kOwn(source, target);
}

// libyuv when it takes the image, else our kernel.
template <LibraryKernel kLibrary, PlainKernel kOwn>
void PreferLibyuv(const SourceView& source, BayerTileFormat, const TargetView& target) {
  if (!kLibrary(source, target)) kOwn(source, target);
}

void CopyBgr(const SourceView& source, BayerTileFormat, const TargetView& target) {
  detail::CopyRows(source, target, 3 * source.cols);
}

void CopyMono8(const SourceView& source, BayerTileFormat, const TargetView& target) {
  detail::CopyRows(source, target, source.cols);
}

struct Conversion {
  PixelFormat from;
  PixelFormat to;
  Kernel kernel;
};

constexpr Conversion kConversions[] = {
    {PIXEL_FORMAT_MONO8, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvMono8ToBgr, detail::Mono8ToBgr>},
    {PIXEL_FORMAT_MONO12, PIXEL_FORMAT_BGR, Own<detail::Mono12ToBgr>},
    {PIXEL_FORMAT_MONO16, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvMono16ToBgr, detail::Mono16ToBgr>},
    {PIXEL_FORMAT_RGB8, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvRgb8ToBgr, detail::Rgb8ToBgr>},
    {PIXEL_FORMAT_BGR, PIXEL_FORMAT_BGR, CopyBgr},
    {PIXEL_FORMAT_444YUV8, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvYuv444ToBgr, detail::Yuv444ToBgr>},
    {PIXEL_FORMAT_422YUV8, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvYuv422ToBgr, detail::Yuv422ToBgr>},
    {PIXEL_FORMAT_411YUV8, PIXEL_FORMAT_BGR, PreferLibyuv<detail::LibyuvYuv411ToBgr, detail::Yuv411ToBgr>},
    {PIXEL_FORMAT_RAW8, PIXEL_FORMAT_BGR, detail::BayerToBgr},
    {PIXEL_FORMAT_RAW16, PIXEL_FORMAT_BGR, detail::Bayer16ToBgr},
    {PIXEL_FORMAT_MONO8, PIXEL_FORMAT_MONO8, CopyMono8},
    {PIXEL_FORMAT_MONO12, PIXEL_FORMAT_MONO8, Own<detail::Mono12ToMono8>},
    {PIXEL_FORMAT_MONO16, PIXEL_FORMAT_MONO8, PreferLibyuv<detail::LibyuvMono16ToMono8, detail::Mono16ToMono8>},
};

const Conversion* FindConversion(PixelFormat from, PixelFormat to) {
  for (const Conversion& conversion : kConversions)
    if (conversion.from == from && conversion.to == to) return &conversion;
  return nullptr;
}

std::string Hex(unsigned int value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

bool IsBayer(PixelFormat format) { return format == PIXEL_FORMAT_RAW8 || format == PIXEL_FORMAT_RAW16; }

bool IsTile(BayerTileFormat tile) { return tile == RGGB || tile == GRBG || tile == GBRG || tile == BGGR; }

constexpr ErrorType kFailed = PGRERROR_IMAGE_CONVERSION_FAILED;

unsigned int TargetBytesPerPixel(PixelFormat format) { return format == PIXEL_FORMAT_BGR ? 3 : 1; }

}  // namespace

Error Image::Convert(PixelFormat format, Image* destination) const {
  if (!destination) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null destination image.");
  if (destination == this) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Cannot convert an image into itself.");
  if (_rows == 0 || _cols == 0 || !GetData()) return FC2_ERROR(kFailed, "Source image has no data.");

  const Conversion* conversion = FindConversion(_format, format);
  if (!conversion)
    return FC2_ERROR(kFailed,
                     "Conversion from pixel format " + Hex(_format) + " to " + Hex(format) + " is not supported.");
  if (IsBayer(_format) && !IsTile(_bayer))
    return FC2_ERROR(kFailed,
                     "RAW image has no valid Bayer tile format (" + std::to_string(static_cast<int>(_bayer)) + ").");

  const size_t rowBytes = detail::SourceRowBytes(_format, _cols);
  if (_stride < rowBytes)
    return FC2_ERROR(kFailed, "Source stride " + std::to_string(_stride) + " is smaller than a row of " +
                                  std::to_string(_cols) + " pixels in pixel format " + Hex(_format) + " (" +
                                  std::to_string(rowBytes) + " bytes).");

  const unsigned int bytesPerPixel = TargetBytesPerPixel(format);
  if (_cols > UINT_MAX / bytesPerPixel) return FC2_ERROR(kFailed, "Image is too wide to convert.");
  const unsigned int targetStride = _cols * bytesPerPixel;
  try {
    Error shaped = destination->SetDimensions(_rows, _cols, targetStride, format, NONE);
    if (shaped != PGRERROR_OK) return shaped;
  } catch (const std::bad_alloc&) {
    return FC2_ERROR(kFailed, "Could not allocate the converted image.");
  }

  const SourceView source{GetData(), _stride, _rows, _cols};
  const TargetView target{destination->GetData(), targetStride};
  conversion->kernel(source, _bayer, target);
  destination->SetFrameNumber(_frameNumber);
  destination->SetReceiveTime(_receiveTime);
  return Error();
}

}  // namespace FlyCapture2
