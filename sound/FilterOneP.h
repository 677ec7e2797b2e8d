// One-pole filter: a single state that follows its input by a fixed fraction
// per sample. Read as low-pass (the state) or high-pass (input minus the
// previous state). Used for the tone band, the level follower and the
// envelope smoother.
//
// Threads: tick/ticklow/tickhigh on the audio thread. setFreq/setPureFreq may
// run on any thread (the coefficient is a relaxed atomic, a single store).
// init/setType: control thread, not while the audio thread ticks this filter.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#include "support/VornMain.h"

class FilterOneP : public VornMain {
 public:
  FilterOneP();
  ~FilterOneP() override;

  void init();
  // 0: tick returns the low-pass output; 1: the high-pass output.
  void setType(int type) { type_ = type; }
  // Cut-off in Hz. Not limited to 0..1 while the filter stays stable
  // (coefficient below 2); an unstable request passes the input through.
  void setPureFreq(float hz);
  // Normalised cut-off 0..1, mapped onto about 195..6695 Hz and clamped so the
  // coefficient stays within 0.02..1.
  void setFreq(float x);

  float tick(float x) {
    const float a = coef_.load(std::memory_order_relaxed);
    float y = (x - state_) * a + state_;
    output_ = (type_ == 1) ? x - state_ : y;
    if (isZeroOrSubnormal(y)) y = 0.0f;
    state_ = y;
    return output_;
  }
  // Low-pass step without flushing; returns the new state.
  float ticklow(float x) {
    state_ = (x - state_) * coef_.load(std::memory_order_relaxed) + state_;
    return state_;
  }
  float tickhigh(float x) {
    next_ = state_ + (x - state_) * coef_.load(std::memory_order_relaxed);
    output_ = x - state_;
    if (isZeroOrSubnormal(next_)) next_ = 0.0f;
    state_ = next_;
    return output_;
  }

  // tick() on a state the caller keeps, for loops that hold several
  // filters in registers; highPass as type 1.
  static float step(float x, float& state, float a, bool highPass) {
    float y = (x - state) * a + state;
    const float out = highPass ? x - state : y;
    if (isZeroOrSubnormal(y)) y = 0.0f;
    state = y;
    return out;
  }

  float getCoefficient() const { return coef_.load(std::memory_order_relaxed); }
  float getState() const { return state_; }
  void setState(float s) { state_ = s; }
  int getType() const { return type_; }

  static bool isZeroOrSubnormal(float v) {
    return (std::bit_cast<std::uint32_t>(v) & 0x7f800000u) == 0;
  }

 private:
  float state_ = 0.0f;
  std::atomic<float> coef_{1.0f};
  float ceiling_ = 0.0f;
  int type_ = 0;
  float output_ = 0.0f;
  float next_ = 0.0f;
};
