#pragma once
// The last received frame of an open camera: `height` rows of `width` pixels,
// 3 bytes each (BGR) for a colour camera, 1 byte for a monochrome one, one row
// after the other. The host pulls it row by row.
//
// The grab thread hands a frame over as it came from the camera (TakeFrame),
// at the cost of a swap; each row is converted out of it into the buffer when
// the host first reads that row (ReadLine). So the host's completion callback
// follows the frame's arrival at once, and the conversion runs on the host's
// pull, row by row, while the grab thread waits for the next frame.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sdk/FlyCapture2.h"

namespace vq {

class ImageBuffer {
 public:
  // Throws TextException("Err") for a size of 0 or less or when the block
  // cannot be allocated.
  ImageBuffer(bool color, uint32_t width, int32_t height);

  void Allocate(int32_t size);
  void Release();
  // Address of row r, or null (logged) for a row outside the buffer.
  unsigned char* GetLine(int32_t r) const;
  // Copies n bytes into row r; the caller keeps n within the row.
  void CopyNewLine(int32_t r, const unsigned char* src, size_t n);

  // The pixel format of the buffer's rows: BGR, or MONO8 for a monochrome
  // camera. The caller hands over only frames that convert to it; a row that
  // does not convert keeps what it held, and the fault is logged.
  FlyCapture2::PixelFormat RowFormat() const;
  // Takes `frame` as the buffer's picture and hands back the one it held.
  // Rows of the buffer the frame does not reach keep what they held.
  void TakeFrame(FlyCapture2::Image& frame);
  // Lets go of the frame (a backend's buffer goes back to it); rows read since
  // it came keep their content.
  void DropFrame();
  // Row r (GetLine) holding the frame's pixels, converted into it on the
  // row's first read since the frame came. A frame wider than the buffer is
  // cut to the buffer's width.
  const unsigned char* ReadLine(int32_t r);
  // ReadLine's row, copied into `dest` (at most n bytes, at most a row)
  // before another thread can convert a newer frame into it. False for a row
  // outside the buffer.
  bool CopyLine(int32_t r, unsigned char* dest, size_t n);

  uint32_t Width() const { return _width; }
  int32_t Height() const { return _height; }
  bool Color() const { return _color; }
  size_t RowSize() const { return static_cast<size_t>(_width) * PixelSize(); }
  int32_t AllocatedSize() const { return _allocatedSize; }

 private:
  size_t PixelSize() const { return _color ? 3 : 1; }
  FlyCapture2::Error ConvertRow(int32_t r, unsigned char* line);
  // Under _frameLock: converts row r into `line` unless it holds the frame
  // already; the error to report, once per frame.
  FlyCapture2::Error RefreshLine(int32_t r, unsigned char* line);
  static void ReportFailure(int32_t r, const FlyCapture2::Error& failure);

  int32_t _allocatedSize = 0;
  uint32_t _width;
  int32_t _height;
  bool _color;
  std::unique_ptr<unsigned char[]> _data;

  // The frame and which of its rows are in the buffer: a row holds frame
  // number _frameCount once its _rowFrame entry says so.
  std::mutex _frameLock;
  FlyCapture2::Image _frame;
  uint64_t _frameCount = 0;
  std::vector<uint64_t> _rowFrame;
  uint64_t _failedFrame = 0;
  std::vector<unsigned char> _wideRow;  // a row of a frame wider than the buffer
};

}  // namespace vq
