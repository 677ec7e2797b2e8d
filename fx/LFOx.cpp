#include "fx/LFOx.h"

#include <cmath>

LFOx::LFOx() = default;

LFOx::~LFOx() = default;

void LFOx::setPureRate(float hz) {
  // A negative or non-finite rate would run the phase away; refuse it.
  if (!std::isfinite(hz) || hz < 0.0f) return;
  hz_.store(hz, std::memory_order_relaxed);
  pure_.store(true, std::memory_order_relaxed);
  increment_.store(4.0f / (sampleRate() / hz), std::memory_order_relaxed);
}

void LFOx::setSampleRate(float rate) {
  if (!std::isfinite(rate) || rate <= 0.0f) return;
  VornMain::setSampleRate(rate);
  const float hz = hz_.load(std::memory_order_relaxed);
  if (hz <= 0.0f) return;
  if (pure_.load(std::memory_order_relaxed))
    increment_.store(4.0f / (sampleRate() / hz), std::memory_order_relaxed);
  else
    increment_.store(4.0f * hz / sampleRate(), std::memory_order_relaxed);
}

void LFOx::setRate(float v) {
  if (!std::isfinite(v)) return;
  float hz = ((maxFreq_ * minDivisor_ - 1.0f) * v + 1.0f) / minDivisor_;
  if (!(hz >= 0.0f)) hz = 0.0f;
  hz_.store(hz, std::memory_order_relaxed);
  pure_.store(false, std::memory_order_relaxed);
  increment_.store(4.0f * hz / sampleRate(), std::memory_order_relaxed);
}

void LFOx::setMaxMinFreq(long maximum, long minimum) {
  maxFreq_ = static_cast<float>(maximum);
  minDivisor_ = static_cast<float>(minimum < 1 ? 1 : minimum);
}

void LFOx::setPhaze(float p) {
  if (!(p >= 0.0f)) p = 0.0f;  // also catches NaN
  if (p > 1.0f) p = 1.0f;
  phaseOffset_ = 2.0f * p - 1.0f;
}

void LFOx::sync(float samples) {
  if (!std::isfinite(samples)) return;
  const float advance = samples * increment_.load(std::memory_order_relaxed);
  switch (waveform_.load(std::memory_order_relaxed)) {
    case 0:
    case 2:
    case 4:
      phase_ = phaseOffset_ + advance;
      rising_ = true;
      break;
    case 1:
      phase_ = 2.0f * phaseOffset_ + advance;
      break;
    case 6:
      phase_ = 2.0f * phaseOffset_ + advance;
      hold_ = randomBipolar();
      break;
    case 3:
      phase_ = advance - 2.0f * phaseOffset_;
      break;
    default:
      break;
  }
}

void LFOx::init() {
  phase_ = -1.0f;
  output_ = 0.0f;
  increment_.store(0.0f, std::memory_order_relaxed);
  waveform_.store(0, std::memory_order_relaxed);
  rising_ = true;
  hold_ = 0.0f;
  maxFreq_ = 100.0f;
  minDivisor_ = 1.0f;
  phaseOffset_ = -1.0f;
}
