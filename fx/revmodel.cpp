#include "fx/revmodel.h"

#include <algorithm>
#include <cmath>

#include "support/FloatLanes.h"

using namespace reverbtuning;

revmodel::revmodel() {
  idleCount_ = 0;
  for (int i = 0; i < kCombs; ++i) {
    combs_[i] = &combL_[i];
    combs_[kCombs + i] = &combR_[i];
  }
  for (int i = 0; i < kAllpasses; ++i) {
    allpassL_[i].setfeedback(kAllpassFeedback);
    allpassR_[i].setfeedback(kAllpassFeedback);
  }
  updateSamplerate(false, 44100.0f);
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
  // The lines hold the lengths of rates up to kMaxLineRate; above it the
  // reverb keeps that rate's lengths, a little shorter in time.
  const float lineRate = rate < kMaxLineRate ? rate : kMaxLineRate;
  for (int i = 0; i < kCombs; ++i) {
    const int len = static_cast<int>(lineRate * kCombFactors[i]);
    lengths_[2 * i] = len;
    lengths_[2 * i + 1] = len + kStereoSpread;
  }
  for (int i = 0; i < kAllpasses; ++i) {
    const int len = static_cast<int>(lineRate * kAllpassFactors[i]);
    lengths_[2 * kCombs + 2 * i] = len;
    lengths_[2 * kCombs + 2 * i + 1] = len + kStereoSpread;
  }
  bool changed = false;
  for (int i = 0; i < kCombs; ++i) {
    changed |= combL_[i].getlength() != lengths_[2 * i];
    combL_[i].setbuffer(buffers_[2 * i], lengths_[2 * i]);
    combR_[i].setbuffer(buffers_[2 * i + 1], lengths_[2 * i + 1]);
  }
  for (int i = 0; i < kAllpasses; ++i) {
    const int line = 2 * kCombs + 2 * i;
    allpassL_[i].setbuffer(buffers_[line], lengths_[line]);
    allpassR_[i].setbuffer(buffers_[line + 1], lengths_[line + 1]);
  }
  // Stretches may not be longer than any line: each line is read over the
  // whole stretch before it is written.
  stretchLimit_ = kStretch;
  for (const comb* c : combs_) stretchLimit_ = std::min(stretchLimit_, c->getlength());
  for (int i = 0; i < kAllpasses; ++i)
    stretchLimit_ = std::min({stretchLimit_, allpassL_[i].getlength(), allpassR_[i].getlength()});
  if (stretchLimit_ < 1) stretchLimit_ = 1;
  idleLimit_.store(static_cast<std::int64_t>(rate), rlx);
  rate_.store(rate, rlx);
  update();
  // What the lines held belongs to other lengths.
  if (changed) muteLines();
  else if (mute) this->mute();
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
  // The damping is a one-pole low-pass per line pass: the same cut-off in
  // hertz at any rate.
  const float rate = rate_.load(rlx);
  if (rate != 44100.0f && damping > 0.0f)
    damping = static_cast<float>(std::pow(static_cast<double>(damping), 44100.0 / static_cast<double>(rate)));
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

void revmodel::processBlock(const float* inL, const float* inR, float* outL, float* outR, int n) {
  if (muteRequested_.load(std::memory_order_acquire)) muteLines();
  const float gain = gain_.load(rlx);
  const float wet1 = wet1_.load(rlx);
  const float wet2 = wet2_.load(rlx);
  const float dry = dry_.load(rlx);
  Stretch& s = stretch_;
  for (int done = 0; done < n;) {
    const int m = n - done < stretchLimit_ ? n - done : stretchLimit_;
    const float* inl = inL + done;
    const float* inr = inR + done;
    for (int t = 0; t < m; ++t) s.input[t] = (inl[t] + inr[t]) * gain;
    for (int c = 0; c < 2 * kCombs; ++c) combs_[c]->readBlock(s.delayed[c], s.filtered[c], m);
    recurCombs(m);
    for (int c = 0; c < 2 * kCombs; ++c) combs_[c]->writeBlock(s.input, s.filtered[c], m);
    // The comb outputs summed in the order processmix adds them.
    for (int t = 0; t < m; ++t) s.left[t] = s.right[t] = 0.0f;
    for (int i = 0; i < kCombs; ++i) {
      const float* l = s.delayed[i];
      const float* r = s.delayed[kCombs + i];
      int t = 0;
      for (; t + 4 <= m; t += 4) {
        lanes::store(s.left + t, lanes::load(s.left + t) + lanes::load(l + t));
        lanes::store(s.right + t, lanes::load(s.right + t) + lanes::load(r + t));
      }
      for (; t < m; ++t) {
        s.left[t] += l[t];
        s.right[t] += r[t];
      }
    }
    for (int i = 0; i < kAllpasses; ++i) {
      allpassL_[i].processBlock(s.left, m);
      allpassR_[i].processBlock(s.right, m);
    }
    float* ol = outL + done;
    float* orr = outR + done;
    int t = 0;
    const lanes::F4 wet1s = {wet1, wet1, wet1, wet1}, wet2s = {wet2, wet2, wet2, wet2},
                    drys = {dry, dry, dry, dry};
    for (; t + 4 <= m; t += 4) {
      const lanes::F4 l = lanes::load(s.left + t), r = lanes::load(s.right + t);
      lanes::store(ol + t, l * wet1s + r * wet2s + lanes::load(inl + t) * drys);
      lanes::store(orr + t, r * wet1s + l * wet2s + lanes::load(inr + t) * drys);
    }
    for (; t < m; ++t) {
      const float l = s.left[t], r = s.right[t];
      ol[t] = l * wet1 + r * wet2 + inl[t] * dry;
      orr[t] = r * wet1 + l * wet2 + inr[t] * dry;
    }
    // Idle count: a loud output sets it to 0 and a loud input to 1 (it is
    // counted on that same frame); other frames count on. Only the last
    // loud frame matters.
    std::int64_t count = idleCount_ + m;
    for (t = m - 1; t >= 0; --t) {
      const float l = ol[t], x = s.input[t];
      if (l > 0.0001f || l < -0.0001f) {
        count = m - 1 - t;
        break;
      }
      if (x > 0.1f || x < -0.1f) {
        count = m - t;
        break;
      }
    }
    idleCount_ = count;
    frame_[0] = outL[done + m - 1];
    frame_[1] = outR[done + m - 1];
    done += m;
  }
}

// The combs' one-pole recursion over a stretch, sixteen combs as four
// vectors so that four chains are in flight: s = flush(s * damp1 + w).
void revmodel::recurCombs(int n) {
  using lanes::F4;
  constexpr int kGroups = 2 * kCombs / 4;
  F4 state[kGroups], damp[kGroups];
  for (int c = 0; c < 2 * kCombs; ++c) {
    state[c / 4][c % 4] = combs_[c]->filterState();
    damp[c / 4][c % 4] = combs_[c]->getdamp();
  }
  float (*w)[kStretch] = stretch_.filtered;
  int t = 0;
  for (; t + 4 <= n; t += 4) {
    F4 r[kGroups][4];
    for (int g = 0; g < kGroups; ++g) {
      for (int q = 0; q < 4; ++q) r[g][q] = lanes::load(w[4 * g + q] + t);
      lanes::transpose(r[g][0], r[g][1], r[g][2], r[g][3]);
    }
    for (int i = 0; i < 4; ++i)
      for (int g = 0; g < kGroups; ++g) r[g][i] = state[g] = lanes::flush(state[g] * damp[g] + r[g][i]);
    for (int g = 0; g < kGroups; ++g) {
      lanes::transpose(r[g][0], r[g][1], r[g][2], r[g][3]);
      for (int q = 0; q < 4; ++q) lanes::store(w[4 * g + q] + t, r[g][q]);
    }
  }
  for (; t < n; ++t) {
    for (int c = 0; c < 2 * kCombs; ++c) {
      float v = state[c / 4][c % 4] * damp[c / 4][c % 4] + w[c][t];
      if (FilterOneP::isZeroOrSubnormal(v)) v = 0.0f;
      state[c / 4][c % 4] = v;
      w[c][t] = v;
    }
  }
  for (int c = 0; c < 2 * kCombs; ++c) combs_[c]->setFilterState(state[c / 4][c % 4]);
}

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
