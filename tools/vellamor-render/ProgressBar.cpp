#include "tools/vellamor-render/ProgressBar.h"

#include <unistd.h>

#include <cstdio>

ProgressBar::ProgressBar(bool enabled, std::int64_t total)
    : enabled_(enabled && isatty(STDERR_FILENO)),
      total_(total > 0 ? total : 1),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

double ProgressBar::elapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressBar::update(std::int64_t done) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::seconds(1)) return;
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  constexpr int kWidth = 40;
  double fraction = static_cast<double>(done) / static_cast<double>(total_);
  if (fraction > 1.0) fraction = 1.0;
  int filled = static_cast<int>(fraction * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", bar, static_cast<int>(fraction * 100.0));
  std::fflush(stderr);
}

void ProgressBar::finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%*s\r", 48, "");
  std::fflush(stderr);
  drawn_ = false;
}
