#include "fx/allpass.h"

#include "support/FloatLanes.h"

void allpass::mute() {
  for (int i = 0; i < length_; ++i) buffer_[i] = 0.0f;
}

void allpass::processBlock(float* x, int n) {
  const float feedback = feedback_.load(std::memory_order_relaxed);
  const lanes::F4 feedbacks = {feedback, feedback, feedback, feedback};
  for (int done = 0; done < n; position_ = 0) {
    const int run = n - done < length_ - position_ ? n - done : length_ - position_;
    float* line = buffer_ + position_;
    float* in = x + done;
    int i = 0;
    for (; i + 4 <= run; i += 4) {
      const lanes::F4 b = lanes::flush(lanes::load(line + i));
      const lanes::F4 v = lanes::load(in + i);
      lanes::store(line + i, v + b * feedbacks);
      lanes::store(in + i, b - v);
    }
    for (; i < run; ++i) {
      float b = line[i];
      if (FilterOneP::isZeroOrSubnormal(b)) b = 0.0f;
      const float v = in[i];
      line[i] = v + b * feedback;
      in[i] = b - v;
    }
    done += run;
    if (position_ + run < length_) {
      position_ += run;
      return;
    }
  }
}
