#include "sdk/FlyCapture2.h"

#include <string>
#include <utility>

namespace FlyCapture2 {

Image::Image() = default;

Image::Image(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer) {
  SetDimensions(rows, cols, stride, format, bayer);
}

Image::Image(unsigned int rows, unsigned int cols, unsigned int stride, unsigned char* data, unsigned int dataSize,
             PixelFormat format, BayerTileFormat bayer)
    : _external(data), _externalSize(data ? dataSize : 0) {
  SetDimensions(rows, cols, stride, format, bayer);
}

Image::~Image() = default;

Image::Image(const Image& other) { *this = other; }

Image& Image::operator=(const Image& other) {
  if (this == &other) return *this;
  _lease.reset();
  _rows = other._rows;
  _cols = other._cols;
  _stride = other._stride;
  _format = other._format;
  _bayer = other._bayer;
  _frameNumber = other._frameNumber;
  _receiveTime = other._receiveTime;
  _external = nullptr;
  _externalSize = 0;
  // Never an alias of the other image's memory: the copy owns its bytes.
  const unsigned char* bytes = other.GetData();
  const size_t size = static_cast<size_t>(other._rows) * other._stride;
  if (bytes && size > 0)
    _data.assign(bytes, bytes + size);
  else
    _data.clear();
  return *this;
}

Image::Image(Image&& other) noexcept { *this = std::move(other); }

Image& Image::operator=(Image&& other) noexcept {
  if (this == &other) return *this;
  _rows = std::exchange(other._rows, 0);
  _cols = std::exchange(other._cols, 0);
  _stride = std::exchange(other._stride, 0);
  _format = std::exchange(other._format, UNSPECIFIED_PIXEL_FORMAT);
  _bayer = std::exchange(other._bayer, NONE);
  _frameNumber = std::exchange(other._frameNumber, 0);
  _receiveTime = std::exchange(other._receiveTime, {});
  _data = std::move(other._data);
  other._data.clear();
  _external = std::exchange(other._external, nullptr);
  _externalSize = std::exchange(other._externalSize, 0);
  _lease = std::move(other._lease);
  return *this;
}

void Image::Borrow(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                   BayerTileFormat bayer, unsigned char* data, std::shared_ptr<void> lease) {
  _lease = std::move(lease);
  _external = data;
  _externalSize = static_cast<size_t>(rows) * stride;
  _rows = rows;
  _cols = cols;
  _stride = stride;
  _format = format;
  _bayer = bayer;
}

void Image::ReturnBorrowed() {
  if (!_lease) return;
  _lease.reset();
  _external = nullptr;
  _externalSize = 0;
  _rows = _cols = _stride = 0;
}

Error Image::SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                           BayerTileFormat bayer) {
  ReturnBorrowed();  // a borrowed buffer is not the image's to reshape
  size_t size = static_cast<size_t>(rows) * stride;
  if (_external && size > _externalSize)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Image of " + std::to_string(size) +
                                                     " bytes does not fit the caller's memory of " +
                                                     std::to_string(_externalSize) + " bytes.");
  _rows = rows;
  _cols = cols;
  _stride = stride;
  _format = format;
  _bayer = bayer;
  if (!_external && _data.size() < size) _data.resize(size);
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
