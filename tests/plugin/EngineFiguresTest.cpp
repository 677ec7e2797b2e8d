// The engine's documented figures measured on its output at each host rate:
// play modes, sympathetic strings, split drone, pitch bend, event timing, glide.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

// Velocity gain at the default Velocity 0.5.
double velocityGain(int velocity) {
  const double s = 0.5 * 0.998 + 0.001;
  const double v = velocity / 127.0;
  return v * v * s + (1.0 - s);
}

class EngineFigures : public SoundSetFixture, public ::testing::WithParamInterface<double> {
 protected:
  static constexpr TestTone kMainTone{100, 60}, kSympTone{200, 36}, kDroneTone{300, 36};

  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Sines", {kMainTone, kSympTone, kDroneTone});
    writeSoundSet(2, "NoMain", {kSilence, kSympTone, kDroneTone});
  }
  double rate() const { return GetParam(); }
  size_t at(double seconds) const { return static_cast<size_t>(std::lround(seconds * rate())); }
  int frame(double seconds) const { return static_cast<int>(at(seconds)); }
  double period(const TestTone& tone, int note) const { return rate() / tone.frequencyAt(note); }
};

// Four overlapping keys of different velocities. A new attack takes the
// key's velocity gain; a legato note keeps the level and only moves the pitch.
TEST_P(EngineFigures, PlayModesStrikeOrSlurTheMainVoice) {
  const int keys[4] = {60, 64, 67, 72}, velocities[4] = {127, 60, 100, 30};
  const struct {
    float mode;
    int level[4];
  } modes[] = {{0.0f, {0, 0, 0, 0}}, {1.0f / 3.0f, {0, 0, 2, 2}}, {2.0f / 3.0f, {0, 1, 2, 3}}};
  for (const auto& m : modes) {
    SCOPED_TRACE(testing::Message() << "mode " << m.mode * 3.0f);
    auto plugin = loadDry(rate());
    ASSERT_TRUE(plugin);
    plugin->setParameter(kMonoType, m.mode);
    MidiEventList schedule;
    for (int k = 0; k < 4; ++k) schedule.noteOn(frame(0.2 * k) + 1, 0, keys[k], velocities[k]);
    RenderedAudio out = render(*plugin, frame(0.8), schedule);
    for (int k = 0; k < 4; ++k) {
      const size_t from = at(0.2 * k + 0.1), to = at(0.2 * k + 0.2);
      EXPECT_NEAR(measure::period(out.left, from, to), period(kMainTone, keys[k]), 0.02) << k;
      EXPECT_NEAR(measure::peak(out.left, from, to), 0.5 * velocityGain(velocities[m.level[k]]),
                  0.005)
          << k;
    }
  }
}

// Every melody key strikes a sympathetic string on its pitch class from
// note 36 up; in play mode 0 the strings sound only as loud as the main
// voice rings (here silent) plus 0.04.
TEST_P(EngineFigures, SympatheticStringsSoundThePitchClassLowAndFollowTheMainVoiceInMode0) {
  for (int key : {64, 83}) {
    for (float mode : {0.0f, 2.0f / 3.0f}) {
      SCOPED_TRACE(testing::Message() << "key " << key << ", mode " << mode * 3.0f);
      auto plugin = loadDry(rate());
      ASSERT_TRUE(plugin);
      plugin->setParameter(kSoundSetRow, 1.0f);  // no main wave
      plugin->setParameter(kSympathetic, 1.0f);
      plugin->setParameter(kMonoType, mode);
      RenderedAudio out = render(*plugin, frame(0.4), notes({{0, key}}));
      const size_t from = at(0.15), to = at(0.4);
      EXPECT_NEAR(measure::period(out.left, from, to), period(kSympTone, key % 12 + 36), 0.05);
      // 0.5 * Sympathetic * wave, times (0 + 0.04) following the silent main voice.
      const double level = 0.5 * 0.5 * velocityGain(100) * (mode == 0.0f ? 0.04 : 1.0);
      EXPECT_NEAR(measure::peak(out.left, from, to), level, 0.01 * level);
    }
  }
}

