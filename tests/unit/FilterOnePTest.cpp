#include <gtest/gtest.h>

#include <cmath>

#include "sound/FilterOneP.h"

TEST(FilterOneP, CoefficientsFollowTheCutOffAndTheSharedRate) {
  FilterOneP f;  // construction resets the shared rate to 44100
  for (auto [freq, want] : {std::pair{0.0f, 0.02778f}, {1.0f, 0.95388f}, {2.0f, 1.0f}, {-1.0f, 0.02f}}) {
    f.setFreq(freq);
    EXPECT_NEAR(f.getCoefficient(), want, 0.000005f) << freq;
  }
  f.setPureFreq(2100.0f);
  EXPECT_NEAR(f.getCoefficient(), 0.29920f, 0.000005f);
  f.setPureFreq(NAN);  // refused
  f.setFreq(INFINITY);
  EXPECT_NEAR(f.getCoefficient(), 0.29920f, 0.000005f);
  // Twice the rate, half the coefficient, down to the floor.
  f.setFreq(0.5f);
  const float at44 = f.getCoefficient();
  f.setSampleRate(88200.0f);
  f.setFreq(0.5f);
  EXPECT_NEAR(f.getCoefficient(), at44 / 2.0f, 1e-6f);
  f.setFreq(0.0f);
  EXPECT_EQ(f.getCoefficient(), 0.02f);
}

TEST(FilterOneP, LowAndHighPassFollowTheRecurrenceAndFlushTinyStates) {
  FilterOneP f;
  f.setPureFreq(2100.0f);
  const float a = f.getCoefficient();
  float z = 0.0f;
  for (int i = 0; i < 20; ++i) {
    z = (1.0f - z) * a + z;
    EXPECT_FLOAT_EQ(f.tick(1.0f), z);
  }
  EXPECT_FLOAT_EQ(f.tickhigh(0.5f), 0.5f - z);
  EXPECT_FLOAT_EQ(f.getState(), z + (0.5f - z) * a);

  FilterOneP unity;  // a = 1: the state becomes the input
  unity.tick(1e-40f);
  EXPECT_EQ(unity.getState(), 0.0f);
}
