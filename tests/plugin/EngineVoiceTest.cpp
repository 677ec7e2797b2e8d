// Voices and MIDI through the built module: pitch, tuning, the play and
// drone modes, the sympathetic strings, sample-accurate and odd events, all
// notes off, pitch bend, MIDI learn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

// Distinct pitches per voice so each can be picked out of the mix: 441 Hz
// at 60, 210 Hz at 36, 147 Hz at 36.
const TestSoundSet kVoices{{100, 60}, {210, 36}, {300, 36}};

double semitones(double n) { return std::pow(2.0, n / 12.0); }

class EngineVoice : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", kVoices);
    writeSoundSet(2, "SympOnly", {kSilence, {200, 36}, kSilence});
  }
  static double amplitude(const RenderedAudio& out, size_t from, size_t to, double hz) {
    return measure::toneAmplitude(out.left, from, to, hz);
  }
};

TEST_F(EngineVoice, PitchFollowsTheKeyAndBothTuneKnobsAlsoOnASoundingNote) {
  // Pitch Tune: whole semitones trunc(24 v - 12). Fine Tune: a factor
  // 1 + (2 v - 1) / 16.351599 (the frequency of note 12). The two combine.
  const double c0 = 16.351599;
  const struct {
    int note;
    float pitchTune, fineTune;
    double period, tolerance;
  } cases[] = {
      {72, 0.5f, 0.5f, 50.0, 0.01},
      {60, 0.0f, 0.5f, 200.0, 0.02},
      {60, 0.5f, 0.25f, 100.0 / (1.0 - 0.5 / c0), 0.01},
      {67, 0.75f, 1.0f, 100.0 / semitones(13) / (1.0 + 1.0 / c0), 0.01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "note " << c.note << ", pitch tune " << c.pitchTune
                                    << ", fine tune " << c.fineTune);
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kPitchTune, c.pitchTune);
    plugin->setParameter(kFineTune, c.fineTune);
    RenderedAudio out = render(*plugin, 13230, notes({{0, c.note}}));
    EXPECT_NEAR(measure::period(out.left, 2000, out.frames()), c.period, c.tolerance);
    EXPECT_EQ(out.left, out.right);  // mono voices, no effects
    // Back to the middle while the note sounds: it is retuned at once.
    plugin->setParameter(kPitchTune, 0.5f);
    plugin->setParameter(kFineTune, 0.5f);
    out = render(*plugin, 8820);
    EXPECT_NEAR(measure::period(out.left, 100, 8820), 100.0 / semitones(c.note - 60), 0.01);
  }
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
    host::MidiEventList s;
    for (int i = 0, key = 0; i < static_cast<int>(c.steps.size()); ++i)
      (key = c.steps[i].key) > 0 ? s.noteOn(8000 * i, 0, key, 100) : s.noteOff(8000 * i, 0, -key);
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
      // Struck anew: the restarting wave fades out and in, leaving a gap; a
      // legato change has none.
      if (i > 0) {
        EXPECT_EQ(measure::lowestWindowPeak(out.left, at, at + 900, 120) <
                      0.3f * measure::peak(out.left, at - 1500, at),
                  step.struck);
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
  for (int note : {1, 36, 47, 59, 64, 127}) {
    SCOPED_TRACE(note);
    RenderedAudio out = render(*plugin, 44100, notes({{0, note}, {17640, -note}}));
    EXPECT_NEAR(measure::period(out.left, 6000, 17640), 200.0 / semitones(note % 12), 0.02);
    EXPECT_GT(measure::rms(out.left, 6000, 17640), 0.02);
    EXPECT_TRUE(measure::allZero(out.left, 40000, 44100));
  }
}

