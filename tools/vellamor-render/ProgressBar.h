// A one-line progress bar on standard error. Shows itself only when standard
// error is a terminal and the job has run longer than a second, so short
// renders and redirected runs stay quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
 public:
  // enabled false: never draws, whatever the terminal.
  ProgressBar(bool enabled, std::int64_t total);
  // Done so far; redraws at most ten times a second.
  void update(std::int64_t done);
  // Removes the bar if one was drawn.
  void finish();
  // Whether a person is watching (stderr is a terminal and not quiet).
  bool interactive() const { return enabled_; }
  double elapsedSeconds() const;

 private:
  bool enabled_;
  bool drawn_ = false;
  std::int64_t total_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};
