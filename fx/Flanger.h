// Stereo flanger: the mono input runs through two feedback delay lines swept
// by one slow rounded-triangle oscillator, the left around 3.2 ms and the
// right around 14 ms. In combined mode the sweep stops and both lines hold
// twice their centre delay. After one second without signal the flanger turns
// idle and costs almost nothing.
//
// The lines are sized once, for the longest delay at the highest rate a host
// may run, so that a new sample rate never reallocates them.
//
// Threads: tick, Idle, setNotIdle and setSampleRate on the audio thread.
// setRate may run on a control thread while the audio thread ticks: its
// single values are relaxed atomics.
#pragma once

#include <atomic>
#include <cstdint>

#include "fx/DelayL.h"
#include "fx/LFOx.h"
#include "sound/FilterOneP.h"
#include "support/VornMain.h"

class Flanger : public VornMain {
 public:
  Flanger();
  ~Flanger() override;
  Flanger(const Flanger&) = delete;
  Flanger& operator=(const Flanger&) = delete;

  // Returns the address of the left/right output pair.
  float* tick(float x, const bool& combined) {
    if (x > 0.0f) silentCount_ = 0;
    if (static_cast<float>(silentCount_) > idleThreshold_.load(rlx)) {
      out_[0] = out_[1] = 0.0f;
      feedbackMemory_[0] = feedbackMemory_[1] = 0.0f;
      return out_;
    }
    // The sweep is only read when the delays follow it (every third tick); on
    // the other ticks the oscillator steps without working out its sine.
    const bool update = ++updateCounter_ > 2;
    if (combined) sweep_ = 2.0f;
    else if (update) sweep_ = sweepLfo_->tick() * depth_.load(rlx) + 1.0f;
    else sweepLfo_->advance();
    if (update) {
      const float rate = static_cast<float>(integerRate_.load(rlx));
      left_->setDelay(0.0032f * sweep_ * rate);
      right_->setDelay(0.014f * sweep_ * rate);
      updateCounter_ = 0;
    }
    const float fb = feedback_.load(rlx);
    lineIn_[0] = feedbackMemory_[0] * fb + x;
    lineIn_[1] = feedbackMemory_[1] * fb + x;
    if (feedbackMemory_[0] > 0.001f) silentCount_ = 0;
    else ++silentCount_;
    float l = left_->tickmod(lineIn_[0]);
    float r = right_->tickmod(lineIn_[1]);
    if (FilterOneP::isZeroOrSubnormal(l)) l = 0.0f;
    if (FilterOneP::isZeroOrSubnormal(r)) r = 0.0f;
    out_[0] = feedbackMemory_[0] = l;
    out_[1] = feedbackMemory_[1] = r;
    return out_;
  }

  // Audio thread: n ticks on the mono input in[j], mixed with it as
  // left[j] = out[0] * mix + (2 mix - 1) in[j], and the same for the right;
  // left may be in.
  void tickBlock(const float* in, float* left, float* right, int n, bool combined, float mix);

  // Highest rate the lines are sized for; above it the delays are cut short.
  static constexpr float kLineRate = 768000.0f;

  // v is the depth control 0..1. Control thread (or audio thread).
  void setRate(float v);
  // Delay times, sweep and idle time follow the new rate at once.
  void setSampleRate(float rate) override;
  bool Idle() const { return static_cast<float>(silentCount_) > idleThreshold_.load(rlx); }
  // Ticks that can pass with Idle() still false afterwards.
  std::int64_t ticksBeforeIdle() const {
    const double left = static_cast<double>(idleThreshold_.load(rlx)) - static_cast<double>(silentCount_);
    return left < 0.0 ? 0 : static_cast<std::int64_t>(left);
  }
  void setNotIdle() { silentCount_ = 0; }
  // Audio thread: both lines emptied and the flanger idle until new input.
  void clear();

  float getDepth() const { return depth_.load(rlx); }
  float getFeedback() const { return feedback_.load(rlx); }
  float getSweepIncrement() const { return sweepLfo_->getIncrement(); }
  const DelayL& leftLine() const { return *left_; }
  const DelayL& rightLine() const { return *right_; }

 private:
  static constexpr std::memory_order rlx = std::memory_order_relaxed;
  // Line lengths: a span per second of rate plus 100 samples, and never
  // shorter than the longest delay (combined mode: 6.4 and 28 ms).
  static constexpr float kLeftSpan = 0.00608f;
  static constexpr float kRightSpan = 0.0266f;
  static constexpr float kLeftLongest = 0.0064f;
  static constexpr float kRightLongest = 0.028f;
  static long lineLength(float rate, float span, float longest);
  void sizeLines();

  std::atomic<float> depth_{0.3f};
  std::atomic<float> feedback_{0.0f};
  float out_[2] = {0.0f, 0.0f};
  float lineIn_[2] = {0.0f, 0.0f};
  float feedbackMemory_[2] = {0.0f, 0.0f};
  LFOx* sweepLfo_;
  DelayL* left_;
  DelayL* right_;
  float sweep_ = 0.0f;
  std::atomic<std::int64_t> integerRate_;
  std::int32_t updateCounter_ = 0;
  std::atomic<float> idleThreshold_;
  std::int64_t silentCount_ = 0;
};
