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
  for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(env.tick(), 1.0f);

  // Velocity curve: sensitivity 0.999, and a floor.
  env.keyOn(0, 60);
  EXPECT_FLOAT_EQ(env.getVelocityGain(), 0.001f);
  env.keyOn(64, 60);
  const float v = 64.0f / 127.0f;
  EXPECT_FLOAT_EQ(env.getVelocityGain(), v * v * 0.999f + 0.001f);
  env.setVelocity(0.0f);  // sensitivity 0.001: nearly flat
  env.keyOn(1, 60);
  EXPECT_NEAR(env.getVelocityGain(), 0.999f, 0.0001f);
  EXPECT_FLOAT_EQ(env.getPeak(), env.getVelocityGain());
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

TEST(ADSRRelease, DefaultReleaseReachesSilenceAfterAbout195ms) {
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
}

TEST(ADSRRelease, ZeroTimeEndsOnFirstTickAndKeyOffAtZeroIsImmediate) {
  ADSR env;
  env.setAttackTime(0.0f);
  env.setReleaseTime(0.0f);
  EXPECT_EQ(env.getReleaseCoefficient(), 0.0f);
  env.keyOn(100, 60);
  env.tick();
  env.keyOff();
  EXPECT_EQ(env.tick(), 0.0f);
  EXPECT_EQ(env.getState(), ADSR::kIdle);

  ADSR fresh;
  fresh.keyOn(100, 60);  // value still 0
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
  EXPECT_EQ(poly.getValue(), 0.0f);
  EXPECT_NEAR(poly.tick(), poly.getAttackIncrement(), 1e-7f);

  ADSR mono;
  mono.setMonoMode(true);
  mono.setAttackTime(0.08f);
  mono.keyOn(127, 60);
  for (int i = 0; i < 1000; ++i) mono.tick();
  const float monoLevel = mono.getValue();
  mono.keyOn(127, 62);
  EXPECT_EQ(mono.getState(), ADSR::kAttack);
  EXPECT_GT(mono.tick(), monoLevel);

  ADSR fast;  // fast attack (increment 1): no damping either
  fast.setAttackTime(0.0f);
  fast.keyOn(127, 60);
  fast.tick();
  fast.keyOn(127, 60);
  EXPECT_EQ(fast.getState(), ADSR::kAttack);
}

TEST(ADSRSmoothing, FirstAttackIsFastThenSmootherDrops) {
  ADSR env;
  env.setVelocitySmoth(true, 20);
  env.setAttackTime(0.0f);
  const float fast = env.getSmootherCoefficient();
  EXPECT_NEAR(fast, 10000.0 * 6.28319 / 44100.0, 1e-5);
  env.keyOn(127, 60);
  env.tick();  // attack
  EXPECT_EQ(env.getSmootherCoefficient(), fast);
  env.tick();  // first decay tick lowers the cut-off
  EXPECT_NEAR(env.getSmootherCoefficient(), 20.0 * 6.28319 / 44100.0, 1e-7);
  env.setFirstAttack(10000);
  EXPECT_EQ(env.getSmootherCoefficient(), fast);
}

TEST(ADSRSmoothing, ReleaseEndsOnTheSmoothedOutput) {
  ADSR env;
  env.setVelocitySmoth(true, 20);
  env.setVelocity(1.0f);
  env.setAttackTime(0.0f);
  env.setReleaseTime(0.1f);  // 0.14 s
  env.keyOn(127, 60);
  for (int i = 0; i < 20000; ++i) env.tick();  // smoother settles on the peak
  env.keyOff();
  int rawSilentAt = -1;
  int n = 0;
  float out = 1.0f;
  while (env.getState() == ADSR::kRelease && n < 1000000) {
    out = env.tick();
    ++n;
    if (rawSilentAt < 0 && env.getValue() == 0.0f) rawSilentAt = n;
    if (env.getState() == ADSR::kRelease) {
      ASSERT_GT(out, 0.001f);
    }
  }
  ASSERT_GT(rawSilentAt, 0);
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  EXPECT_LE(out, 0.001f);
  EXPECT_GT(n, rawSilentAt + 10);  // the 20 Hz smoother lags the raw value
}

