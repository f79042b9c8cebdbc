#include "camera/ImageBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "log/DriverContext.h"
#include "log/TextException.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

// How long a replaced frame waits for a reader still copying one of its rows.
constexpr std::chrono::milliseconds kReaderWait{1000};

}  // namespace

ImageBuffer::ImageBuffer(bool color, uint32_t width, int32_t height, RowReaders& readers)
    : _width(width), _height(height), _color(color), _readers(readers) {
  int64_t size = static_cast<int64_t>(color ? 3 : 1) * width * height;
  // A size beyond 32 bits cannot be held; it is refused like a zero size.
  Allocate(size > INT32_MAX ? -1 : static_cast<int32_t>(size));
}

ImageBuffer::~ImageBuffer() = default;

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

FlyCapture2::PixelFormat ImageBuffer::RowFormat() const {
  return _color ? FlyCapture2::PIXEL_FORMAT_BGR : FlyCapture2::PIXEL_FORMAT_MONO8;
}

void ImageBuffer::TakeFrame(FlyCapture2::Image& frame) {
  {
    std::lock_guard<std::mutex> lock(_replaceLock);
    if (ParkedFrameGone()) {
      auto next = std::make_unique<Frame>();
      next->image = std::move(frame);
      next->error = next->rows.Prepare(next->image, RowFormat());
      if (_shownFrame && !Covers(*next)) Keep(*_shownFrame);
      std::unique_ptr<Frame> previous = Replace(std::move(next));
      if (previous) frame = std::move(previous->image);
      return;
    }
  }
  // Logged after the lock: the line may reach the host's log callback.
  WriteLog(GetDriverContext(), kLogError,
           "ImageBuffer::TakeFrame: ERROR: a row copy did not end within %d ms, frame not shown\n",
           static_cast<int>(kReaderWait.count()));
}

void ImageBuffer::DropFrame() {
  std::unique_ptr<Frame> previous;  // lets go of the frame after the lock
  {
    std::lock_guard<std::mutex> lock(_replaceLock);
    if (!_shownFrame || !ParkedFrameGone()) return;
    Keep(*_shownFrame);
    previous = Replace(nullptr);
  }
}

// A frame that reaches every pixel of the buffer and converts: nothing of the
// buffer's rows shows while it is shown.
bool ImageBuffer::Covers(const Frame& frame) const {
  return frame.rows.Ready() && frame.rows.Rows() >= static_cast<uint32_t>(_height) &&
         frame.rows.RowBytes() >= RowSize();
}

void ImageBuffer::CopyLineOtherwise(const Frame* frame, int32_t r, unsigned char* dest, size_t n,
                                    std::unique_ptr<FlyCapture2::Error>* failure) const {
  if (frame) {
    if (ConvertRow(*frame, r, dest, n)) return;
    if (!frame->rows.Ready() && failure && !frame->reported.exchange(true))
      *failure = std::make_unique<FlyCapture2::Error>(frame->error);
  }
  std::memcpy(dest, GetLine(r), n);
}

bool ImageBuffer::ConvertRow(const Frame& frame, int32_t r, unsigned char* dest, size_t n) const {
  if (!frame.rows.Ready() || static_cast<uint32_t>(r) >= frame.rows.Rows()) return false;
  const size_t frameRow = frame.rows.RowBytes();
  if (frameRow == n) {
    frame.rows.Convert(static_cast<unsigned int>(r), dest);  // the host's whole row: one pass
    return true;
  }
  // Part of a row, or a frame of another width: through a row of this thread's.
  thread_local std::vector<unsigned char> whole;
  whole.resize(frameRow);
  frame.rows.Convert(static_cast<unsigned int>(r), whole.data());
  const size_t fromFrame = std::min(n, frameRow);
  std::memcpy(dest, whole.data(), fromFrame);
  // Columns the frame does not reach: the buffer's.
  if (n > fromFrame) std::memcpy(dest + fromFrame, GetLine(r) + fromFrame, n - fromFrame);
  return true;
}

void ImageBuffer::Keep(const Frame& frame) {
  const int32_t rows =
      std::min<int32_t>(_height, static_cast<int32_t>(std::min<uint32_t>(frame.rows.Rows(), INT32_MAX)));
  const size_t n = std::min(RowSize(), frame.rows.RowBytes());
  for (int32_t r = 0; r < rows; ++r) ConvertRow(frame, r, GetLine(r), n);
}

// The epoch readers enter next must be empty before a frame is shown in it:
// a frame parked by an earlier replacement goes once its readers have left.
bool ImageBuffer::ParkedFrameGone() {
  if (!_parked) return true;
  if (!_readers.WaitForEpoch(_parkedEpoch, kReaderWait)) return false;
  _parked.reset();
  return true;
}

std::unique_ptr<ImageBuffer::Frame> ImageBuffer::Replace(std::unique_ptr<Frame> next) {
  std::unique_ptr<Frame> previous = std::move(_shownFrame);
  _shownFrame = std::move(next);
  _shown.store(_shownFrame.get());
  // Readers from now on find the new frame; those inside may still be in
  // the one before.
  const int epoch = _readers.BeginEpoch();
  if (_readers.WaitForEpoch(epoch, kReaderWait)) return previous;
  _parked = std::move(previous);
  _parkedEpoch = epoch;
  return nullptr;
}

}  // namespace vq
