#include "fx/Flanger.h"

#include <cmath>

Flanger::Flanger()
    : sweepLfo_(new LFOx),
      left_(nullptr),
      right_(nullptr),
      integerRate_(static_cast<std::int64_t>(sampleRate())),
      idleThreshold_(static_cast<float>(static_cast<std::int64_t>(sampleRate()) - 1)),
      storedRate_(sampleRate()) {
  // The member objects above have reset the shared rate to 44100 already.
  const float rate = sampleRate();
  sweepLfo_->setWaveform(4);
  left_ = new DelayL(1.0f, static_cast<long>(rate * 0.00608f) + 100);
  right_ = new DelayL(1.0f, static_cast<long>(rate * 0.0266f) + 100);
  left_->setModulated(true);
  right_->setModulated(true);
}

Flanger::~Flanger() {
  delete sweepLfo_;
  delete left_;
  delete right_;
}

void Flanger::prepareSampleRate(float rate) {
  if (!std::isfinite(rate) || rate <= 0.0f || rate == storedRate_.load(rlx)) return;
  storedRate_.store(rate, rlx);
  const auto irate = static_cast<std::int64_t>(rate);
  integerRate_.store(irate, rlx);
  left_->newDelay(static_cast<long>(irate));
  right_->newDelay(static_cast<long>(irate));
  idleThreshold_.store(static_cast<float>(irate - 1), rlx);
}

void Flanger::setRate(float v) {
  if (!std::isfinite(v)) return;
  // Beyond 0..1 the feedback would pass 0.51 and the sweep turn negative.
  if (v < 0.0f) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  prepareSampleRate(sampleRate());
  const float depth = 0.4f * v + 0.5f;
  depth_.store(depth, rlx);
  feedback_.store((depth + 0.119f) * 0.5f, rlx);
  sweepLfo_->setPureRate(0.4f / (depth + 1.1f));
}

void Flanger::clear() {
  left_->clear();
  right_->clear();
  feedbackMemory_[0] = feedbackMemory_[1] = 0.0f;
  out_[0] = out_[1] = 0.0f;
  silentCount_ = static_cast<std::int64_t>(idleThreshold_.load(rlx)) + 1;
}
