#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fx/LFOx.h"

TEST(LFOxRate, PureRateAndLinearRange) {
  LFOx lfo;
  EXPECT_EQ(lfo.getIncrement(), 0.0f);
  EXPECT_EQ(lfo.tick(), -1.0f);  // no rate yet: constant
  EXPECT_EQ(lfo.tick(), -1.0f);
  lfo.setPureRate(5.0f);
  EXPECT_NEAR(lfo.getIncrement(), 0.000453515f, 1e-9f);
  lfo.setRate(0.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 1.0f / 44100.0f, 1e-9f);
  lfo.setRate(1.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 100.0f / 44100.0f, 1e-8f);
  lfo.setMaxMinFreq(10, 4);  // 0.25 Hz .. 10 Hz
  lfo.setRate(0.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 0.25f / 44100.0f, 1e-10f);
  lfo.setMaxMinFreq(10, 0);  // minimum below 1 counts as 1
  lfo.setRate(0.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f / 44100.0f, 1e-9f);
  lfo.setPureRate(NAN);
  lfo.setPureRate(-3.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f / 44100.0f, 1e-9f);
}

TEST(LFOxWaveform, TriangleTurnsAtTheTopAndRepeatsThePeakSample) {
  LFOx lfo;
  lfo.setPureRate(5.0f);
  int top = -1;
  float prev = -1.0f;
  for (int i = 1; i <= 9000; ++i) {
    const float v = lfo.tick();
    ASSERT_GE(v, -1.0f);
    ASSERT_LT(v, 1.0f);
    if (top < 0 && v == prev && i > 1) top = i;
    prev = v;
  }
  ASSERT_GT(top, 0);
  EXPECT_NEAR(top, 4410, 2);
  // Falling after the turn.
  LFOx l2;
  l2.setPureRate(5.0f);
  for (int i = 0; i < top; ++i) l2.tick();
  const float a = l2.tick();
  EXPECT_LT(l2.tick(), a);
}

// Square (positive in the turning tick, then negative) and the saws wrapping at two.
TEST(LFOxWaveform, SquareAndSawsStepThroughTheirValues) {
  const struct {
    int waveform;
    float rate;
    std::vector<float> want;
  } cases[] = {{2, 5512.5f, {1, 1, 1, 1, -1, -1}},  // increment 0.5: -1, -0.5, 0, 0.5, turn
               {1, 11025.0f, {0.0f, 0.5f, -1.0f, -0.5f, 0.0f}},  // increment 1
               {3, 11025.0f, {1.0f, 0.5f, 0.0f, -0.5f, 1.0f}}};
  for (const auto& c : cases) {
    LFOx lfo;
    lfo.setWaveform(c.waveform);
    lfo.setPureRate(c.rate);
    for (float e : c.want) EXPECT_FLOAT_EQ(lfo.tick(), e) << c.waveform;
  }
}

TEST(LFOxWaveform, RoundedTriangleIsSineOfTheTriangle) {
  LFOx tri;
  LFOx round;
  round.setWaveform(4);
  tri.setPureRate(3.0f);
  round.setPureRate(3.0f);
  float maxAbs = 0.0f;
  for (int i = 0; i < 30000; ++i) {
    const float t = tri.tick();
    const float r = round.tick();
    ASSERT_FLOAT_EQ(r, std::sin(t));
    maxAbs = std::fmax(maxAbs, std::fabs(r));
  }
  EXPECT_LE(maxAbs, 0.8415f);
  EXPECT_GT(maxAbs, 0.84f);
}

TEST(LFOxWaveform, NoiseAndSampleAndHold) {
  LFOx noise;
  noise.setWaveform(5);
  float lo = 1.0f, hi = -1.0f, sum = 0.0f;
  float prev = 2.0f;
  int changes = 0;
  for (int i = 0; i < 20000; ++i) {
    const float v = noise.tick();
    ASSERT_GE(v, -1.0f);
    ASSERT_LE(v, 1.0f);
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
    sum += v;
    changes += v != prev;
    prev = v;
  }
  EXPECT_LT(lo, -0.99f);
  EXPECT_GT(hi, 0.99f);
  EXPECT_NEAR(sum / 20000.0f, 0.0f, 0.03f);
  EXPECT_GT(changes, 19990);

  LFOx sh;
  sh.setWaveform(9);  // above 6: sample and hold
  EXPECT_EQ(sh.getWaveform(), 6);
  sh.setPureRate(11025.0f);  // increment 1: a new value every 4 ticks
  float held[8];
  for (float& h : held) h = sh.tick();
  EXPECT_EQ(held[0], 0.0f);  // nothing drawn before the first wrap
  EXPECT_EQ(held[1], 0.0f);
  EXPECT_NE(held[2], 0.0f);  // phase 1 + 1 reaches 2: wraps and draws
  EXPECT_EQ(held[3], held[2]);
  EXPECT_EQ(held[5], held[2]);
  EXPECT_NE(held[6], held[5]);
}

TEST(LFOxSync, RestartsAtThePhaseOffsetAndInitRestoresDefaults) {
  LFOx lfo;
  lfo.setPureRate(441.0f);  // increment 0.04
  lfo.setPhaze(0.75f);      // offset 0.5
  lfo.sync(5.0f);
  EXPECT_FLOAT_EQ(lfo.getPhase(), 0.7f);
  lfo.setWaveform(1);
  lfo.sync(0.0f);
  EXPECT_FLOAT_EQ(lfo.getPhase(), 1.0f);
  lfo.setWaveform(3);
  lfo.sync(10.0f);
  EXPECT_FLOAT_EQ(lfo.getPhase(), -0.6f);
  lfo.setPhaze(7.0f);  // clamped to 1: offset 1
  lfo.setWaveform(1);
  lfo.sync(0.0f);
  EXPECT_FLOAT_EQ(lfo.getPhase(), 2.0f);

  lfo.tick();
  const float last = lfo.tick();
  lfo.setWaveform(-1);  // negative: the last output is held
  EXPECT_EQ(lfo.tick(), last);
  EXPECT_EQ(lfo.tick(), last);

  lfo.init();
  EXPECT_EQ(lfo.getIncrement(), 0.0f);
  EXPECT_EQ(lfo.getWaveform(), 0);
  EXPECT_EQ(lfo.getPhase(), -1.0f);
  EXPECT_EQ(lfo.tick(), -1.0f);
}

TEST(LFOxAdvance, StepsThePhaseLikeTick) {
  for (int w : {0, 1, 2, 3, 4, 6}) {
    LFOx ticked;
    LFOx skipped;
    ticked.setWaveform(w);
    skipped.setWaveform(w);
    ticked.setPureRate(1000.0f);
    skipped.setPureRate(1000.0f);
    for (int i = 0; i < 3000; ++i) {
      const float t = ticked.tick();
      if (i % 3 == 2) {
        ASSERT_EQ(skipped.tick(), t) << w << " " << i;
      } else {
        skipped.advance();
      }
    }
  }
}
