#include "camera/ImageBuffer.h"

#include <cstring>
#include <new>

#include "log/DriverContext.h"
#include "log/TextException.h"

namespace vq {

ImageBuffer::ImageBuffer(bool color, uint32_t width, int32_t height) : _width(width), _height(height), _color(color) {
  int64_t size = static_cast<int64_t>(color ? 3 : 1) * width * height;
  // A size beyond 32 bits cannot be held; it is refused like a zero size.
  Allocate(size > INT32_MAX ? -1 : static_cast<int32_t>(size));
}

void ImageBuffer::Allocate(int32_t size) {
  DriverContext* context = GetDriverContext();
  if (size <= 0) {
    WriteLog(context, kLogError, "ImageBuffer::Allocate: ERROR: incorrect size %d\n", size);
    throw TextException();
  }
  if (size != _allocatedSize) {
    _data.reset();
    _data.reset(new (std::nothrow) unsigned char[static_cast<size_t>(size)]);
    _allocatedSize = size;
  }
  if (!_data) {
    _allocatedSize = 0;
    WriteLog(context, kLogError, "ImageBuffer::Allocate: ERROR: could not allocate buffer of required size %d\n", size);
    throw TextException();
  }
}

void ImageBuffer::Release() {
  _data.reset();
  _allocatedSize = 0;
}

unsigned char* ImageBuffer::GetLine(int32_t r) const {
  if (r < 0 || r >= _height) {
    WriteLog(GetDriverContext(), kLogError, "ImageBuffer::GetLine: ERROR: line index out of range: %d", r);
    return nullptr;
  }
  if (!_data) {
    WriteLog(GetDriverContext(), kLogError,
             "ImageBuffer::GetLine: ERROR: cannot proceed since it finds unallocated buffer\n");
    return nullptr;
  }
  return _data.get() + static_cast<size_t>(r) * RowSize();
}

void ImageBuffer::CopyNewLine(int32_t r, const unsigned char* src, size_t n) {
  if (r < 0 || r >= _height) {
    WriteLog(GetDriverContext(), kLogError, "ImageBuffer::CopyNewLine: ERROR: line index out of range: %d", r);
    return;
  }
  if (!src) {
    WriteLog(GetDriverContext(), kLogError, "ImageBuffer::CopyNewLine: ERROR: src data incorrect");
    return;
  }
  if (unsigned char* line = GetLine(r)) std::memcpy(line, src, n < RowSize() ? n : RowSize());
}

void ImageBuffer::CopyNewLines(int32_t rows, const unsigned char* src) {
  if (!src || !_data || rows <= 0) return;
  if (rows > _height) rows = _height;
  std::memcpy(_data.get(), src, static_cast<size_t>(rows) * RowSize());
}

}  // namespace vq
