#include "perform/ADSR.h"

#include "support/FloatLanes.h"

#include <cmath>
#include <cstdlib>

ADSR::ADSR() : sampleRate_(static_cast<double>(sampleRate())) { smoother_.setPureFreq(10000.0f); }

ADSR::~ADSR() = default;

void ADSR::setSampleRate(float rate) {
  if (!std::isfinite(rate) || rate <= 0.0f) return;
  VornMain::setSampleRate(rate);
  smoother_.setSampleRate(rate);
  smoother_.setPureFreq(firstAttackPending_ ? 10000.0f : static_cast<float>(smoothFreq_.load(rlx)));
  sampleRate_.store(static_cast<double>(rate), rlx);
  updateValues();
}

void ADSR::keyOn(int velocity, int note) {
  sampleRate_.store(static_cast<double>(sampleRate()), rlx);
  state_ = kAttack;
  keyOffPending_ = false;
  // A sounding voice with a slow attack falls silent first, then rises again.
  if (!monoMode_.load(rlx) && value_ > 0.0f && attackInc_.load(rlx) < 0.1f) state_ = kDamp;
  const float s = velocitySens_.load(rlx);
  const float v = static_cast<float>(velocity) / 127.0f;
  float gain = v * v * s + (1.0f - s);
  if (gain < 0.001f) gain = 0.001f;
  if (gain > 1.0f) gain = 1.0f;
  velocityGain_.store(gain, rlx);
  note_.store(note, rlx);
  updateValues();
}

void ADSR::tickHeld(ADSR* const* envelopes, int count, float* const* out, int n) {
  // Four smoothers per vector, all vectors in one pass: the same float
  // operations as ticklow(), with many independent chains in flight. An
  // envelope without smoothing gives its level unchanged.
  using lanes::F4;
  using lanes::I4;
  constexpr int kMax = 16;
  if (count > kMax) count = kMax;
  const int groups = (count + 3) / 4;
  F4 state[kMax / 4] = {}, target[kMax / 4] = {}, coefficient[kMax / 4] = {};
  I4 smoothed[kMax / 4] = {};
  for (int k = 0; k < count; ++k) {
    ADSR& e = *envelopes[k];
    smoothed[k / 4][k % 4] = e.smoothing_.load(rlx) ? -1 : 0;
    state[k / 4][k % 4] = e.smoother_.getState();
    target[k / 4][k % 4] = e.value_;
    coefficient[k / 4][k % 4] = e.smoother_.getCoefficient();
  }
  // A smoother that has come to rest (its next state is bit for bit its
  // present one) stays there: its output is a constant from here on.
  bool resting = true;
  for (int g = 0; g < groups; ++g) {
    const F4 next = (target[g] - state[g]) * coefficient[g] + state[g];
    const I4 same = reinterpret_cast<I4>(next) == reinterpret_cast<I4>(state[g]);
    for (int q = 0; q < 4; ++q) resting = resting && (same[q] || !smoothed[g][q]);
  }
  if (resting) {
    for (int k = 0; k < count; ++k) {
      const float v = smoothed[k / 4][k % 4] ? state[k / 4][k % 4] : target[k / 4][k % 4];
      lanes::fill(out[k], v, n);
    }
    return;
  }
  alignas(16) float values[kMax];
  for (int j = 0; j < n; ++j) {
    for (int g = 0; g < groups; ++g) {
      state[g] = (target[g] - state[g]) * coefficient[g] + state[g];
      lanes::store(values + 4 * g, lanes::select(smoothed[g], state[g], target[g]));
    }
    for (int k = 0; k < count; ++k) out[k][j] = values[k];
  }
  for (int k = 0; k < count; ++k)
    if (smoothed[k / 4][k % 4]) envelopes[k]->smoother_.setState(state[k / 4][k % 4]);
}

float ADSR::tickStage() {
  switch (state_) {
    case kAttack: {
      const float top = peak_.load(rlx) * decayLevel_.load(rlx);
      value_ += attackInc_.load(rlx);
      if (value_ >= top) {
        value_ = top;
        state_ = kDecay;
      }
      break;
    }
    case kDecay: {
      const float target = sustainTarget_.load(rlx);
      value_ -= decayDec_.load(rlx);
      if (value_ <= target) {
        value_ = target;
        state_ = kSustain;
        if (keyOffPending_) state_ = kRelease;
        if (looped_.load(rlx) && sustainLevel_.load(rlx) == 0.0f) state_ = kAttack;
      }
      if (firstAttackPending_) {
        smoother_.setPureFreq(static_cast<float>(smoothFreq_.load(rlx)));
        firstAttackPending_ = false;
      }
      break;
    }
    case kRelease:
      value_ = value_ * releaseCoef_.load(rlx) + releaseOffset_.load(rlx);
      if (value_ <= 0.001f) {
        value_ = 0.0f;
        if (!smoothing_.load(rlx)) state_ = kIdle;
      }
      break;
    case kFade:
      // Straight to the output: the smoother follows along, so a key-on
      // during the fade goes on from the level reached.
      value_ -= fadeStep_;
      if (value_ <= 0.0f) {
        value_ = 0.0f;
        state_ = kIdle;
      }
      if (smoothing_.load(rlx)) smoother_.setState(value_);
      return value_;
    case kDamp:
      value_ -= 0.01f;
      if (value_ <= 0.001f) {
        value_ = 0.0f;
        state_ = kAttack;
      }
      break;
    default:
      break;
  }
  if (!smoothing_.load(rlx)) return value_;
  const float out = smoother_.ticklow(value_);
  if (state_ == kRelease && out <= 0.001f) {
    value_ = 0.0f;
    state_ = kIdle;
  }
  return out;
}

