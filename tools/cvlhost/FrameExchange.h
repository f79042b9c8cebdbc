#pragma once
// Hands frames from the driver's grab thread to the thread that shows them.
//
// The completion callback copies the rows of a frame (getCVLGrabRow) into a
// buffer of its own without any lock, then swaps it with the "newest frame"
// slot under a short lock and notifies the viewer. It never waits for the
// viewer: when the viewer has not taken the previous frame yet, that frame is
// replaced and counted as overwritten. The viewer takes the newest frame by
// another swap, so no frame is copied twice and no buffer is shared while it
// is written.
//
// Threads: OnFrame runs on the driver's grab thread of one port (one at a
// time); everything else on the viewer's thread, except the counters, which
// may be read anywhere.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Frame {
  int width = 0;
  int height = 0;
  int bytesPerPixel = 1;  // 1 grey, 2 grey 16-bit (little-endian), 3 BGR
  uint64_t number = 0;    // counts the frames received, from 1
  std::vector<unsigned char> pixels;
  size_t RowBytes() const { return static_cast<size_t>(width) * bytesPerPixel; }
};

struct FrameCounters {
  uint64_t received = 0;         // callbacks whose rows were all read
  uint64_t shown = 0;            // frames taken by the viewer
  uint64_t overwritten = 0;      // frames replaced before the viewer took them
  uint64_t retrievalErrors = 0;  // callbacks with a row the driver did not deliver
  uint64_t unrequested = 0;      // frames that came while paused without a single grab asked for
};

class FrameExchange {
 public:
  // Reads row `row` of the camera's last frame into `dest`; true when the
  // driver delivered it.
  using RowReader = std::function<bool(unsigned char* dest, int row)>;

  FrameExchange(int width, int height, int bytesPerPixel, RowReader readRow);

  // Grab thread: reads the frame's rows and makes it the newest frame.
  void OnFrame();

  // Viewer: called (on the grab thread, under the exchange's lock, so it
  // must only post) when a new frame waits and no notice is outstanding.
  // Cleared with nullptr before the viewer goes away.
  void SetNotify(std::function<void()> notify);
  // Viewer: swaps the newest frame into `frame` (whose old buffer is reused);
  // false when no frame came since the last call.
  bool Take(Frame& frame);

  // While paused, frames are shown only as many as single grabs were asked
  // for; any other is counted as unrequested and dropped.
  void SetPaused(bool paused);
  void ExpectSingleFrame();

  FrameCounters Counters() const;

  // The completion callback of the driver has no context but the port: each
  // port's exchange is registered here while its camera delivers frames.
  static void Attach(int port, std::shared_ptr<FrameExchange> exchange);
  static void Detach(int port);
  static void OnComplete(int grabberNo, int portNo);

 private:
  const int _width, _height, _bytesPerPixel;
  const RowReader _readRow;
  Frame _filling;  // grab thread only

  mutable std::mutex _lock;
  Frame _newest;
  bool _newestFresh = false;
  bool _noticeOutstanding = false;
  bool _paused = false;
  int _singlesExpected = 0;
  std::function<void()> _notify;
  FrameCounters _counters;
};
