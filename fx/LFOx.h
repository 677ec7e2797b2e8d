// Low-frequency oscillator with seven waveforms, ticked once per sample:
// 0 triangle, 1 rising saw, 2 square, 3 falling saw, 4 rounded triangle
// (sine of the triangle), 5 noise, 6 sample and hold. Output -1..1.
// The phase travels 4 units per cycle, so increment = 4 * Hz / sample rate.
//
// Threads: tick on the audio thread. setPureRate/setRate/setWaveform may run on
// any thread (single relaxed stores). init/sync/setPhaze/setMaxMinFreq:
// audio thread, or any thread while the oscillator is not ticked.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include "support/VornMain.h"

class LFOx : public VornMain {
 public:
  LFOx();
  ~LFOx() override;

  float tick() {
    const float inc = increment_.load(std::memory_order_relaxed);
    switch (waveform_.load(std::memory_order_relaxed)) {
      case 0:
        stepTriangle(inc);
        output_ = phase_;
        break;
      case 1:
        phase_ += inc;
        if (phase_ >= 2.0f) phase_ = -2.0f;
        output_ = phase_ * 0.5f;
        break;
      case 2:
        output_ = rising_ ? 1.0f : -1.0f;
        stepTriangle(inc);
        break;
      case 3:
        phase_ -= inc;
        if (phase_ <= -2.0f) phase_ = 2.0f;
        output_ = phase_ * 0.5f;
        break;
      case 4:
        stepTriangle(inc);
        output_ = std::sin(phase_);
        break;
      case 5:
        output_ = randomBipolar();
        break;
      case 6:
        phase_ += inc;
        if (phase_ >= 2.0f) {
          phase_ = -2.0f;
          hold_ = randomBipolar();
        }
        output_ = hold_;
        break;
      default:
        break;
    }
    return output_;
  }

  // Steps the phase exactly as tick() does but leaves the output alone: for
  // owners that read the output only on some ticks (the flanger's sweep).
  void advance() {
    const int w = waveform_.load(std::memory_order_relaxed);
    if (w == 0 || w == 2 || w == 4) {
      stepTriangle(increment_.load(std::memory_order_relaxed));
    } else {
      tick();
    }
  }

  // n steps of advance() at once, the phase kept in registers.
  void advance(int n) {
    const int w = waveform_.load(std::memory_order_relaxed);
    if (w != 0 && w != 2 && w != 4) {
      for (int i = 0; i < n; ++i) tick();
      return;
    }
    const float inc = increment_.load(std::memory_order_relaxed);
    float phase = phase_;
    bool rising = rising_;
    int i = 0;
    while (i < n) {
      if (rising) {
        for (; i < n; ++i) {
          const float next = phase + inc;
          if (next >= 1.0f) {
            rising = false;
            ++i;
            break;
          }
          phase = next;
        }
      } else {
        for (; i < n; ++i) {
          const float next = phase - inc;
          if (next <= -1.0f) {
            rising = true;
            ++i;
            break;
          }
          phase = next;
        }
      }
    }
    phase_ = phase;
    rising_ = rising;
  }

  void setPureRate(float hz);
  // The oscillator keeps its frequency in hertz at the new rate.
  void setSampleRate(float rate) override;
  // Values above 6 select sample and hold.
  void setWaveform(int w) { waveform_.store(w > 6 ? 6 : w, std::memory_order_relaxed); }
  // v 0..1 linear from 1/minimum Hz to maximum Hz.
  void setRate(float v);
  void setMaxMinFreq(long maximum, long minimum);
  void setPhaze(float p);
  void sync(float samples);
  void init();

  float getIncrement() const { return increment_.load(std::memory_order_relaxed); }
  float getPhase() const { return phase_; }
  int getWaveform() const { return waveform_.load(std::memory_order_relaxed); }
  float getOutput() const { return output_; }

 private:
  // Triangle family: a step that would reach or cross +-1 is taken back and
  // the direction turns, so the phase never leaves -1..1.
  void stepTriangle(float inc) {
    if (rising_) {
      const float next = phase_ + inc;
      if (next >= 1.0f) rising_ = false;
      else phase_ = next;
    } else {
      const float next = phase_ - inc;
      if (next <= -1.0f) rising_ = true;
      else phase_ = next;
    }
  }
  // Uniform in -1..1 from a 31-bit generator of our own: the C library's
  // rand() takes a lock, which the audio thread must not.
  float randomBipolar() {
    seed_ = seed_ * 1103515245u + 12345u;
    const std::uint32_t r = (seed_ >> 1) & 0x7fffffffu;
    return 2.0f * static_cast<float>(r) * 4.656613e-10f - 1.0f;
  }

  float phase_ = -1.0f;
  float output_ = 0.0f;
  std::atomic<float> increment_{0.0f};
  // What set the increment last, to work it out again at a new rate.
  std::atomic<float> hz_{0.0f};
  std::atomic<bool> pure_{false};
  std::atomic<int> waveform_{0};
  bool rising_ = true;
  float hold_ = 0.0f;
  float maxFreq_ = 100.0f;
  float minDivisor_ = 1.0f;
  float phaseOffset_ = -1.0f;
  std::uint32_t seed_ = 0x2545f491u;
};
