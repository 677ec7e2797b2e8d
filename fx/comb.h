// Lowpass-feedback comb filter of the reverb. The delay line is not owned.
//
// Threads: process and mute on the audio thread; the gain setters may run on
// any thread (relaxed atomic stores); setbuffer before use, or where audio runs.
#pragma once

#include <atomic>

#include "sound/FilterOneP.h"

class comb {
 public:
  comb() = default;

  void setbuffer(float* buffer, int size) {
    buffer_ = buffer;
    length_ = size;
    if (position_ >= size) position_ = 0;
  }
  // Silence: the line and the filter's memory, which would otherwise feed
  // a last trace back into the emptied line.
  void mute() {
    for (int i = 0; i < length_; ++i) buffer_[i] = 0.0f;
    filterState_ = 0.0f;
  }
  // Weight of the previous filter state; the delayed sample gets 1 - v.
  void setdamp(float v);
  float getdamp() const { return damp1_.load(std::memory_order_relaxed); }
  void setfeedback(float v) { feedback_.store(v, std::memory_order_relaxed); }
  float getfeedback() const { return feedback_.load(std::memory_order_relaxed); }

  float process(float x) {
    float y = buffer_[position_];
    if (FilterOneP::isZeroOrSubnormal(y)) y = 0.0f;
    filterState_ = filterState_ * damp1_.load(std::memory_order_relaxed) + y * damp2_.load(std::memory_order_relaxed);
    if (FilterOneP::isZeroOrSubnormal(filterState_)) filterState_ = 0.0f;
    buffer_[position_] = x + filterState_ * feedback_.load(std::memory_order_relaxed);
    if (++position_ >= length_) position_ = 0;
    return y;
  }

  // Audio thread, a stretch of n samples no longer than the line, in three
  // steps that give what n calls of process() give: readBlock yields the
  // delayed samples y (what process returns) and their damped part
  // w = y * damp2; the caller runs the filter recursion
  // s = s * getdamp() + w (flushing as process does) on filterState();
  // writeBlock stores x + s * feedback and moves on by n.
  void readBlock(float* y, float* w, int n) const;
  void writeBlock(const float* x, const float* s, int n);
  float filterState() const { return filterState_; }
  void setFilterState(float s) { filterState_ = s; }
  int getlength() const { return length_; }

 private:
  std::atomic<float> feedback_{0.0f};
  float filterState_ = 0.0f;
  std::atomic<float> damp1_{0.0f};
  std::atomic<float> damp2_{1.0f};
  float* buffer_ = nullptr;
  int length_ = 0;
  int position_ = 0;
};
