// Voice start through the built module: pitch, tuning, the play and drone
// modes, the sympathetic strings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

// Distinct pitches per voice so each can be picked out of the mix: 441 Hz
// at 60, 210 Hz at 36, 147 Hz at 36.
const TestSoundSet kVoices{TestTone::cosine(100, 60), TestTone::cosine(210, 36),
                           TestTone::cosine(300, 36)};

double semitones(double n) { return std::pow(2.0, n / 12.0); }

class EngineVoice : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", kVoices);
    writeSoundSet(2, "SympOnly",
                  {TestTone::silence(), TestTone::cosine(200, 36), TestTone::silence()});
  }

  // True when the main voice was struck anew near position at: the
  // restarting wave fades out and in, leaving a gap; a legato change has none.
  static bool struckAt(const RenderedAudio& out, size_t at) {
    float steady = measure::peak(out.left, at - 1500, at);
    return measure::lowestWindowPeak(out.left, at, at + 900, 120) < 0.3f * steady;
  }
  double amplitude(const RenderedAudio& out, size_t from, size_t to, double hz) {
    return measure::toneAmplitude(out.left, from, to, hz);
  }
};

TEST_F(EngineVoice, PitchFollowsTheKeyAndBothTuneKnobs) {
  // Pitch Tune: whole semitones trunc(24 v - 12). Fine Tune: a factor
  // 1 + (2 v - 1) / 16.351599 (the frequency of note 12). The two combine.
  const double c0 = 16.351599;
  const struct {
    int note;
    float pitchTune, fineTune;
    double period, tolerance;
  } cases[] = {
      {60, 0.5f, 0.5f, 100.0, 0.01},
      {72, 0.5f, 0.5f, 50.0, 0.01},
      {48, 0.5f, 0.5f, 200.0, 0.02},
      {67, 0.5f, 0.5f, 100.0 / semitones(7), 0.01},
      {60, 0.75f, 0.5f, 100.0 / semitones(6), 0.01},
      {60, 0.0f, 0.5f, 200.0, 0.02},
      {60, 0.5f, 1.0f, 100.0 / (1.0 + 1.0 / c0), 0.01},
      {60, 0.5f, 0.25f, 100.0 / (1.0 - 0.5 / c0), 0.01},
      {60, 0.75f, 1.0f, 100.0 / semitones(6) / (1.0 + 1.0 / c0), 0.01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "note " << c.note << ", pitch tune " << c.pitchTune
                                    << ", fine tune " << c.fineTune);
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kPitchTune, c.pitchTune);
    plugin->setParameter(kFineTune, c.fineTune);
    MidiEventList schedule;
    schedule.noteOn(0, 0, c.note, 100);
    RenderedAudio out = render(*plugin, 13230, schedule);
    EXPECT_NEAR(measure::period(out.left, 2000, out.frames()), c.period, c.tolerance);
    EXPECT_EQ(out.left, out.right);  // mono voices, no effects
  }
}

TEST_F(EngineVoice, PitchTuneChangeRetunesASoundingNote) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  RenderedAudio out = render(*plugin, 8820, schedule);
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 100.0, 0.01);
  plugin->setParameter(kPitchTune, 1.0f);  // +12
  out = render(*plugin, 8820);
  EXPECT_NEAR(measure::period(out.left, 100, 8820), 50.0, 0.01);
}

// Mode 0 is legato both ways, 1 alternates attack and legato, 2 strikes every
// note (and the held key a release falls back to). A key goes down or up
// every 8000 frames; each step says whether the main voice is struck anew
// there and which key sounds after it (0: released, silent soon after).
TEST_F(EngineVoice, PlayModesStrikeOrBindTheNotes) {
  struct Step {
    int key;  // negative: that key goes up
    bool struck;
    int sounding;
  };
  const struct {
    float mode;
    std::vector<Step> steps;
  } cases[] = {
      {0.0f, {{60, true, 60}, {64, false, 64}, {-64, false, 60}, {-60, false, 0}}},
      {1.0f / 3.0f,
       {{60, true, 60}, {62, false, 62}, {64, true, 64}, {65, false, 65}, {67, true, 67}}},
      {2.0f / 3.0f,
       {{60, true, 60}, {62, true, 62}, {64, true, 64}, {-64, true, 62}, {-60, false, 62}}},
  };
  for (const auto& c : cases) {
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kMonoType, c.mode);
    MidiEventList s;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const int key = c.steps[i].key, at = 8000 * static_cast<int>(i);
      if (key > 0) s.noteOn(at, 0, key, 100);
      else s.noteOff(at, 0, -key);
    }
    RenderedAudio out = render(*plugin, 8000 * static_cast<int>(c.steps.size() + 1), s);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", step " << i);
      const Step& step = c.steps[i];
      const size_t at = 8000 * i;
      if (step.sounding == 0) {
        EXPECT_LT(measure::peak(out.left, at + 11000, at + 16000),
                  0.01f * measure::peak(out.left, at - 4000, at));
        continue;
      }
      if (i > 0) {
        EXPECT_EQ(struckAt(out, at), step.struck);
      }
      EXPECT_NEAR(measure::period(out.left, at + 1500, at + 7990),
                  100.0 / semitones(step.sounding - 60), 0.01);
    }
  }
}

