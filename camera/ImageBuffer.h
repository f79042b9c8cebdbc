#pragma once
// The last received frame of an open camera, as the host pulls it row by row:
// `height` rows of `width` pixels, 3 bytes each (BGR) for a colour camera,
// 1 byte for a monochrome one.
//
// The grab thread hands a frame over as it came from the camera (TakeFrame):
// the camera's buffer, lent. A row the host pulls is converted (or copied)
// straight from it into the host's memory (CopyLine), in one pass. The
// buffer's own rows serve only where no frame reaches: rows and columns a
// smaller frame lacks, a frame that does not convert, no frame at all. They
// keep the last frame's pixels there: a frame that does not cover the buffer
// has its predecessor written into the rows first, and so has a frame let go.
//
// Readers are counted in the camera's RowReaders; a frame replaced goes back
// to the camera once no reader is inside it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "camera/RowReaders.h"
#include "sdk/FlyCapture2.h"

namespace vq {

class ImageBuffer {
 public:
  // Throws TextException("Err") for a size of 0 or less or when the block
  // cannot be allocated.
  ImageBuffer(bool color, uint32_t width, int32_t height, RowReaders& readers);
  ~ImageBuffer();

  void Allocate(int32_t size);
  void Release();
  // Address of the buffer's row r, or null (logged) for a row outside it.
  unsigned char* GetLine(int32_t r) const;

  // The pixel format of the rows: BGR, or MONO8 for a monochrome camera. The
  // caller hands over only frames that convert to it; a frame that does not
  // is not shown, and the fault is reported at its first row.
  FlyCapture2::PixelFormat RowFormat() const;
  // Grab thread. Takes `frame` as the picture and hands back the one it held
  // (empty, if none), once no reader is inside that. If a reader is still
  // inside the frame before after a while, `frame` is handed back instead,
  // not shown (logged).
  void TakeFrame(FlyCapture2::Image& frame);
  // Lets go of the frame (a backend's buffer goes back to it); the rows keep
  // its pixels.
  void DropFrame();
  // Row r, the frame's pixels converted straight into `dest` (at most n
  // bytes, at most a row); a frame wider than the buffer is cut to it. The
  // caller is counted in the readers while it copies, unless no other thread
  // uses the buffer. False for a row outside the buffer. A frame that does
  // not convert sets `failure`, once per frame, for the caller to report.
  // Inline: the host pulls every row through here.
  bool CopyLine(int32_t r, unsigned char* dest, size_t n, std::unique_ptr<FlyCapture2::Error>* failure) {
    if (r < 0 || r >= _height || !_data) return false;
    n = std::min(n, RowSize());
    if (n == 0) return true;
    const Frame* frame = _shown.load();
    // The common case: a whole row the frame holds, in one pass.
    if (frame && frame->rows.Ready() && static_cast<uint32_t>(r) < frame->rows.Rows() && frame->rows.RowBytes() == n) {
      frame->rows.Convert(static_cast<unsigned int>(r), dest);
      return true;
    }
    CopyLineOtherwise(frame, r, dest, n, failure);
    return true;
  }

  uint32_t Width() const { return _width; }
  int32_t Height() const { return _height; }
  bool Color() const { return _color; }
  size_t RowSize() const { return static_cast<size_t>(_width) * PixelSize(); }

 private:
  // A frame and the conversion of its rows; not changed while shown.
  struct Frame {
    FlyCapture2::Image image;
    FlyCapture2::RowConverter rows;
    FlyCapture2::Error error;  // why the rows do not convert
    mutable std::atomic<bool> reported{false};
  };

  size_t PixelSize() const { return _color ? 3 : 1; }
  bool Covers(const Frame& frame) const;
  // CopyLine of a part of a row, a frame of another width, a row the frame
  // does not reach or a frame that does not convert (r and n as checked).
  void CopyLineOtherwise(const Frame* frame, int32_t r, unsigned char* dest, size_t n,
                         std::unique_ptr<FlyCapture2::Error>* failure) const;
  // Converts row r of `frame` into `dest` (n bytes at most, n > 0); false
  // where the frame does not reach the row or does not convert.
  bool ConvertRow(const Frame& frame, int32_t r, unsigned char* dest, size_t n) const;
  // Writes the rows `frame` reaches into the buffer's rows.
  void Keep(const Frame& frame);
  // Under _replaceLock; false (the caller logs) if a reader is still inside.
  bool ParkedFrameGone();
  // Shows `next` (or none) in place of the shown frame, and returns that
  // once no reader is inside it; null if one still is (the frame is parked).
  std::unique_ptr<Frame> Replace(std::unique_ptr<Frame> next);

  int32_t _allocatedSize = 0;
  uint32_t _width;
  int32_t _height;
  bool _color;
  std::unique_ptr<unsigned char[]> _data;

  RowReaders& _readers;
  std::mutex _replaceLock;  // one replacement at a time (grab and bus thread)
  std::atomic<Frame*> _shown{nullptr};
  std::unique_ptr<Frame> _shownFrame;  // owns what _shown points to
  // A frame a reader was still inside when it was replaced: it goes once the
  // readers of its epoch have left.
  std::unique_ptr<Frame> _parked;
  int _parkedEpoch = 0;
};

}  // namespace vq
