// Schroeder allpass of the reverb. The delay line is not owned.
//
// Threads: process and mute on the audio thread; setfeedback on any thread;
// setbuffer before use, or where audio runs.
#pragma once

#include <atomic>

#include "sound/FilterOneP.h"

class allpass {
 public:
  allpass() = default;

  void setbuffer(float* buffer, int size) {
    buffer_ = buffer;
    length_ = size;
    if (position_ >= size) position_ = 0;
  }
  void mute();
  void setfeedback(float v) { feedback_.store(v, std::memory_order_relaxed); }
  float getfeedback() const { return feedback_.load(std::memory_order_relaxed); }

  float process(float x) {
    float b = buffer_[position_];
    if (FilterOneP::isZeroOrSubnormal(b)) b = 0.0f;
    buffer_[position_] = x + b * feedback_.load(std::memory_order_relaxed);
    if (++position_ >= length_) position_ = 0;
    return b - x;
  }

  // Audio thread: x[0..n) through the filter in place, n no longer than the
  // line; the same values as n calls of process().
  void processBlock(float* x, int n);
  int getlength() const { return length_; }

 private:
  std::atomic<float> feedback_{0.0f};
  float* buffer_ = nullptr;
  int length_ = 0;
  int position_ = 0;
};