// Mode 0 strikes note 36 with every note and holds it until all keys are up;
// mode 1 holds it while the host's transport runs; mode 2 plays it alone,
// an octave down, on the keys below the split.
TEST_F(EngineVoice, DroneModes) {
  const double drone = kVoices.drone.frequencyAt(36);
  auto load = [&](float mode) {
    auto plugin = loadDry();
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kSympathetic, 1.0f);
    plugin->setParameter(kDroneType, mode);
    return plugin;
  };
  auto plugin = load(0.0f);
  RenderedAudio out =
      render(*plugin, 55125, notes({{0, 64}, {11025, 67}, {22050, -67}, {33075, -64}}));
  const double atStart = amplitude(out, 2000, 11000, drone);
  EXPECT_GT(atStart, 0.05);
  EXPECT_GT(amplitude(out, 2000, 11000, kVoices.main.frequencyAt(64)), 0.05);
  EXPECT_GT(amplitude(out, 24000, 33000, drone), 0.7 * atStart);  // one key still down
  EXPECT_LT(amplitude(out, 44100, 55125, drone), 0.01 * atStart);

  for (bool timeInfoLost : {false, true}) {
    SCOPED_TRACE(timeInfoLost ? "time information lost" : "transport stopped");
    plugin = load(1.0f / 3.0f);
    plugin->timeline().setPlaying(true);
    out = render(*plugin, 44100, notes({{0, 64}, {11025, -64}}));
    const double playing = amplitude(out, 2000, 11000, drone);
    EXPECT_GT(playing, 0.05);
    EXPECT_GT(amplitude(out, 30000, 44100, drone), 0.7 * playing);  // the key is up
    EXPECT_LT(amplitude(out, 30000, 44100, kVoices.main.frequencyAt(64)), 0.01);
    if (timeInfoLost) plugin->setTimeInfoAvailable(false);
    else plugin->timeline().setPlaying(false);
    out = render(*plugin, 44100);
    EXPECT_LT(amplitude(out, 22050, 44100, drone), 0.01 * playing);
    EXPECT_TRUE(measure::allFinite(out.left));
  }

  plugin = load(2.0f / 3.0f);
  plugin->setParameter(kDroneSplitNote, 36.0f);  // split at 60
  out = render(*plugin, 44100, notes({{0, 59}, {11025, -59}}));
  EXPECT_GT(amplitude(out, 3000, 11000, kVoices.drone.frequencyAt(47)), 0.05);
  for (double absent : {kVoices.main.frequencyAt(59), kVoices.symp.frequencyAt(47), drone})
    EXPECT_LT(amplitude(out, 3000, 11000, absent), 0.005) << absent << " Hz";
  EXPECT_TRUE(measure::allZero(out.left, 33075, 44100));  // released by its key
  out = render(*plugin, 22050, notes({{0, 60}}));  // main voice and a string on 36, no drone
  EXPECT_GT(amplitude(out, 8000, 22050, kVoices.main.frequencyAt(60)), 0.05);
  EXPECT_GT(amplitude(out, 8000, 22050, kVoices.symp.frequencyAt(36)), 0.02);
  for (double absent : {drone, kVoices.drone.frequencyAt(48)})
    EXPECT_LT(amplitude(out, 8000, 22050, absent), 0.005) << absent << " Hz";
}

// All notes off on any channel silences every voice and effect tail at once;
// the events of one block land just before their sample.
TEST_F(EngineVoice, AllNotesOffCutsEveryTailAndEventsLandJustBeforeTheirSample) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  for (auto [index, value] : {std::pair{kSympathetic, 1.0f}, {kDrone, 1.0f}, {kFlangerOn, 1.0f},
                              {Param(19), 0.3f}, {kReverberOn, 1.0f}, {kReverberMix, 0.6f}})
    plugin->setParameter(index, value);
  RenderedAudio out = render(*plugin, 20000, notes({{0, 60}, {2000, 64}}));
  EXPECT_GT(measure::rms(out.left, 10000, 20000), 0.02);
  // Deltas 0, 5: all notes off, then a note due before output sample 4.
  MidiEventList schedule;
  schedule.controller(0, 3, 123, 0);
  schedule.noteOn(5, 0, 60, 100);
  out = render(*plugin, 64, schedule, 64);
  EXPECT_TRUE(measure::allZero(out.left, 0, 4));
  EXPECT_TRUE(measure::allZero(out.right, 0, 4));
  EXPECT_GT(std::fabs(out.left[4]), 1e-5f);
  // A note on the first sample of a block sounds on that very sample.
  MidiEventList allOff;
  allOff.controller(0, 0, 123, 0);
  EXPECT_TRUE(measure::allZero(render(*plugin, 64, allOff, 64).left, 0, 64));
  out = render(*plugin, 64, notes({{0, 62}}), 64);
  EXPECT_GT(std::fabs(out.left[0]), 1e-5f);
}