TEST(ADSRModes, PercussionDefersKeyOffUntilSustain) {
  ADSR env;
  env.setPercussionMode();
  env.setVelocity(1.0f);
  env.setAttackTime(0.03f);  // 9 ms
  env.setDecayTime(0.03f);
  env.setSustainLevel(0.5f);
  env.keyOn(127, 60);
  for (int i = 0; i < 10; ++i) env.tick();
  env.keyOff();
  EXPECT_EQ(env.getState(), ADSR::kAttack);
  ticksWhile(env, ADSR::kAttack);
  EXPECT_EQ(env.getState(), ADSR::kDecay);
  ticksWhile(env, ADSR::kDecay);
  EXPECT_EQ(env.getState(), ADSR::kRelease);
  EXPECT_FLOAT_EQ(env.getValue(), 0.5f);

  ADSR held;  // key-off in sustain releases at once
  held.setPercussionMode();
  held.setAttackTime(0.0f);
  held.keyOn(127, 60);
  held.tick();
  held.tick();
  ASSERT_EQ(held.getState(), ADSR::kSustain);
  held.keyOff();
  EXPECT_EQ(held.getState(), ADSR::kRelease);
}

TEST(ADSRModes, LoopedWithZeroSustainCyclesUntilReset) {
  ADSR env;
  env.setLoopedEnv(true);
  env.setSustainLevel(0.0f);
  env.setAttackTime(0.01f);  // 1 ms
  env.setDecayTime(0.01f);
  env.keyOn(127, 60);
  env.keyOff();  // without percussion: release from attack at value 0 -> idle
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  env.keyOn(127, 60);
  int attacks = 0;
  int prevState = env.getState();
  for (int i = 0; i < 44100; ++i) {
    env.tick();
    if (env.getState() == ADSR::kAttack && prevState == ADSR::kDecay) ++attacks;
    ASSERT_NE(env.getState(), ADSR::kSustain);
    prevState = env.getState();
  }
  EXPECT_NEAR(attacks, 44100 / 90, 3);  // 45 attack + 45 decay ticks per cycle
  env.Reset();
  EXPECT_EQ(env.getState(), ADSR::kIdle);
  EXPECT_EQ(env.tick(), 0.0f);

  ADSR plain;  // not looped: a tiny sustain becomes 0 and stays there
  plain.setSustainLevel(0.0005f);
  plain.setAttackTime(0.0f);
  plain.keyOn(127, 60);
  EXPECT_EQ(plain.getSustainTarget(), 0.0f);
}

TEST(ADSRKeyTracking, VolumeAndSpeedFollowTheNoteBetweenTheTrackNotes) {
  ADSR env;
  env.setVelocity(0.0f);
  env.keyOn(127, 60);
  const float g = env.getVelocityGain();
  env.setVolumeKeyTracking(0.5f);  // x = 0.5 / 127 * 60
  const float x = 0.5f / 127.0f * 60.0f;
  EXPECT_NEAR(env.getPeak(), g * (1 - x) * (1 - x), 1e-6f);
  env.setVolumeKeyTracking(-0.5f);  // distance from the top: 67
  const float xn = 0.5f / 127.0f * 67.0f;
  EXPECT_NEAR(env.getPeak(), g * (1 - xn) * (1 - xn), 1e-6f);
  env.setVolumeKeyTracking(3.0f);  // clamped to 1
  env.keyOn(127, 127);
  EXPECT_NEAR(env.getPeak(), 0.0f, 1e-6f);
  env.setVolumeKeyTracking(0.0f);

  env.setAttackTime(0.1f);
  env.setSpeedKeyTracking(1.0f);
  env.keyOn(127, 60);
  const float xs = 1.0f / 127.0f * 60.0f;
  EXPECT_NEAR(env.getEffectiveAttackTime(), 0.1f * (1 - xs) * (1 - xs), 1e-6f);

  // Equal track notes mean no tracking (and no division by zero).
  env.setLowTrack(200);  // clamped to 127
  env.setHighTrack(127);
  env.setVolumeKeyTracking(1.0f);
  env.keyOn(100, 40);
  EXPECT_FLOAT_EQ(env.getPeak(), env.getVelocityGain());
  EXPECT_FLOAT_EQ(env.getEffectiveAttackTime(), 0.1f);
  EXPECT_TRUE(std::isfinite(env.getAttackIncrement()));
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
