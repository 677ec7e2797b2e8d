#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fx/LFOx.h"

TEST(LFOx, RatesScaleLinearlyBetweenTheLimitsAndBadRatesAreRefused) {
  LFOx lfo;
  EXPECT_EQ(lfo.tick() + lfo.tick(), -2.0f);  // no rate yet: constant
  lfo.setPureRate(5.0f);
  EXPECT_NEAR(lfo.getIncrement(), 0.000453515f, 1e-9f);
  lfo.setRate(1.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 100.0f / 44100.0f, 1e-8f);
  lfo.setMaxMinFreq(10, 4);  // 0.25 Hz .. 10 Hz
  lfo.setRate(0.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 0.25f / 44100.0f, 1e-10f);
  lfo.setPureRate(NAN);
  lfo.setPureRate(-3.0f);
  EXPECT_NEAR(lfo.getIncrement(), 4.0f * 0.25f / 44100.0f, 1e-10f);
}

// The triangle turns at the top, repeating the peak sample; square is positive
// up to the turning tick; the saws wrap at two; waveform 4 is the sine of the triangle.
TEST(LFOx, WaveformsStepThroughTheirValues) {
  LFOx tri;
  tri.setPureRate(5.0f);
  int top = -1;
  float prev = -1.0f;
  for (int i = 1; i <= 9000 && top < 0; ++i) {
    const float v = tri.tick();
    ASSERT_GE(v, -1.0f);
    ASSERT_LT(v, 1.0f);
    if (v == prev && i > 1) top = i;
    prev = v;
  }
  EXPECT_NEAR(top, 4410, 2);
  EXPECT_LT(tri.tick(), prev);

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

  LFOx plain, round;
  round.setWaveform(4);
  plain.setPureRate(3.0f);
  round.setPureRate(3.0f);
  for (int i = 0; i < 30000; ++i) ASSERT_FLOAT_EQ(round.tick(), std::sin(plain.tick()));
}
