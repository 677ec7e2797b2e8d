// Voice start through the built module: pitch, tuning, the play and drone
// modes, the sympathetic strings.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

// Distinct pitches per voice so each can be picked out of the mix.
TestSoundSet distinctVoices() {
  TestSoundSet set;
  set.main = TestTone::cosine(100, 60);   // 441 Hz at 60
  set.symp = TestTone::cosine(210, 36);   // 210 Hz at 36
  set.drone = TestTone::cosine(300, 36);  // 147 Hz at 36
  return set;
}

class EngineVoice : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", distinctVoices());
    TestSoundSet sympOnly;
    sympOnly.main = TestTone::silence();
    sympOnly.drone = TestTone::silence();
    sympOnly.symp = TestTone::cosine(200, 36);
    writeSoundSet(2, "SympOnly", sympOnly);
  }

  // Period of a single note played from silence on a fresh instance.
  double periodOf(int note, const std::function<void(host::HostedPlugin&)>& setup = {}) {
    auto plugin = loadPlugin();
    if (!plugin) return 0.0;
    dryMainOnly(*plugin);
    if (setup) setup(*plugin);
    MidiEventList schedule;
    schedule.noteOn(0, 0, note, 100);
    RenderedAudio out = render(*plugin, 13230, schedule);
    return measure::period(out.left, 2000, out.frames());
  }

  // True when the main voice was struck anew near position at: the
  // restarting wave fades out and in, leaving a gap; a legato change has none.
  static bool struckAt(const RenderedAudio& out, size_t at) {
    float steady = measure::peak(out.left, at - 1500, at);
    return measure::lowestWindowPeak(out.left, at, at + 900, 120) < 0.3f * steady;
  }
};

TEST_F(EngineVoice, RootKeyPlaysTheRecordedPeriodAndOctavesScaleIt) {
  EXPECT_NEAR(periodOf(60), 100.0, 0.01);
  EXPECT_NEAR(periodOf(72), 50.0, 0.01);
  EXPECT_NEAR(periodOf(48), 200.0, 0.02);
  EXPECT_NEAR(periodOf(67), 100.0 / std::pow(2.0, 7.0 / 12.0), 0.01);
}

TEST_F(EngineVoice, PitchTuneAndFineTuneShiftByTheirStatedAmounts) {
  // Pitch Tune: whole semitones trunc(24 v - 12).
  EXPECT_NEAR(periodOf(60, [](auto& p) { p.setParameter(kPitchTune, 0.75f); }),
              100.0 / std::pow(2.0, 6.0 / 12.0), 0.01);
  EXPECT_NEAR(periodOf(60, [](auto& p) { p.setParameter(kPitchTune, 0.0f); }), 200.0, 0.02);
  // Fine Tune: a factor 1 + (2 v - 1) / 16.351599 (the frequency of note 12).
  EXPECT_NEAR(periodOf(60, [](auto& p) { p.setParameter(kFineTune, 1.0f); }),
              100.0 / (1.0 + 1.0 / 16.351599), 0.01);
  EXPECT_NEAR(periodOf(60, [](auto& p) { p.setParameter(kFineTune, 0.25f); }),
              100.0 / (1.0 - 0.5 / 16.351599), 0.01);
  // The two combine.
  EXPECT_NEAR(periodOf(60,
                       [](auto& p) {
                         p.setParameter(kPitchTune, 0.75f);
                         p.setParameter(kFineTune, 1.0f);
                       }),
              100.0 / std::pow(2.0, 0.5) / (1.0 + 1.0 / 16.351599), 0.01);
}

TEST_F(EngineVoice, PitchTuneChangeRetunesASoundingNote) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  RenderedAudio out = render(*plugin, 8820, schedule);
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 100.0, 0.01);
  plugin->setParameter(kPitchTune, 1.0f);  // +12
  out = render(*plugin, 8820);
  EXPECT_NEAR(measure::period(out.left, 100, 8820), 50.0, 0.01);
}

