#include <gtest/gtest.h>

#include <cmath>

#include "perform/ADSR.h"

namespace {

// Ticks until the state changes (or limit ticks); returns the number of ticks.
int ticksWhile(ADSR& env, int state, int limit = 2000000) {
  int n = 0;
  while (env.getState() == state && n < limit) {
    env.tick();
    ++n;
  }
  return n;
}

}  // namespace

TEST(ADSRKeyOn, InstantStagesReachPeakThenHoldAndVelocityShapesThePeak) {
  ADSR env;
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  env.setVelocity(1.0f);
  env.setAttackTime(0.0f);
  env.setDecayTime(0.0f);
  env.setSustainLevel(1.0f);
  env.keyOn(127, 60);
  EXPECT_FLOAT_EQ(env.tick(), 1.0f);
  EXPECT_EQ(env.getState(), ADSR::kDecay);
  EXPECT_FLOAT_EQ(env.tick(), 1.0f);
  EXPECT_EQ(env.getState(), ADSR::kSustain);

  // Velocity curve: sensitivity 0.999, and a floor.
  env.keyOn(0, 60);
  EXPECT_FLOAT_EQ(env.getVelocityGain(), 0.001f);
  env.keyOn(64, 60);
  const float v = 64.0f / 127.0f;
  EXPECT_FLOAT_EQ(env.getVelocityGain(), v * v * 0.999f + 0.001f);
  env.setVelocity(0.0f);  // sensitivity 0.001: nearly flat
  env.keyOn(1, 60);
  EXPECT_NEAR(env.getPeak(), 0.999f, 0.0001f);
}

TEST(ADSRKeyOn, LinearAttackAndDecayToSustain) {
  ADSR env;
  env.setVelocity(1.0f);
  env.setAttackTime(0.1f);  // 0.1 s
  env.setDecayTime(0.1f);   // 0.1 s for a full peak
  env.setSustainLevel(0.5f);
  env.keyOn(127, 60);
  EXPECT_NEAR(env.getAttackIncrement(), 1.0 / 4410.0, 1e-8);
  EXPECT_NEAR(ticksWhile(env, ADSR::kAttack), 4410, 2);
  EXPECT_NEAR(ticksWhile(env, ADSR::kDecay), 2205, 2);
  EXPECT_EQ(env.getState(), ADSR::kSustain);
  EXPECT_FLOAT_EQ(env.tick(), 0.5f);
}

TEST(ADSRRelease, DefaultReleaseReachesSilenceAfterAbout195msAndZeroTimeAtOnce) {
  ADSR env;
  env.setVelocity(1.0f);
  env.setAttackTime(0.0f);
  const float r = 0.1f;
  env.setReleaseTime(r * r + 0.06f);
  EXPECT_NEAR(env.getReleaseTime(), 0.0686f, 1e-6f);
  env.keyOn(127, 60);
  env.tick();
  env.tick();
  ASSERT_EQ(env.getState(), ADSR::kSustain);
  env.keyOff();
  EXPECT_EQ(env.getState(), ADSR::kRelease);
  float prev = env.getValue();
  int n = 0;
  while (env.getState() == ADSR::kRelease) {
    const float y = env.tick();
    ASSERT_LT(y, prev);
    prev = y;
    ++n;
  }
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  EXPECT_EQ(env.getValue(), 0.0f);
  EXPECT_NEAR(n / 44100.0, 0.195, 0.001);

  env.setReleaseTime(0.0f);  // zero time: silent on the first tick
  env.keyOn(100, 60);
  env.tick();
  env.keyOff();
  EXPECT_EQ(env.tick(), 0.0f);
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  ADSR fresh;
  fresh.keyOn(100, 60);  // key-off while the value is still 0 ends at once
  fresh.keyOff();
  EXPECT_EQ(fresh.getState(), ADSR::kIdle);
}

TEST(ADSRRetrigger, DampsPolyVoiceButContinuesMonoVoice) {
  ADSR poly;
  poly.setAttackTime(0.08f);  // 0.064 s: increment below 0.1
  poly.keyOn(127, 60);
  for (int i = 0; i < 1000; ++i) poly.tick();
  const float level = poly.getValue();
  ASSERT_GT(level, 0.2f);
  poly.keyOn(127, 62);
  EXPECT_EQ(poly.getState(), ADSR::kDamp);
  const int dampTicks = ticksWhile(poly, ADSR::kDamp);
  EXPECT_NEAR(dampTicks, static_cast<int>(level / 0.01f), 1);
  EXPECT_EQ(poly.getState(), ADSR::kAttack);
  EXPECT_NEAR(poly.tick(), poly.getAttackIncrement(), 1e-7f);  // from zero

  ADSR mono;
  mono.setMonoMode(true);
  mono.setAttackTime(0.08f);
  mono.keyOn(127, 60);
  for (int i = 0; i < 1000; ++i) mono.tick();
  mono.keyOn(127, 62);
  EXPECT_EQ(mono.getState(), ADSR::kAttack);
}

TEST(ADSRSafety, NonFiniteSettingsAreRefused) {
  ADSR env;
  env.setReleaseTime(0.3f);
  env.setAttackTime(NAN);
  env.setReleaseTime(INFINITY);
  env.setSustainLevel(NAN);
  env.setVelocity(NAN);
  env.setDecayLevel(NAN);
  env.keyOn(127, 60);
  EXPECT_NEAR(env.getReleaseTime(), 14.0f * 0.09f, 1e-6f);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(std::isfinite(env.tick()));
}

// Held envelopes ticked side by side give what each gives alone, with and
// without smoothing, for any number of them (partial groups of four too),
// and carry on from there exactly.
TEST(ADSRSmoothing, HeldEnvelopesSideBySideMatchTickingEachAlone) {
  constexpr int kCount = 13, kFrames = 50;
  ADSR alone[kCount], together[kCount];
  for (ADSR* set : {alone, together}) {
    for (int k = 0; k < kCount; ++k) {
      ADSR& env = set[k];
      env.setVelocitySmoth(k % 3 != 0, 20 + 7 * k);
      env.setAttackTime(0.0f);
      env.setDecayTime(0.01f * static_cast<float>(k));
      env.setSustainLevel(0.2f + 0.05f * static_cast<float>(k));
      env.keyOn(40 + 6 * k, 60);
      for (int i = 0; i < 2 + 40 * k && env.getState() != ADSR::kSustain; ++i) env.tick();
      while (env.getState() != ADSR::kSustain) env.tick();
    }
  }
  // Moving smoothers first, then smoothers come to rest on their level.
  for (int count : {1, 4, 5, kCount, 0, kCount}) {
    SCOPED_TRACE(count);
    if (count == 0) {
      for (int k = 0; k < kCount; ++k)
        for (int i = 0; i < 40000; ++i) ASSERT_EQ(together[k].tick(), alone[k].tick());
      continue;
    }
    float out[kCount][kFrames];
    ADSR* envelopes[kCount];
    float* rows[kCount];
    for (int k = 0; k < count; ++k) {
      ASSERT_TRUE(together[k].holds());
      envelopes[k] = &together[k];
      rows[k] = out[k];
    }
    ADSR::tickHeld(envelopes, count, rows, kFrames);
    for (int k = 0; k < count; ++k)
      for (int j = 0; j < kFrames; ++j) ASSERT_EQ(out[k][j], alone[k].tick()) << k << " " << j;
  }
  for (int k = 0; k < kCount; ++k) {
    alone[k].keyOff();
    together[k].keyOff();
    for (int j = 0; j < 100; ++j) ASSERT_EQ(together[k].tick(), alone[k].tick());
  }
}
