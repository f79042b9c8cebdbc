#include "sdk/FlyCapture2.h"

namespace FlyCapture2 {

Image::Image() = default;

Image::Image(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer) {
  SetDimensions(rows, cols, stride, format, bayer);
}

Image::~Image() = default;
Image::Image(const Image& other) = default;
Image& Image::operator=(const Image& other) = default;

Error Image::SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                           BayerTileFormat bayer) {
  _rows = rows;
  _cols = cols;
  _stride = stride;
  _format = format;
  _bayer = bayer;
  size_t size = static_cast<size_t>(rows) * stride;
  if (_data.size() < size) _data.resize(size);
  return Error();
}

unsigned int Image::GetBitsPerPixel() const {
  switch (_format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_RAW8:
      return 8;
    case PIXEL_FORMAT_411YUV8:
      return 12;
    case PIXEL_FORMAT_MONO12:
    case PIXEL_FORMAT_RAW12:
      return 12;
    case PIXEL_FORMAT_422YUV8:
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_S_MONO16:
    case PIXEL_FORMAT_RAW16:
      return 16;
    case PIXEL_FORMAT_444YUV8:
    case PIXEL_FORMAT_RGB8:
    case PIXEL_FORMAT_BGR:
      return 24;
    case PIXEL_FORMAT_BGRU:
    case PIXEL_FORMAT_RGBU:
      return 32;
    case PIXEL_FORMAT_RGB16:
    case PIXEL_FORMAT_S_RGB16:
      return 48;
    default:
      return 0;
  }
}

void Image::GetDimensions(unsigned int* rows, unsigned int* cols, unsigned int* stride, PixelFormat* format,
                          BayerTileFormat* bayer) const {
  if (rows) *rows = _rows;
  if (cols) *cols = _cols;
  if (stride) *stride = _stride;
  if (format) *format = _format;
  if (bayer) *bayer = _bayer;
}

}  // namespace FlyCapture2