TEST_F(EngineVoice, MonoTypeZeroIsLegatoBothWays) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kMonoType, 0.0f);
  MidiEventList s;
  s.noteOn(0, 0, 60, 100);
  s.noteOn(8000, 0, 64, 100);
  s.noteOff(16000, 0, 64);
  s.noteOff(24000, 0, 60);
  RenderedAudio out = render(*plugin, 40000, s);
  EXPECT_NEAR(measure::period(out.left, 2000, 7990), 100.0, 0.01);
  EXPECT_FALSE(struckAt(out, 8000));
  EXPECT_NEAR(measure::period(out.left, 8010, 15990), 100.0 / std::pow(2.0, 4.0 / 12.0), 0.01);
  EXPECT_FALSE(struckAt(out, 16000));
  EXPECT_NEAR(measure::period(out.left, 16010, 23990), 100.0, 0.01);
  // Releasing the last key releases the voice, on its pitch.
  EXPECT_LT(measure::peak(out.left, 35000, 40000), 0.01f * measure::peak(out.left, 20000, 24000));
}

TEST_F(EngineVoice, MonoTypeOneAlternatesAttackAndLegato) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kMonoType, 1.0f / 3.0f);
  MidiEventList s;
  const int keys[] = {60, 62, 64, 65, 67};
  for (int k = 0; k < 5; ++k) s.noteOn(8000 * k, 0, keys[k], 100);
  RenderedAudio out = render(*plugin, 44000, s);
  EXPECT_FALSE(struckAt(out, 8000));
  EXPECT_TRUE(struckAt(out, 16000));
  EXPECT_FALSE(struckAt(out, 24000));
  EXPECT_TRUE(struckAt(out, 32000));
  EXPECT_NEAR(measure::period(out.left, 33000, 44000), 100.0 / std::pow(2.0, 7.0 / 12.0), 0.01);
}

TEST_F(EngineVoice, MonoTypeTwoStrikesEveryNote) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kMonoType, 2.0f / 3.0f);
  MidiEventList s;
  s.noteOn(0, 0, 60, 100);
  s.noteOn(8000, 0, 62, 100);
  s.noteOn(16000, 0, 64, 100);
  s.noteOff(24000, 0, 64);  // back to 62, restarted
  s.noteOff(32000, 0, 60);  // 62 still sounds, nothing restarts
  RenderedAudio out = render(*plugin, 40000, s);
  EXPECT_TRUE(struckAt(out, 8000));
  EXPECT_TRUE(struckAt(out, 16000));
  EXPECT_TRUE(struckAt(out, 24000));
  EXPECT_FALSE(struckAt(out, 32000));
  EXPECT_NEAR(measure::period(out.left, 25000, 40000), 100.0 / std::pow(2.0, 2.0 / 12.0), 0.01);
}

TEST_F(EngineVoice, SympatheticStringSoundsThePitchClassBetween36And47) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kSoundSetRow, 1.0f);  // "SympOnly": only the strings sound
  plugin->setParameter(kSympathetic, 1.0f);
  EXPECT_EQ(plugin->getParameter(kSoundSet), 1.0f);
  for (int note : {1, 36, 47, 48, 59, 64, 71, 100, 127}) {
    MidiEventList s;
    s.noteOn(0, 0, note, 100);
    s.noteOff(17640, 0, note);
    RenderedAudio out = render(*plugin, 44100, s);
    const double expected = 200.0 / std::pow(2.0, (note % 12) / 12.0);
    EXPECT_NEAR(measure::period(out.left, 6000, 17640), expected, 0.02) << note;
    EXPECT_GT(measure::rms(out.left, 6000, 17640), 0.02) << note;
    EXPECT_TRUE(measure::allZero(out.left, 40000, 44100)) << note;
  }
}