// Odd events from a host, each a note-on of key 60 at heart: early ones play
// at the block start, late ones are dropped, system and running-status bytes
// are ignored, and a top bit set in a data byte is dropped.
TEST_F(EngineVoice, OddEventsPlayAtTheBlockStartOrNotAtAll) {
  const struct {
    const char* what;
    int delta;
    std::uint8_t status, data1, data2;
    bool sounds;
  } cases[] = {
      {"negative delta", -5, 0x90, 60, 100, true},
      {"delta past the block", 100, 0x90, 60, 100, false},
      {"system status", 0, 0xF4, 60, 100, false},
      {"data byte as status", 0, 60, 100, 0, false},
      {"top bits in the data", 0, 0x90, 60 | 0x80, 100 | 0x80, true},
  };
  std::vector<float> left(64), right(64);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    MidiEventList list;
    list.addMidi(c.delta, c.status, c.data1, c.data2);
    plugin->sendEvents(list);
    plugin->processBlock(left.data(), right.data(), 64);
    RenderedAudio after = render(*plugin, 8820);
    if (c.sounds) {
      EXPECT_GT(std::fabs(left[0]), 1e-5f);
      EXPECT_NEAR(measure::period(after.left, 2000, 8820), 100.0, 0.01);
    } else {
      EXPECT_TRUE(measure::allZero(left, 0, 64));
      EXPECT_TRUE(measure::allZero(after.left, 0, 8820));
    }
  }
}

TEST_F(EngineVoice, PitchBendUsesAllFourteenBitsCentredOnNoBend) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kPitchBend, 0.125f);  // range trunc(1.5) = 1, spanning 2 semitones
  RenderedAudio out = render(*plugin, 8820, notes({{0, 60}}));
  const double unbent = measure::period(out.left, 2000, 8820);
  EXPECT_NEAR(unbent, 100.0, 0.01);
  auto bentPeriod = [&](int wheel) {
    MidiEventList bend;
    bend.pitchBend(0, 0, wheel);
    return measure::period(render(*plugin, 8820, bend).left, 100, 8820);
  };
  const double up = std::pow(2.0, 2.0 / 12.0);
  EXPECT_NEAR(bentPeriod(0), 100.0 * up, 0.03);
  EXPECT_NEAR(bentPeriod(8192), unbent, 1e-3);  // exactly the unbent pitch
  EXPECT_NEAR(bentPeriod(16383), 100.0 / (1.0 + 8191.0 / 8192.0 * (up - 1.0)), 0.03);
  // Both bytes count: a bend one step above the centre in the low byte alone
  // is a tiny shift, not the coarse step of the high byte.
  const double fine = bentPeriod(8192 + 64);
  EXPECT_LT(fine, unbent);
  EXPECT_GT(fine, 100.0 / (1.0 + 2.0 / 128.0 * (up - 1.0)));
}

TEST_F(EngineVoice, LearnAssignsDrivesAndForgetsAController) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kVolume, 0.2f);
  const double quiet = measure::rms(render(*plugin, 8820, notes({{0, 60}})).left, 2000, 8820);
  auto turn = [&](int controller, int value) {
    MidiEventList cc;
    cc.controller(0, 0, controller, value);
    return render(*plugin, 8820, cc);
  };
  // The message that is learned already drives the parameter; forgetting it
  // (1000 + index) leaves the controller without effect.
  plugin->setParameter(kLearn, static_cast<float>(kVolume));
  EXPECT_NEAR(measure::rms(turn(7, 127).left, 0, 8820) / quiet, 5.0, 0.05);
  EXPECT_TRUE(measure::allZero(turn(7, 0).left, 0, 8820));
  plugin->setParameter(kLearn, 1000.0f + static_cast<float>(kVolume));
  turn(7, 100);
  EXPECT_EQ(plugin->getParameter(kVolume), 0.0f);
  // A learned mode parameter gets whole steps; others on the same controller
  // the plain value data2/127.
  plugin->setParameter(kLearn, static_cast<float>(kMonoType));
  for (auto [data2, mode] : {std::pair{63, 0.0f}, {64, 1.0f / 3.0f}, {126, 1.0f / 3.0f},
                             {127, 2.0f / 3.0f}, {0, 0.0f}}) {
    turn(20, data2);
    EXPECT_FLOAT_EQ(plugin->getParameter(kMonoType), mode) << data2;
  }
  plugin->setParameter(kLearn, static_cast<float>(kVolume));
  turn(20, 127);
  EXPECT_FLOAT_EQ(plugin->getParameter(kVolume), 1.0f);
  EXPECT_FLOAT_EQ(plugin->getParameter(kMonoType), 2.0f / 3.0f);
}

}  // namespace
