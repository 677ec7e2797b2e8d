#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

TEST(ADSRKeyOn, VelocityShapesThePeak) {
  // Sensitivity 0.999, and a floor.
  ADSR env;
  env.setVelocity(1.0f);
  env.keyOn(0, 60);
  EXPECT_FLOAT_EQ(env.getVelocityGain(), 0.001f);
  env.keyOn(64, 60);
  const float v = 64.0f / 127.0f;
  EXPECT_FLOAT_EQ(env.getVelocityGain(), v * v * 0.999f + 0.001f);
  env.setVelocity(0.0f);  // sensitivity 0.001: nearly flat
  env.keyOn(1, 60);
  EXPECT_NEAR(env.getPeak(), 0.999f, 0.0001f);
}

// Stage lengths in samples follow from the times: a linear stage covering
// `span` of a peak that takes `seconds` for the whole peak lasts
// ceil(span * seconds * rate) ticks (one more or less from float steps).
int stageTicks(double span, double seconds, double rate) {
  return static_cast<int>(std::ceil(span * seconds * rate));
}
// Release ticks from `from` down to the silence level 0.001: the distance to
// -0.0001 shrinks 11-fold per release time.
int releaseTicks(double from, double seconds, double rate) {
  return static_cast<int>(std::ceil(std::log((from + 0.0001) / 0.0011) / std::log(11.0) * seconds * rate));
}

// A full-velocity envelope (peak 1) with attack 10 a^2 s, decay 10 d^2 s per
// peak, release 14 r^2 s.
void configure(ADSR& env, float a, float d, float sustain, float r) {
  env.setVelocity(1.0f);
  env.setAttackTime(a);
  env.setDecayTime(d);
  env.setSustainLevel(sustain);
  env.setReleaseTime(r);
}

// Percussion defers a key-off until the decay has ended.
TEST(ADSRStages, StagesLastWhatTheirTimesSayAndPercussionDefersTheKeyOff) {
  for (double rate : {44100.0, 48000.0, 96000.0})
  for (bool percussion : {false, true}) {
    SCOPED_TRACE(testing::Message() << (percussion ? "percussion at " : "plain at ") << rate);
    ADSR env;
    env.setSampleRate(static_cast<float>(rate));
    configure(env, 0.1f, 0.1f, 0.5f, 0.1f);  // 0.1 s, 0.1 s, 0.14 s
    if (percussion) env.setPercussionMode();
    env.keyOn(127, 60);
    for (int i = 0; i < 100; ++i) env.tick();
    if (percussion) env.keyOff();
    EXPECT_EQ(env.getState(), ADSR::kAttack) << "the attack goes on";
    EXPECT_NEAR(100 + ticksWhile(env, ADSR::kAttack), stageTicks(1.0, 0.1, rate), 1);
    EXPECT_NEAR(ticksWhile(env, ADSR::kDecay), stageTicks(0.5, 0.1, rate), 1);
    if (!percussion) {
      EXPECT_EQ(env.getState(), ADSR::kSustain);
      EXPECT_NEAR(env.tick(), 0.5f, 1e-6f);
      env.keyOff();
    }
    EXPECT_EQ(env.getState(), ADSR::kRelease) << "straight from the decay into the release";
    EXPECT_NEAR(env.getValue(), 0.5f, 1e-6f);
    EXPECT_NEAR(ticksWhile(env, ADSR::kRelease), releaseTicks(0.5, 0.14, rate), 2);
    EXPECT_EQ(env.getState(), ADSR::kIdle);

    // In sustain a key-off releases at once; a key-off before the key-on is
    // forgotten by it.
    env.keyOn(127, 60);
    ticksWhile(env, ADSR::kAttack);
    ticksWhile(env, ADSR::kDecay);
    ASSERT_EQ(env.getState(), ADSR::kSustain);
    env.keyOff();
    EXPECT_EQ(env.getState(), ADSR::kRelease);
    ticksWhile(env, ADSR::kRelease);
    env.keyOff();
    EXPECT_EQ(env.getState(), ADSR::kIdle);
    env.keyOn(127, 60);
    ticksWhile(env, ADSR::kAttack);
    ticksWhile(env, ADSR::kDecay);
    EXPECT_EQ(env.getState(), ADSR::kSustain);
  }
}

TEST(ADSRKeyTracking, VolumeTrackingShapesThePeakAndSpeedTrackingTheStages) {
  // Track notes 36..96 (range 60); x = |k| / 60 * distance, factor (1 - x)^2.
  struct Case {
    float k;
    int note;
    double factor;
  } cases[] = {
      {0.5f, 66, 0.75 * 0.75},          // distance 30
      {-0.5f, 66, 0.75 * 0.75},         // 60 - 30
      {1.0f, 126, 0.25},                // 90 beyond the range: not clamped, x = 1.5
      {3.0f, 36, 1.0},                  // clamped to 1; the low note itself
      {-3.0f, 36, 0.0},                 // clamped to -1: distance 60, x = 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.k) + " note " + std::to_string(c.note));
    ADSR volume, speed;
    for (ADSR* e : {&volume, &speed}) e->setLowTrack(36), e->setHighTrack(96);
    configure(volume, 0.0f, 0.0f, 1.0f, 0.1f);
    volume.setVolumeKeyTracking(c.k);
    volume.keyOn(127, c.note);
    EXPECT_NEAR(volume.tick(), c.factor, 1e-5) << "the peak";
    volume.tick();
    EXPECT_EQ(volume.getState(), ADSR::kSustain);
    EXPECT_NEAR(volume.tick(), c.factor, 1e-5);

    if (c.factor == 0.0) continue;  // a zero time: nothing to measure
    configure(speed, 0.1f, 0.1f, 0.5f, 0.1f);
    speed.setSpeedKeyTracking(c.k);
    speed.keyOn(127, c.note);
    EXPECT_NEAR(ticksWhile(speed, ADSR::kAttack), stageTicks(1.0, 0.1 * c.factor, 44100.0), 1);
    EXPECT_NEAR(ticksWhile(speed, ADSR::kDecay), stageTicks(0.5, 0.1 * c.factor, 44100.0), 1);
    speed.keyOff();
    EXPECT_NEAR(ticksWhile(speed, ADSR::kRelease), releaseTicks(0.5, 0.14 * c.factor, 44100.0), 2);
  }
}
