#include "fx/comb.h"

#include "support/FloatLanes.h"

void comb::setdamp(float v) {
  damp1_.store(v, std::memory_order_relaxed);
  damp2_.store(1.0f - v, std::memory_order_relaxed);
}

void comb::readBlock(float* y, float* w, int n) const {
  const float damp2 = damp2_.load(std::memory_order_relaxed);
  const lanes::F4 damp2s = {damp2, damp2, damp2, damp2};
  int p = position_;
  for (int done = 0; done < n; p = 0) {
    const int run = n - done < length_ - p ? n - done : length_ - p;
    const float* line = buffer_ + p;
    int i = 0;
    for (; i + 4 <= run; i += 4) {
      const lanes::F4 v = lanes::flush(lanes::load(line + i));
      lanes::store(y + done + i, v);
      lanes::store(w + done + i, v * damp2s);
    }
    for (; i < run; ++i) {
      float v = line[i];
      if (FilterOneP::isZeroOrSubnormal(v)) v = 0.0f;
      y[done + i] = v;
      w[done + i] = v * damp2;
    }
    done += run;
  }
}

void comb::writeBlock(const float* x, const float* s, int n) {
  const float feedback = feedback_.load(std::memory_order_relaxed);
  const lanes::F4 feedbacks = {feedback, feedback, feedback, feedback};
  for (int done = 0; done < n; position_ = 0) {
    const int run = n - done < length_ - position_ ? n - done : length_ - position_;
    float* line = buffer_ + position_;
    int i = 0;
    for (; i + 4 <= run; i += 4)
      lanes::store(line + i, lanes::load(x + done + i) + lanes::load(s + done + i) * feedbacks);
    for (; i < run; ++i) line[i] = x[done + i] + s[done + i] * feedback;
    done += run;
    if (position_ + run < length_) {
      position_ += run;
      return;
    }
  }
}
