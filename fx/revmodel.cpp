#include "fx/revmodel.h"

#include <cmath>

using namespace reverbtuning;

revmodel::revmodel() {
  updateSamplerate(false, 44100.0f);
  idleCount_ = 0;
  for (int i = 0; i < kCombs; ++i) {
    combL_[i].setbuffer(buffers_[2 * i], lengths_[2 * i]);
    combR_[i].setbuffer(buffers_[2 * i + 1], lengths_[2 * i + 1]);
  }
  for (int i = 0; i < kAllpasses; ++i) {
    const int line = 2 * kCombs + 2 * i;
    allpassL_[i].setbuffer(buffers_[line], lengths_[line]);
    allpassR_[i].setbuffer(buffers_[line + 1], lengths_[line + 1]);
    allpassL_[i].setfeedback(kAllpassFeedback);
    allpassR_[i].setfeedback(kAllpassFeedback);
  }
  wet_.store(kInitialWet, rlx);
  update();
  roomsize_.store(kInitialRoom, rlx);
  update();
  dry_.store(kInitialDry, rlx);
  update();
  damp_.store(kInitialDamp, rlx);
  update();
  width_.store(kInitialWidth, rlx);
  update();
  mode_.store(kInitialMode, rlx);
  update();
  muteLines();
}

bool revmodel::finite(float v) { return std::isfinite(v); }

void revmodel::muteLines() {
  muteRequested_.store(false, std::memory_order_relaxed);
  for (int i = 0; i < kCombs; ++i) {
    combL_[i].mute();
    combR_[i].mute();
  }
  for (int i = 0; i < kAllpasses; ++i) {
    allpassL_[i].mute();
    allpassR_[i].mute();
  }
}

void revmodel::mute() {
  if (getmode() == 1.0f) return;
  muteRequested_.store(true, std::memory_order_release);
}

void revmodel::updateSamplerate(bool mute, float rate) {
  if (!finite(rate) || rate <= 0.0f) return;
  for (int i = 0; i < kCombs; ++i) {
    const int len = static_cast<int>(rate * kCombFactors[i]);
    lengths_[2 * i] = len;
    lengths_[2 * i + 1] = len + kStereoSpread;
  }
  for (int i = 0; i < kAllpasses; ++i) {
    const int len = static_cast<int>(rate * kAllpassFactors[i]);
    lengths_[2 * kCombs + 2 * i] = len;
    lengths_[2 * kCombs + 2 * i + 1] = len + kStereoSpread;
  }
  idleLimit_.store(static_cast<std::int64_t>(rate), rlx);
  if (mute) this->mute();
}

void revmodel::update() {
  const float wet = wet_.load(rlx);
  const float width = width_.load(rlx);
  wet1_.store(wet * (width * 0.5f + 0.5f), rlx);
  wet2_.store(wet * (1.0f - width) * 0.5f, rlx);
  float feedback;
  float damping;
  if (mode_.load(rlx) >= kFreezeMode) {
    feedback = 1.0f;
    damping = 0.0f;
    gain_.store(0.0f, rlx);
  } else {
    feedback = roomsize_.load(rlx);
    damping = damp_.load(rlx);
    gain_.store(kFixedGain, rlx);
  }
  roomsize1_.store(feedback, rlx);
  damp1_.store(damping, rlx);
  for (int i = 0; i < kCombs; ++i) {
    combL_[i].setfeedback(feedback);
    combR_[i].setfeedback(feedback);
    combL_[i].setdamp(damping);
    combR_[i].setdamp(damping);
  }
}

// Non-finite settings are refused: they would reach the output for ever.
void revmodel::setroomsize(float v) {
  if (!finite(v)) return;
  roomsize_.store(v * kScaleRoom + kOffsetRoom, rlx);
  update();
}
float revmodel::getroomsize() const { return (roomsize_.load(rlx) - kOffsetRoom) / kScaleRoom; }

void revmodel::setdamp(float v) {
  if (!finite(v)) return;
  damp_.store(v * kScaleDamp, rlx);
  update();
}
float revmodel::getdamp() const { return damp_.load(rlx) / kScaleDamp; }

void revmodel::setwet(float v) {
  if (!finite(v)) return;
  wet_.store(v * kScaleWet, rlx);
  update();
}
float revmodel::getwet() const { return wet_.load(rlx) / kScaleWet; }

void revmodel::setdry(float v) {
  if (!finite(v)) return;
  dry_.store(v, rlx);
}
float revmodel::getdry() const { return dry_.load(rlx); }

void revmodel::setwidth(float v) {
  if (!finite(v)) return;
  width_.store(v, rlx);
  update();
}
float revmodel::getwidth() const { return width_.load(rlx); }

void revmodel::setmode(float v) {
  if (!finite(v)) return;
  mode_.store(v, rlx);
  update();
}
float revmodel::getmode() const { return mode_.load(rlx) >= kFreezeMode ? 1.0f : 0.0f; }

void revmodel::processreplace(float* inputL, float* inputR, float* outputL, float* outputR, long count, int skip) {
  if (skip < 1) skip = 1;
  if (muteRequested_.load(std::memory_order_acquire)) muteLines();
  const float gain = gain_.load(rlx);
  const float wet1 = wet1_.load(rlx);
  const float wet2 = wet2_.load(rlx);
  const float dry = dry_.load(rlx);
  for (long n = 0; n < count; ++n) {
    float outL = 0.0f;
    float outR = 0.0f;
    const float x = (*inputL + *inputR) * gain;
    for (int i = 0; i < kCombs; ++i) {
      outL += combL_[i].process(x);
      outR += combR_[i].process(x);
    }
    for (int i = 0; i < kAllpasses; ++i) {
      outL = allpassL_[i].process(outL);
      outR = allpassR_[i].process(outR);
    }
    *outputL = outL * wet1 + outR * wet2 + *inputL * dry;
    *outputR = outR * wet1 + outL * wet2 + *inputR * dry;
    inputL += skip;
    inputR += skip;
    outputL += skip;
    outputR += skip;
  }
}
