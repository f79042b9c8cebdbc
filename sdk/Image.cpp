#include "sdk/FlyCapture2.h"

#include <cstring>
#include <utility>

namespace FlyCapture2 {

Image::Image() = default;

Image::Image(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer) {
  SetDimensions(rows, cols, stride, format, bayer);
}

Image::~Image() = default;

Image::Image(const Image& other) { *this = other; }

Image& Image::operator=(const Image& other) {
  if (this == &other) return *this;
  SetDimensions(other._rows, other._cols, other._stride, other._format, other._bayer);
  const unsigned char* bytes = other.GetData();
  const size_t size = static_cast<size_t>(_rows) * _stride;
  if (bytes && size > 0) std::memcpy(GetData(), bytes, size);
  _layout = other._layout;
  _sampleBits = other._sampleBits;
  _frameNumber = other._frameNumber;
  _receiveTime = other._receiveTime;
  _timeStamp = other._timeStamp;
  return *this;
}

Image::Image(Image&& other) noexcept { *this = std::move(other); }

Image& Image::operator=(Image&& other) noexcept {
  if (this == &other) return *this;
  SetShape(std::exchange(other._rows, 0), std::exchange(other._cols, 0), std::exchange(other._stride, 0),
           std::exchange(other._format, UNSPECIFIED_PIXEL_FORMAT), std::exchange(other._bayer, NONE));
  _layout = std::exchange(other._layout, LAYOUT_DEFAULT);
  _sampleBits = std::exchange(other._sampleBits, 0);
  _frameNumber = std::exchange(other._frameNumber, 0);
  _receiveTime = std::exchange(other._receiveTime, {});
  _timeStamp = std::exchange(other._timeStamp, 0);
  _data = std::move(other._data);
  other._data.clear();
  _borrowed = std::exchange(other._borrowed, nullptr);
  _lease = std::move(other._lease);
  return *this;
}

void Image::Borrow(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer,
                   unsigned char* data, std::shared_ptr<void> lease) {
  _lease = std::move(lease);
  _borrowed = data;
  SetShape(rows, cols, stride, format, bayer);
}

void Image::ReturnBorrowed() {
  if (!_lease) return;
  _lease.reset();
  _borrowed = nullptr;
  _rows = _cols = _stride = 0;
}

Error Image::SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                           BayerTileFormat bayer) {
  ReturnBorrowed();
  SetShape(rows, cols, stride, format, bayer);
  const size_t size = static_cast<size_t>(rows) * stride;
  if (_data.size() < size) _data.resize(size);
  return Error();
}

void Image::SetShape(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                     BayerTileFormat bayer) {
  _rows = rows;
  _cols = cols;
  _stride = stride;
  _format = format;
  _bayer = bayer;
  _layout = LAYOUT_DEFAULT;
  _sampleBits = 0;
}

unsigned int Image::GetBitsPerPixel() const {
  switch (_format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_RAW8: return 8;
    case PIXEL_FORMAT_411YUV8: return 12;
    case PIXEL_FORMAT_MONO12:
    case PIXEL_FORMAT_RAW12: return _layout == LAYOUT_LSB_PACKED ? GetSampleBits() : 12;
    case PIXEL_FORMAT_422YUV8:
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_S_MONO16:
    case PIXEL_FORMAT_RAW16: return 16;
    case PIXEL_FORMAT_444YUV8:
    case PIXEL_FORMAT_RGB8:
    case PIXEL_FORMAT_BGR: return 24;
    case PIXEL_FORMAT_BGRU:
    case PIXEL_FORMAT_RGBU: return 32;
    case PIXEL_FORMAT_RGB16:
    case PIXEL_FORMAT_S_RGB16: return 48;
    default: return 0;
  }
}

unsigned int Image::GetSampleBits() const {
  if (_sampleBits != 0) return _sampleBits;
  switch (_format) {
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_S_MONO16:
    case PIXEL_FORMAT_RAW16:
    case PIXEL_FORMAT_RGB16:
    case PIXEL_FORMAT_S_RGB16: return 16;
    case PIXEL_FORMAT_MONO12:
    case PIXEL_FORMAT_RAW12: return 12;
    case UNSPECIFIED_PIXEL_FORMAT: return 0;
    default: return 8;
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