TEST_F(EngineVoice, DroneTypeZeroStrikesNote36WithEveryNoteUntilAllKeysAreUp) {
  const TestSoundSet set = distinctVoices();
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kDrone, 1.0f);
  MidiEventList s;
  s.noteOn(0, 0, 64, 100);
  s.noteOn(11025, 0, 67, 100);
  s.noteOff(22050, 0, 67);
  s.noteOff(33075, 0, 64);
  RenderedAudio out = render(*plugin, 55125, s);
  const double drone = set.drone.frequencyAt(36);
  const double atStart = measure::toneAmplitude(out.left, 2000, 11000, drone);
  EXPECT_GT(atStart, 0.05);
  EXPECT_GT(measure::toneAmplitude(out.left, 2000, 11000, set.main.frequencyAt(64)), 0.05);
  // One of two keys up: the drone holds.
  EXPECT_GT(measure::toneAmplitude(out.left, 24000, 33000, drone), 0.7 * atStart);
  // All keys up: it releases.
  EXPECT_LT(measure::toneAmplitude(out.left, 44100, 55125, drone), 0.01 * atStart);
}

TEST_F(EngineVoice, DroneTypeOneFollowsTheHostTransport) {
  const TestSoundSet set = distinctVoices();
  const double drone = set.drone.frequencyAt(36);
  for (bool timeInfoLost : {false, true}) {
    auto plugin = loadPlugin();
    ASSERT_TRUE(plugin);
    dryMainOnly(*plugin);
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kDroneType, 1.0f / 3.0f);
    plugin->timeline().setPlaying(true);
    MidiEventList s;
    s.noteOn(0, 0, 64, 100);
    s.noteOff(11025, 0, 64);
    RenderedAudio out = render(*plugin, 44100, s);
    const double playing = measure::toneAmplitude(out.left, 2000, 11000, drone);
    EXPECT_GT(playing, 0.05);
    // The key is up but the transport runs: the drone goes on.
    EXPECT_GT(measure::toneAmplitude(out.left, 30000, 44100, drone), 0.7 * playing);
    EXPECT_LT(measure::toneAmplitude(out.left, 30000, 44100, set.main.frequencyAt(64)), 0.01);
    // Stopped transport, or a host that gives no time information: released.
    if (timeInfoLost)
      plugin->setTimeInfoAvailable(false);
    else
      plugin->timeline().setPlaying(false);
    out = render(*plugin, 44100);
    EXPECT_LT(measure::toneAmplitude(out.left, 22050, 44100, drone), 0.01 * playing)
        << timeInfoLost;
    EXPECT_TRUE(measure::allFinite(out.left));
  }
}

TEST_F(EngineVoice, DroneTypeTwoSplitsTheKeyboard) {
  const TestSoundSet set = distinctVoices();
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kDrone, 1.0f);
  plugin->setParameter(kSympathetic, 1.0f);
  plugin->setParameter(kDroneType, 2.0f / 3.0f);
  plugin->setParameter(kDroneSplitNote, 36.0f);  // split at 60
  // Key 59: the drone alone, one octave down on 47.
  MidiEventList low;
  low.noteOn(0, 0, 59, 100);
  low.noteOff(11025, 0, 59);
  RenderedAudio out = render(*plugin, 44100, low);
  EXPECT_GT(measure::toneAmplitude(out.left, 3000, 11000, set.drone.frequencyAt(47)), 0.05);
  EXPECT_LT(measure::toneAmplitude(out.left, 3000, 11000, set.main.frequencyAt(59)), 0.005);
  EXPECT_LT(measure::toneAmplitude(out.left, 3000, 11000, set.symp.frequencyAt(47)), 0.005);
  EXPECT_LT(measure::toneAmplitude(out.left, 3000, 11000, set.drone.frequencyAt(36)), 0.005);
  EXPECT_TRUE(measure::allZero(out.left, 33075, 44100));  // released by its key
  // Key 60: main voice and a sympathetic string on 36, no drone.
  MidiEventList high;
  high.noteOn(0, 0, 60, 100);
  out = render(*plugin, 22050, high);
  EXPECT_GT(measure::toneAmplitude(out.left, 8000, 22050, set.main.frequencyAt(60)), 0.05);
  EXPECT_GT(measure::toneAmplitude(out.left, 8000, 22050, set.symp.frequencyAt(36)), 0.02);
  EXPECT_LT(measure::toneAmplitude(out.left, 8000, 22050, set.drone.frequencyAt(36)), 0.005);
  EXPECT_LT(measure::toneAmplitude(out.left, 8000, 22050, set.drone.frequencyAt(48)), 0.005);
}

}  // namespace