void ADSR::fadeOut() {
  if (state_ == kIdle || state_ == kFade) return;
  // The level heard now: with smoothing, the smoother's output.
  const float level = smoothing_.load(rlx) ? smoother_.getState() : value_;
  double samples = std::round(kFadeSeconds * static_cast<double>(sampleRate()));
  if (!(samples >= 1.0)) samples = 1.0;
  value_ = level > 0.0f ? level : 0.0f;
  fadeStep_ = static_cast<float>(static_cast<double>(value_) / samples);
  if (smoothing_.load(rlx)) smoother_.setState(value_);
  keyOffPending_ = false;
  state_ = value_ > 0.0f ? kFade : kIdle;
}

void ADSR::keyOff() {
  if (state_ == kFade) return;  // the fade ends in silence sooner
  if (!percussion_.load(rlx)) {
    if (value_ > 0.0f) {
      state_ = kRelease;
    } else {
      state_ = kIdle;
      value_ = 0.0f;
    }
    keyOffPending_ = false;
  } else if (state_ == kSustain) {
    state_ = kRelease;
  } else {
    keyOffPending_ = true;
  }
}

float ADSR::trackingFactor(float k) const {
  if (k == 0.0f) return 1.0f;
  const int low = lowTrack_.load(rlx);
  const float range = static_cast<float>(std::abs(highTrack_.load(rlx) - low));
  if (range == 0.0f) return 1.0f;  // one-note range: nothing to track across
  const float fromLow = static_cast<float>(std::abs(note_.load(rlx) - low));
  const float d = k > 0.0f ? fromLow : std::trunc(range - fromLow);
  const float x = std::fabs(k) / range * d;
  return (1.0f - x) * (1.0f - x);
}

void ADSR::updateValues() {
  float peak = velocityGain_.load(rlx);
  float attack = attackTime_.load(rlx);
  float decay = decayTime_.load(rlx);
  float release = releaseTime_.load(rlx);

  peak *= trackingFactor(volumeTracking_.load(rlx));
  const float speed = trackingFactor(speedTracking_.load(rlx));
  attack *= speed;
  decay *= speed;
  release *= speed;

  const double rate = sampleRate_.load(rlx);
  const double pk = peak;
  const float attackInc = attack > 0.0f ? static_cast<float>(pk / (static_cast<double>(attack) * rate)) : 1.0f;
  const float decayDec = decay > 0.0f ? static_cast<float>(pk / (static_cast<double>(decay) * rate)) : 1.0f;

  // Release: the distance to -0.0001 shrinks 11-fold per release time.
  float c = 0.0f;
  if (release > 0.0f) c = static_cast<float>(std::exp(-std::log(11.0) / (static_cast<double>(release) * rate)));

  peak_.store(peak, rlx);
  effAttack_.store(attack, rlx);
  effDecay_.store(decay, rlx);
  effRelease_.store(release, rlx);
  attackInc_.store(attackInc, rlx);
  decayDec_.store(decayDec, rlx);
  sustainTarget_.store(sustainLevel_.load(rlx) * peak, rlx);
  releaseCoef_.store(c, rlx);
  releaseOffset_.store((1.0f - c) * -0.0001f, rlx);
}

void ADSR::setAttackTime(float x) {
  if (!std::isfinite(x)) return;
  attackTime_.store(10.0f * x * x, rlx);
  updateValues();
}

void ADSR::setDecayTime(float x) {
  if (!std::isfinite(x)) return;
  decayTime_.store(10.0f * x * x, rlx);
  updateValues();
}

void ADSR::setReleaseTime(float x) {
  if (!std::isfinite(x)) return;
  releaseTime_.store(14.0f * x * x, rlx);
  updateValues();
}

void ADSR::setSustainLevel(float x) {
  if (!std::isfinite(x)) return;
  if (!looped_.load(rlx) && x < 0.001f) x = 0.0f;
  sustainLevel_.store(x, rlx);
}

void ADSR::setVelocity(float x) {
  if (!(x >= 0.0f)) x = 0.0f;  // also catches NaN
  if (x > 1.0f) x = 1.0f;
  velocitySens_.store(x * 0.998f + 0.001f, rlx);
}

void ADSR::setVelocitySmoth(bool on, long hz) {
  smoothing_.store(on, rlx);
  smoothFreq_.store(hz, rlx);
}

void ADSR::setFirstAttack(long hz) {
  smoother_.setPureFreq(static_cast<float>(hz));
  firstAttackPending_ = true;
}

void ADSR::setDecayLevel(float level) {
  if (!std::isfinite(level)) return;
  decayLevel_.store(level, rlx);
}

void ADSR::setLowTrack(int n) {
  lowTrack_.store(n < 0 ? 0 : (n > 127 ? 127 : n), rlx);
  updateValues();
}

void ADSR::setHighTrack(int n) {
  highTrack_.store(n < 0 ? 0 : (n > 127 ? 127 : n), rlx);
  updateValues();
}

void ADSR::setVolumeKeyTracking(float k) {
  if (!std::isfinite(k)) return;
  volumeTracking_.store(k < -1.0f ? -1.0f : (k > 1.0f ? 1.0f : k), rlx);
  updateValues();
}

void ADSR::setSpeedKeyTracking(float k) {
  if (!std::isfinite(k)) return;
  speedTracking_.store(k < -1.0f ? -1.0f : (k > 1.0f ? 1.0f : k), rlx);
  updateValues();
}
