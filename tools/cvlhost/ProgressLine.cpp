#include "tools/cvlhost/ProgressLine.h"

#include <cmath>

ProgressLine::ProgressLine(std::FILE* out, bool terminal, int total, Clock::time_point start)
    : _out(out), _terminal(terminal), _total(total), _start(start), _lastShown(start) {}

std::string ProgressLine::Text(int done, int total, double elapsedSeconds) {
  char line[160];
  const double rate = elapsedSeconds > 0 ? done / elapsedSeconds : 0;
  if (rate > 0 && done < total) {
    const long left = std::lround((total - done) / rate);
    std::snprintf(line, sizeof line, "grabbed %d/%d frames, %.1f fps, %ld:%02ld left", done, total, rate, left / 60,
                  left % 60);
  } else {
    std::snprintf(line, sizeof line, "grabbed %d/%d frames, %.1f fps", done, total, rate);
  }
  return line;
}

void ProgressLine::Update(int done, Clock::time_point now) {
  const bool last = done >= _total;
  const auto interval = _terminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
  if (!last && _shown && now - _lastShown < interval) return;
  if (!last && !_shown && now - _start < interval) return;
  _lastShown = now;
  _shown = true;
  if (_terminal) {
    // Back to the line's start, the text, then the rest of the old line erased.
    const double elapsed = std::chrono::duration<double>(now - _start).count();
    std::fprintf(_out, "\r%s\x1b[K", Text(done, _total, elapsed).c_str());
  } else {
    std::fprintf(_out, "grabbed %d/%d frames\n", done, _total);
  }
  std::fflush(_out);
}

void ProgressLine::Finish() {
  if (_terminal && _shown) {
    std::fputc('\n', _out);
    std::fflush(_out);
  }
}