// Drone mode 2 with split entry 36 (note 60): keys below play only the
// drone an octave down, keys from the split up only the melody voices.
TEST_P(EngineFigures, SplitDronePlaysTheLowKeysAnOctaveDown) {
  for (int key : {40, 59, 60, 72}) {
    SCOPED_TRACE(testing::Message() << "key " << key);
    auto plugin = loadDry(rate());
    ASSERT_TRUE(plugin);
    plugin->setParameter(kDroneType, 2.0f / 3.0f);
    plugin->setParameter(kDroneSplitNote, 36.0f);
    plugin->setParameter(kDrone, 1.0f);
    RenderedAudio out = render(*plugin, frame(0.6), notes({{0, key}, {frame(0.2), -key}}));
    const size_t from = at(0.05), to = at(0.2);
    if (key < 60) {
      EXPECT_NEAR(measure::period(out.left, from, to), period(kDroneTone, key - 12), 0.05);
      EXPECT_NEAR(measure::peak(out.left, from, to), 0.5 * 0.5 * velocityGain(100), 0.005);
      // Its key released, the drone releases too.
      EXPECT_TRUE(measure::allZero(out.left, at(0.5), out.frames()));
    } else {
      EXPECT_NEAR(measure::period(out.left, from, to), period(kMainTone, key), 0.02);
      EXPECT_NEAR(measure::peak(out.left, from, to), 0.5 * velocityGain(100), 0.005);
    }
  }
}

// PitchBend v gives trunc(12 v) + 1 semitones at full bend, either way; the
// bend acts on a sounding note.
TEST_P(EngineFigures, FullPitchBendSpansTheStatedSemitones) {
  const struct {
    float amount;
    int semitones;
  } ranges[] = {{0.0f, 1}, {0.25f, 4}, {0.5f, 7}, {1.0f, 13}};
  for (const auto& r : ranges) {
    for (int value : {0, 16383}) {
      SCOPED_TRACE(testing::Message() << "PitchBend " << r.amount << ", wheel " << value);
      auto plugin = loadDry(rate());
      ASSERT_TRUE(plugin);
      plugin->setParameter(28, r.amount);
      MidiEventList schedule = notes({{0, 60}});
      schedule.pitchBend(frame(0.1), 0, value);
      RenderedAudio out = render(*plugin, frame(0.3), schedule);
      EXPECT_NEAR(measure::period(out.left, at(0.02), at(0.1) - 2), period(kMainTone, 60), 0.02);
      const int bent = value == 0 ? 60 - r.semitones : 60 + r.semitones;
      EXPECT_NEAR(measure::period(out.left, at(0.12), out.frames()), period(kMainTone, bent),
                  0.002 * period(kMainTone, bent));
    }
  }
}

// An event with delta frames d >= 1 acts before output sample d - 1 of its
// block; d = 0 and d = 1 both before the first. The note's first sample is
// not silent (its attack is complete in one sample).
TEST_P(EngineFigures, NoteStartsAtItsEventsSample) {
  for (int delta : {0, 1, 5, 255, 256 + 44, 3 * 256 + 1}) {
    SCOPED_TRACE(testing::Message() << "frame " << delta);
    auto plugin = loadDry(rate());
    ASSERT_TRUE(plugin);
    RenderedAudio out = render(*plugin, 4 * 256, notes({{delta, 60}}), 256);
    const size_t onset = static_cast<size_t>(delta % 256 == 0 ? delta : delta - 1);
    EXPECT_TRUE(measure::allZero(out.left, 0, onset));
    EXPECT_GT(std::fabs(out.left[onset]), 0.1f);
  }
}

// Glide v: a legato note moves the frequency in a straight line (in Hz) to
// the new note's in v^2 seconds, then stays there.
TEST_P(EngineFigures, GlideReachesTheNewPitchInTheStatedTime) {
  for (float v : {0.3f, 0.6f}) {
    SCOPED_TRACE(testing::Message() << "Glide " << v);
    const double t = v * v;
    auto plugin = loadDry(rate());
    ASSERT_TRUE(plugin);
    plugin->setParameter(kMonoType, 0.0f);  // legato
    plugin->setParameter(kGlide, v);
    const double start = 0.2;
    RenderedAudio out = render(*plugin, frame(start + t + 0.2), notes({{0, 60}, {frame(start) + 1, 72}}));
    const double f60 = kMainTone.frequencyAt(60), f72 = kMainTone.frequencyAt(72);
    EXPECT_NEAR(measure::period(out.left, at(0.05), at(start) - 2), rate() / f60, 0.02);
    for (double part : {0.25, 0.5, 0.75}) {
      const double expected = rate() / (f60 + (f72 - f60) * part);
      const double half = 0.01;  // a window of 20 ms around the point
      EXPECT_NEAR(measure::period(out.left, at(start + part * t - half), at(start + part * t + half)),
                  expected, 0.01 * expected)
          << part;
    }
    EXPECT_NEAR(measure::period(out.left, at(start + t + 0.01), out.frames()), rate() / f72, 0.02);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineFigures, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param));
                         });

}  // namespace