TEST_F(EngineVoice, SympatheticStringSoundsThePitchClassBetween36And47) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kSoundSetRow, 1.0f);  // "SympOnly": only the strings sound
  plugin->setParameter(kSympathetic, 1.0f);
  EXPECT_EQ(plugin->getParameter(kSoundSet), 1.0f);
  for (int note : {1, 36, 47, 48, 59, 64, 71, 100, 127}) {
    SCOPED_TRACE(note);
    MidiEventList s;
    s.noteOn(0, 0, note, 100);
    s.noteOff(17640, 0, note);
    RenderedAudio out = render(*plugin, 44100, s);
    EXPECT_NEAR(measure::period(out.left, 6000, 17640), 200.0 / semitones(note % 12), 0.02);
    EXPECT_GT(measure::rms(out.left, 6000, 17640), 0.02);
    EXPECT_TRUE(measure::allZero(out.left, 40000, 44100));
  }
}

TEST_F(EngineVoice, DroneTypeZeroStrikesNote36WithEveryNoteUntilAllKeysAreUp) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kDrone, 1.0f);
  MidiEventList s;
  s.noteOn(0, 0, 64, 100);
  s.noteOn(11025, 0, 67, 100);
  s.noteOff(22050, 0, 67);
  s.noteOff(33075, 0, 64);
  RenderedAudio out = render(*plugin, 55125, s);
  const double drone = kVoices.drone.frequencyAt(36);
  const double atStart = amplitude(out, 2000, 11000, drone);
  EXPECT_GT(atStart, 0.05);
  EXPECT_GT(amplitude(out, 2000, 11000, kVoices.main.frequencyAt(64)), 0.05);
  // One of two keys up: the drone holds. All keys up: it releases.
  EXPECT_GT(amplitude(out, 24000, 33000, drone), 0.7 * atStart);
  EXPECT_LT(amplitude(out, 44100, 55125, drone), 0.01 * atStart);
}

TEST_F(EngineVoice, DroneTypeOneFollowsTheHostTransport) {
  const double drone = kVoices.drone.frequencyAt(36);
  for (bool timeInfoLost : {false, true}) {
    SCOPED_TRACE(timeInfoLost ? "time information lost" : "transport stopped");
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kDroneType, 1.0f / 3.0f);
    plugin->timeline().setPlaying(true);
    MidiEventList s;
    s.noteOn(0, 0, 64, 100);
    s.noteOff(11025, 0, 64);
    RenderedAudio out = render(*plugin, 44100, s);
    const double playing = amplitude(out, 2000, 11000, drone);
    EXPECT_GT(playing, 0.05);
    // The key is up but the transport runs: the drone goes on.
    EXPECT_GT(amplitude(out, 30000, 44100, drone), 0.7 * playing);
    EXPECT_LT(amplitude(out, 30000, 44100, kVoices.main.frequencyAt(64)), 0.01);
    // Stopped transport, or a host that gives no time information: released.
    if (timeInfoLost)
      plugin->setTimeInfoAvailable(false);
    else
      plugin->timeline().setPlaying(false);
    out = render(*plugin, 44100);
    EXPECT_LT(amplitude(out, 22050, 44100, drone), 0.01 * playing);
    EXPECT_TRUE(measure::allFinite(out.left));
  }
}

TEST_F(EngineVoice, DroneTypeTwoSplitsTheKeyboard) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kDrone, 1.0f);
  plugin->setParameter(kSympathetic, 1.0f);
  plugin->setParameter(kDroneType, 2.0f / 3.0f);
  plugin->setParameter(kDroneSplitNote, 36.0f);  // split at 60
  // Key 59: the drone alone, one octave down on 47, released by its key.
  MidiEventList low;
  low.noteOn(0, 0, 59, 100);
  low.noteOff(11025, 0, 59);
  RenderedAudio out = render(*plugin, 44100, low);
  EXPECT_GT(amplitude(out, 3000, 11000, kVoices.drone.frequencyAt(47)), 0.05);
  for (double absent : {kVoices.main.frequencyAt(59), kVoices.symp.frequencyAt(47),
                        kVoices.drone.frequencyAt(36)})
    EXPECT_LT(amplitude(out, 3000, 11000, absent), 0.005) << absent << " Hz";
  EXPECT_TRUE(measure::allZero(out.left, 33075, 44100));
  // Key 60: main voice and a sympathetic string on 36, no drone.
  MidiEventList high;
  high.noteOn(0, 0, 60, 100);
  out = render(*plugin, 22050, high);
  EXPECT_GT(amplitude(out, 8000, 22050, kVoices.main.frequencyAt(60)), 0.05);
  EXPECT_GT(amplitude(out, 8000, 22050, kVoices.symp.frequencyAt(36)), 0.02);
  for (double absent : {kVoices.drone.frequencyAt(36), kVoices.drone.frequencyAt(48)})
    EXPECT_LT(amplitude(out, 8000, 22050, absent), 0.005) << absent << " Hz";
}

}  // namespace
