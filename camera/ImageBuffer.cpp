#include "camera/ImageBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "log/DriverContext.h"
#include "log/TextException.h"
#include "sdk/FlyError.h"

namespace vq {

ImageBuffer::ImageBuffer(bool color, uint32_t width, int32_t height)
    : _width(width), _height(height), _color(color), _rowFrame(height > 0 ? static_cast<size_t>(height) : 0, 0) {
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

FlyCapture2::PixelFormat ImageBuffer::RowFormat() const {
  return _color ? FlyCapture2::PIXEL_FORMAT_BGR : FlyCapture2::PIXEL_FORMAT_MONO8;
}

void ImageBuffer::TakeFrame(FlyCapture2::Image& frame) {
  std::lock_guard<std::mutex> lock(_frameLock);
  std::swap(_frame, frame);
  ++_frameCount;
}

void ImageBuffer::DropFrame() {
  FlyCapture2::Image dropped;  // lets go of the frame after the lock
  {
    std::lock_guard<std::mutex> lock(_frameLock);
    std::swap(_frame, dropped);
    ++_frameCount;  // rows read before are final
  }
}

const unsigned char* ImageBuffer::ReadLine(int32_t r) {
  unsigned char* line = GetLine(r);
  if (!line) return nullptr;
  FlyCapture2::Error failure;
  {
    std::lock_guard<std::mutex> lock(_frameLock);
    failure = RefreshLine(r, line);
  }
  ReportFailure(r, failure);
  return line;
}

bool ImageBuffer::CopyLine(int32_t r, unsigned char* dest, size_t n) {
  unsigned char* line = GetLine(r);
  if (!line) return false;
  FlyCapture2::Error failure;
  {
    // The copy is made under the lock that guards the conversion: another
    // thread's read of the next frame cannot rewrite the row in the middle.
    std::lock_guard<std::mutex> lock(_frameLock);
    failure = RefreshLine(r, line);
    std::memcpy(dest, line, std::min(n, RowSize()));
  }
  ReportFailure(r, failure);
  return true;
}

FlyCapture2::Error ImageBuffer::RefreshLine(int32_t r, unsigned char* line) {
  uint64_t& held = _rowFrame[static_cast<size_t>(r)];
  if (held == _frameCount) return FlyCapture2::Error();
  held = _frameCount;
  FlyCapture2::Error error = ConvertRow(r, line);
  // Reported once per frame: the same fault would repeat on every row.
  if (error == FlyCapture2::PGRERROR_OK || _failedFrame == _frameCount) return FlyCapture2::Error();
  _failedFrame = _frameCount;
  return error;
}

void ImageBuffer::ReportFailure(int32_t r, const FlyCapture2::Error& failure) {
  if (failure != FlyCapture2::PGRERROR_OK)
    WriteLog(GetDriverContext(), kLogError, "ImageBuffer::ReadLine: ERROR: row %d not converted: %s\n", r,
             FormatFlyError(failure).c_str());
}

FlyCapture2::Error ImageBuffer::ConvertRow(int32_t r, unsigned char* line) {
  if (static_cast<unsigned int>(r) >= _frame.GetRows() || !_frame.GetData()) return FlyCapture2::Error();
  const size_t frameRowSize = static_cast<size_t>(_frame.GetCols()) * PixelSize();
  unsigned char* target = line;
  if (frameRowSize > RowSize()) {
    _wideRow.resize(frameRowSize);
    target = _wideRow.data();
  }
  FlyCapture2::Error error = _frame.ConvertRows(RowFormat(), static_cast<unsigned int>(r), 1, target, frameRowSize);
  if (error == FlyCapture2::PGRERROR_OK && target != line) std::memcpy(line, target, RowSize());
  return error;
}

}  // namespace vq
