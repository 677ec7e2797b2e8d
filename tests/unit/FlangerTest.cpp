#include <gtest/gtest.h>

#include <cmath>

#include "fx/Flanger.h"

TEST(FlangerSetup, DepthControlsFeedbackAndSweepRate) {
  Flanger f;
  EXPECT_EQ(f.getFeedback(), 0.0f);
  f.setRate(0.2f);
  EXPECT_FLOAT_EQ(f.getDepth(), 0.58f);
  EXPECT_FLOAT_EQ(f.getFeedback(), 0.3495f);
  EXPECT_NEAR(f.getSweepIncrement() * 44100.0f / 4.0f, 0.238f, 0.0005f);
  f.setRate(1.0f);
  EXPECT_FLOAT_EQ(f.getFeedback(), 0.5095f);
  EXPECT_NEAR(f.getSweepIncrement() * 44100.0f / 4.0f, 0.2f, 1e-5f);
  f.setRate(5.0f);  // clamped: the feedback stays below 0.51
  f.setRate(NAN);
  EXPECT_FLOAT_EQ(f.getFeedback(), 0.5095f);
}

TEST(FlangerTick, ImpulseComesOutAfterTheLineDelays) {
  const bool combined = true;
  Flanger g;
  g.setRate(0.0f);
  for (int i = 0; i < 3; ++i) g.tick(0.0f, combined);
  int firstL = -1, firstR = -1;
  for (int i = 0; i < 2000; ++i) {
    const float* out = g.tick(i == 0 ? 1.0f : 0.0f, combined);
    if (firstL < 0 && out[0] > 0.1f) firstL = i;
    if (firstR < 0 && out[1] > 0.1f) firstR = i;
  }
  EXPECT_EQ(firstL, 282);
  EXPECT_EQ(firstR, 1234);
}

TEST(FlangerIdle, IdleOneSecondAfterTheLastSignal) {
  Flanger f;
  f.setRate(0.2f);
  const bool sweep = false;
  for (int i = 0; i < 100; ++i) f.tick(0.8f, sweep);
  EXPECT_FALSE(f.Idle());
  int lastLoud = 0;
  int idleAt = -1;
  for (int n = 1; n <= 200000 && idleAt < 0; ++n) {
    const float* out = f.tick(-0.5f, sweep);  // negative input never resets the count
    if (out[0] > 0.001f) lastLoud = n;
    if (f.Idle()) idleAt = n;
  }
  ASSERT_GT(idleAt, 0);
  EXPECT_EQ(idleAt, lastLoud + 44101);
  const float* out = f.tick(-0.5f, sweep);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 0.0f);
  f.tick(0.2f, sweep);  // a positive input wakes it
  EXPECT_FALSE(f.Idle());
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

