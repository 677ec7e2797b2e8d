#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "fx/Flanger.h"

// An independent flanger: the rounded-triangle sweep stepped sample by
// sample, the delays worked out every third tick, and two feedback lines
// kept as plain arrays of their inputs (0.001 before the first).
class ReferenceFlanger {
 public:
  ReferenceFlanger(double rate, float v) : rate_(rate) {
    depth_ = 0.4f * v + 0.5f;
    feedback_ = (depth_ + 0.119) * 0.5;
    const double hz = 0.4 / (depth_ + 1.1);
    increment_ = static_cast<float>(4.0 / (rate / hz));
  }
  void tick(double x, bool combined) {
    if (!combined) stepSweep();
    if (++counter_ > 2) {
      const double m = combined ? 2.0 : std::sin(static_cast<double>(phase_)) * depth_ + 1.0;
      delay_[0] = 0.0032 * m * rate_;
      delay_[1] = 0.014 * m * rate_;
      counter_ = 0;
    }
    for (int c = 0; c < 2; ++c) {
      auto& in = inputs_[c];
      in.push_back(x + out[c] * feedback_);
      const long n = static_cast<long>(in.size()) - 1;
      const long whole = static_cast<long>(std::floor(delay_[c]));
      const double g = delay_[c] - static_cast<double>(whole);
      auto at = [&](long i) { return i < 0 ? 0.001 : in[static_cast<size_t>(i)]; };
      out[c] = (1.0 - g) * at(n - whole) + g * at(n - whole - 1);
    }
  }
  double delay(int c) const { return delay_[c]; }
  double out[2] = {0.0, 0.0};

 private:
  // The phase runs -1..1 and back; a step that would reach a bound is not taken.
  void stepSweep() {
    const float next = rising_ ? phase_ + increment_ : phase_ - increment_;
    if (rising_ ? next >= 1.0f : next <= -1.0f) rising_ = !rising_;
    else phase_ = next;
  }
  double rate_;
  float depth_;
  double feedback_;
  float increment_;
  float phase_ = -1.0f;
  bool rising_ = true;
  int counter_ = 0;
  double delay_[2] = {1.0, 1.0};
  std::vector<double> inputs_[2];
};

// A whole sweep (about 4.2 s at depth 0.58), then the combined mode, which
// holds the sweep, then the sweep again from where it stopped, then a second
// of silence that turns the flanger idle and an impulse that wakes it.
// Impulses every 1500 ticks show any error of the delay as an error of the
// output. A twin ticked in blocks gives the same outputs bit for bit.
TEST(FlangerSweep, SweptAndCombinedDelaysMatchTheRoundedTriangleSweep) {
  const double rate = 44100.0;
  Flanger f, twin;
  f.setRate(0.2f);
  twin.setRate(0.2f);
  ReferenceFlanger model(rate, 0.2f);
  double lowest[2] = {1e9, 1e9}, highest[2] = {0.0, 0.0};
  std::vector<float> in, expected[2], got[2];
  auto compareBlock = [&](bool combined) {
    const int n = static_cast<int>(in.size());
    for (auto& g : got) g.resize(in.size());
    // Mix 0.5: out * 0.5 + 0 * in.
    twin.tickBlock(in.data(), got[0].data(), got[1].data(), n, combined, 0.5f);
    for (int c = 0; c < 2; ++c)
      for (int j = 0; j < n; ++j) ASSERT_EQ(got[c][j], expected[c][j] * 0.5f) << "block sample " << j;
    for (auto* v : {&in, &expected[0], &expected[1]}) v->clear();
  };
  auto run = [&](int ticks, bool combined, long& n, bool quiet = false) {
    for (int i = 0; i < ticks; ++i, ++n) {
      const float x = (quiet ? i == ticks - 1 : n % 1500 == 0) ? 1.0f : 0.0f;
      const float* out = f.tick(x, combined);
      in.push_back(x);
      expected[0].push_back(out[0]);
      expected[1].push_back(out[1]);
      if (in.size() == 1 + static_cast<size_t>(n % 97)) compareBlock(combined);
      if (quiet) continue;
      model.tick(x, combined);
      for (int c = 0; c < 2; ++c) {
        ASSERT_NEAR(out[c], model.out[c], 5e-4) << (c ? "right" : "left") << ", tick " << n;
        if (n < 2) continue;  // the delays of construction until the first update
        lowest[c] = std::min(lowest[c], model.delay(c));
        highest[c] = std::max(highest[c], model.delay(c));
      }
      ASSERT_NEAR(f.leftLine().getDelay(), model.delay(0), 2e-3) << n;
      ASSERT_NEAR(f.rightLine().getDelay(), model.delay(1), 5e-3) << n;
    }
    if (!in.empty()) compareBlock(combined);
  };
  long n = 0;
  run(190000, false, n);
  // The sweep went from end to end: 1 -/+ 0.58 sin(1) times the centre delays.
  const double swing = 0.58 * std::sin(1.0);
  EXPECT_NEAR(lowest[0], 0.0032 * rate * (1.0 - swing), 0.01);
  EXPECT_NEAR(highest[0], 0.0032 * rate * (1.0 + swing), 0.01);
  EXPECT_NEAR(lowest[1], 0.014 * rate * (1.0 - swing), 0.05);
  EXPECT_NEAR(highest[1], 0.014 * rate * (1.0 + swing), 0.05);

  run(5000, true, n);
  EXPECT_NEAR(f.leftLine().getDelay(), 282.24, 1e-3);
  EXPECT_NEAR(f.rightLine().getDelay(), 1234.8, 1e-3);
  run(20000, false, n);
  run(46000, false, n, true);
  EXPECT_FALSE(f.Idle());
  EXPECT_FALSE(twin.Idle());
}

TEST(FlangerRate, DelaysSweepAndIdleTimeFollowTheRate) {
  for (float rate : {48000.0f, 96000.0f, 192000.0f, 768000.0f}) {
    Flanger f;
    f.setRate(0.5f);
    f.setSampleRate(rate);
    const bool combined = true;
    for (int i = 0; i < 3; ++i) f.tick(0.5f, combined);
    // Combined mode holds 6.4 and 28 ms; the sweep stays at 0.4 / 1.8 Hz.
    EXPECT_NEAR(f.leftLine().getDelay(), 0.0064f * rate, 0.02f) << rate;
    EXPECT_NEAR(f.rightLine().getDelay(), 0.028f * rate, 0.1f) << rate;
    EXPECT_NEAR(f.getSweepIncrement() * rate / 4.0f, 0.4f / 1.8f, 1e-5f) << rate;
    // Idle after one second of silence at this rate.
    EXPECT_NEAR(static_cast<double>(f.ticksBeforeIdle()), rate - 2.0, 2.0) << rate;
  }
}

