#include "tools/cvlhost/FrameExchange.h"

#include <array>
#include <utility>

namespace {

// getCVLMaxNoOfPorts
constexpr int kPorts = 20;

std::mutex attachedLock;
std::array<std::shared_ptr<FrameExchange>, kPorts> attached;

}  // namespace

FrameExchange::FrameExchange(int width, int height, int bytesPerPixel, RowReader readRow)
    : _width(width), _height(height), _bytesPerPixel(bytesPerPixel), _readRow(std::move(readRow)) {}

void FrameExchange::OnFrame() {
  _filling.width = _width;
  _filling.height = _height;
  _filling.bytesPerPixel = _bytesPerPixel;
  _filling.pixels.resize(_filling.RowBytes() * _height);
  bool complete = true;
  for (int row = 0; row < _height; ++row) complete &= _readRow(_filling.pixels.data() + row * _filling.RowBytes(), row);

  std::lock_guard<std::mutex> lock(_lock);
  if (!complete) {
    ++_counters.retrievalErrors;
    return;
  }
  _filling.number = ++_counters.received;
  if (_paused) {
    if (_singlesExpected == 0) {
      ++_counters.unrequested;
      return;
    }
    --_singlesExpected;
  }
  if (_newestFresh) ++_counters.overwritten;
  std::swap(_filling, _newest);
  _newestFresh = true;
  if (!_noticeOutstanding && _notify) {
    _noticeOutstanding = true;
    _notify();
  }
}

void FrameExchange::SetNotify(std::function<void()> notify) {
  std::lock_guard<std::mutex> lock(_lock);
  _notify = std::move(notify);
}

bool FrameExchange::Take(Frame& frame) {
  std::lock_guard<std::mutex> lock(_lock);
  _noticeOutstanding = false;
  if (!_newestFresh) return false;
  std::swap(frame, _newest);
  _newestFresh = false;
  ++_counters.shown;
  return true;
}

void FrameExchange::SetPaused(bool paused) {
  std::lock_guard<std::mutex> lock(_lock);
  _paused = paused;
  _singlesExpected = 0;
}

void FrameExchange::ExpectSingleFrame() {
  std::lock_guard<std::mutex> lock(_lock);
  ++_singlesExpected;
}

FrameCounters FrameExchange::Counters() const {
  std::lock_guard<std::mutex> lock(_lock);
  return _counters;
}

void FrameExchange::Attach(int port, std::shared_ptr<FrameExchange> exchange) {
  std::lock_guard<std::mutex> lock(attachedLock);
  attached.at(static_cast<size_t>(port)) = std::move(exchange);
}

void FrameExchange::Detach(int port) { Attach(port, nullptr); }

void FrameExchange::OnComplete(int, int portNo) {
  std::shared_ptr<FrameExchange> exchange;
  {
    std::lock_guard<std::mutex> lock(attachedLock);
    if (portNo < 0 || portNo >= kPorts) return;
    exchange = attached[static_cast<size_t>(portNo)];
  }
  if (exchange) exchange->OnFrame();
}
