#pragma once
// The progress of a long grab. On a terminal one line that is rewritten in
// place: frames done of total, frames per second, time left. Otherwise (a
// file or a pipe) a plain line "grabbed <done>/<total> frames" at most once a
// second and at the end, as scripts have always read it.
#include <chrono>
#include <cstdio>
#include <string>

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // `terminal`: whether `out` is shown on a terminal (isatty).
  ProgressLine(std::FILE* out, bool terminal, int total, Clock::time_point start = Clock::now());
  // `done` frames of the total by `now`.
  void Update(int done, Clock::time_point now = Clock::now());
  // Ends the terminal's line; nothing otherwise.
  void Finish();

  // The terminal line for `done` frames after `elapsed` seconds.
  static std::string Text(int done, int total, double elapsedSeconds);

 private:
  std::FILE* _out;
  bool _terminal;
  int _total;
  Clock::time_point _start, _lastShown;
  bool _shown = false;
};
