#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sound/FilterOneP.h"

TEST(FilterOnePCoefficient, NormalisedAndPureCutOffsFollowTheSharedRate) {
  FilterOneP f;  // construction resets the shared rate to 44100
  f.setFreq(0.0f);
  EXPECT_NEAR(f.getCoefficient(), 0.02778f, 0.000005f);
  f.setFreq(1.0f);
  EXPECT_NEAR(f.getCoefficient(), 0.95388f, 0.000005f);
  f.setFreq(2.0f);
  EXPECT_EQ(f.getCoefficient(), 1.0f);
  f.setFreq(-1.0f);  // far below: floor of the clamp
  EXPECT_EQ(f.getCoefficient(), 0.02f);
  f.setPureFreq(2100.0f);
  EXPECT_NEAR(f.getCoefficient(), 0.29920f, 0.000005f);
  f.setPureFreq(40.0f);
  EXPECT_NEAR(f.getCoefficient(), 40.0 * 6.28319 / 44100.0, 1e-7);
  // The shared rate: twice the rate, half the coefficient, down to the floor.
  f.setFreq(0.5f);
  const float at44 = f.getCoefficient();
  VornMain::setSampleRate(88200.0f);
  f.setFreq(0.5f);
  EXPECT_NEAR(f.getCoefficient(), at44 / 2.0f, 1e-6f);
  f.setFreq(0.0f);  // half of 0.02778 lies below the floor
  EXPECT_EQ(f.getCoefficient(), 0.02f);
  VornMain::setSampleRate(44100.0f);
}

TEST(FilterOnePTick, UnityCoefficientPassesAndDifferentiates) {
  FilterOneP low;
  FilterOneP high;
  high.setType(1);
  const float in[] = {0.5f, -0.25f, 1.0f, 0.75f};
  float prev = 0.0f;
  for (float x : in) {
    EXPECT_EQ(low.tick(x), x);
    EXPECT_EQ(high.tick(x), x - prev);
    prev = x;
  }
}

TEST(FilterOnePTick, LowPassConvergesWithTheSpecifiedRecurrence) {
  FilterOneP f;
  f.setPureFreq(2100.0f);
  const float a = f.getCoefficient();
  float z = 0.0f;
  for (int i = 0; i < 20; ++i) {
    z = (1.0f - z) * a + z;
    EXPECT_FLOAT_EQ(f.tick(1.0f), z);
  }
  EXPECT_FLOAT_EQ(f.ticklow(0.0f), (0.0f - z) * a + z);
}

TEST(FilterOnePTick, TinyStatesFlushToZero) {
  FilterOneP f;  // a = 1: the state becomes the input
  f.tick(1e-40f);
  EXPECT_EQ(f.getState(), 0.0f);
  f.tickhigh(1e-40f);
  EXPECT_EQ(f.getState(), 0.0f);
  f.ticklow(1e-40f);  // no flushing here
  EXPECT_EQ(f.getState(), 1e-40f);
  EXPECT_TRUE(FilterOneP::isZeroOrSubnormal(-1e-39f));
  EXPECT_FALSE(FilterOneP::isZeroOrSubnormal(std::numeric_limits<float>::min()));
}

TEST(FilterOnePTick, HighPassVariantReturnsInputMinusPreviousState) {
  FilterOneP f;
  f.setPureFreq(2100.0f);
  f.tick(1.0f);
  const float z = f.getState();
  EXPECT_FLOAT_EQ(f.tickhigh(0.5f), 0.5f - z);
  EXPECT_FLOAT_EQ(f.getState(), z + (0.5f - z) * f.getCoefficient());
}

TEST(FilterOnePSafety, RefusesNonFiniteAndKeepsFastCutOffsStable) {
  FilterOneP f;
  f.setPureFreq(2100.0f);
  const float a = f.getCoefficient();
  f.setPureFreq(NAN);
  f.setFreq(INFINITY);
  EXPECT_EQ(f.getCoefficient(), a);

  // 10 kHz at 44.1 kHz overshoots (coefficient above 1) but settles.
  f.setPureFreq(10000.0f);
  EXPECT_GT(f.getCoefficient(), 1.0f);
  EXPECT_LT(f.getCoefficient(), 2.0f);

  // At 22.05 kHz the same cut-off would be unstable; the filter stays finite.
  VornMain::setSampleRate(22050.0f);
  f.setPureFreq(10000.0f);
  VornMain::setSampleRate(44100.0f);
  for (int i = 0; i < 100000; ++i) {
    const float y = f.tick(i % 2 ? 1.0f : -1.0f);
    ASSERT_TRUE(std::isfinite(y)) << i;
    ASSERT_LE(std::fabs(y), 1.0f);
  }
  f.setPureFreq(-100.0f);
  EXPECT_EQ(f.getCoefficient(), 0.0f);
}
