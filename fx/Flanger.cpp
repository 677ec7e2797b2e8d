#include "fx/Flanger.h"

#include <cmath>

Flanger::Flanger()
    : sweepLfo_(new LFOx),
      left_(nullptr),
      right_(nullptr),
      integerRate_(static_cast<std::int64_t>(sampleRate())),
      idleThreshold_(static_cast<float>(static_cast<std::int64_t>(sampleRate()) - 1)) {
  sweepLfo_->setWaveform(4);
  // The sweep reaches 1.9 and combined mode holds 2.0 times the centre
  // delays of 3.2 and 14 ms.
  left_ = new DelayL(1.0f, lineLength(kLineRate, kLeftSpan, kLeftLongest));
  right_ = new DelayL(1.0f, lineLength(kLineRate, kRightSpan, kRightLongest));
  sizeLines();
  left_->setModulated(true);
  right_->setModulated(true);
}

Flanger::~Flanger() {
  delete sweepLfo_;
  delete left_;
  delete right_;
}

void Flanger::setSampleRate(float rate) {
  if (!std::isfinite(rate) || rate <= 0.0f) return;
  VornMain::setSampleRate(rate);
  sweepLfo_->setSampleRate(rate);
  left_->setSampleRate(rate);
  right_->setSampleRate(rate);
  const auto irate = static_cast<std::int64_t>(rate);
  integerRate_.store(irate, rlx);
  idleThreshold_.store(static_cast<float>(irate - 1), rlx);
  sizeLines();
}

long Flanger::lineLength(float rate, float span, float longest) {
  const float r = rate < kLineRate ? rate : kLineRate;
  const long sized = static_cast<long>(r * span) + 100;
  const long needed = static_cast<long>(r * longest) + 2;
  return sized > needed ? sized : needed;
}

// The lines wrap at what the rate needs rather than at their whole buffer:
// a shorter line keeps more precision in its fractional read position.
void Flanger::sizeLines() {
  left_->setLength(lineLength(sampleRate(), kLeftSpan, kLeftLongest));
  right_->setLength(lineLength(sampleRate(), kRightSpan, kRightLongest));
}

void Flanger::setRate(float v) {
  if (!std::isfinite(v)) return;
  // Beyond 0..1 the feedback would pass 0.51 and the sweep turn negative.
  if (v < 0.0f) v = 0.0f;
  if (v > 1.0f) v = 1.0f;
  const float depth = 0.4f * v + 0.5f;
  depth_.store(depth, rlx);
  feedback_.store((depth + 0.119f) * 0.5f, rlx);
  sweepLfo_->setPureRate(0.4f / (depth + 1.1f));
}

void Flanger::tickBlock(const float* in, float* left, float* right, int n, bool combined, float mix) {
  DelayL::Cursor lineL = left_->cursor();
  DelayL::Cursor lineR = right_->cursor();
  const float threshold = idleThreshold_.load(rlx);
  const float depth = depth_.load(rlx);
  const float rate = static_cast<float>(integerRate_.load(rlx));
  const float fb = feedback_.load(rlx);
  const float dry = 2.0f * mix - 1.0f;
  std::int64_t silent = silentCount_;
  std::int32_t counter = updateCounter_;
  float sweep = sweep_;
  float memoryL = feedbackMemory_[0], memoryR = feedbackMemory_[1];
  float inL = lineIn_[0], inR = lineIn_[1];
  float l = out_[0], r = out_[1];
  for (int j = 0; j < n; ++j) {
    const float x = in[j];
    // The steps of tick(), in its order.
    if (x > 0.0f) silent = 0;
    if (static_cast<float>(silent) > threshold) {
      l = r = memoryL = memoryR = 0.0f;
    } else {
      const bool update = ++counter > 2;
      if (combined) sweep = 2.0f;
      else if (update) sweep = sweepLfo_->tick() * depth + 1.0f;
      else sweepLfo_->advance();
      if (update) {
        lineL.setDelay(0.0032f * sweep * rate);
        lineR.setDelay(0.014f * sweep * rate);
        counter = 0;
      }
      inL = memoryL * fb + x;
      inR = memoryR * fb + x;
      if (memoryL > 0.001f) silent = 0;
      else ++silent;
      l = lineL.tick(inL);
      r = lineR.tick(inR);
      if (FilterOneP::isZeroOrSubnormal(l)) l = 0.0f;
      if (FilterOneP::isZeroOrSubnormal(r)) r = 0.0f;
      memoryL = l;
      memoryR = r;
    }
    left[j] = l * mix + dry * x;
    right[j] = r * mix + dry * x;
  }
  left_->keep(lineL);
  right_->keep(lineR);
  silentCount_ = silent;
  updateCounter_ = counter;
  sweep_ = sweep;
  feedbackMemory_[0] = memoryL;
  feedbackMemory_[1] = memoryR;
  lineIn_[0] = inL;
  lineIn_[1] = inR;
  out_[0] = l;
  out_[1] = r;
}

void Flanger::clear() {
  left_->clear();
  right_->clear();
  feedbackMemory_[0] = feedbackMemory_[1] = 0.0f;
  out_[0] = out_[1] = 0.0f;
  silentCount_ = static_cast<std::int64_t>(idleThreshold_.load(rlx)) + 1;
}
