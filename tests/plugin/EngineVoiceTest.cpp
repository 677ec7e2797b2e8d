// Voices and MIDI through the built module: pitch and tuning, the play
// modes, the drone with the host's transport, sample-accurate and odd events,
// all notes off, pitch bend, MIDI learn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

double semitones(double n) { return std::pow(2.0, n / 12.0); }

class EngineVoice : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", TestSoundSet{});
    writeSoundSet(2, "DroneOnly", {kSilence, kSilence, {300, 36}});
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

// Drone mode 1 holds the drone while the host's transport runs, key up or
// not, and releases it when the transport stops or time information is lost.
TEST_F(EngineVoice, DroneFollowsTheHostTransport) {
  for (bool timeInfoLost : {false, true}) {
    SCOPED_TRACE(timeInfoLost ? "time information lost" : "transport stopped");
    auto plugin = loadDry();
    ASSERT_TRUE(plugin);
    plugin->setParameter(kSoundSetRow, 1.0f);  // "DroneOnly"
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kDroneType, 1.0f / 3.0f);
    plugin->timeline().setPlaying(true);
    RenderedAudio out = render(*plugin, 44100, notes({{0, 64}, {11025, -64}}));
    const double playing = measure::rms(out.left, 2000, 11000);
    EXPECT_GT(playing, 0.05);
    EXPECT_GT(measure::rms(out.left, 30000, 44100), 0.7 * playing);  // the key is up
    EXPECT_NEAR(measure::period(out.left, 30000, 44100), 300.0, 0.02);  // note 36
    if (timeInfoLost) plugin->setTimeInfoAvailable(false);
    else plugin->timeline().setPlaying(false);
    out = render(*plugin, 44100);
    EXPECT_LT(measure::rms(out.left, 22050, 44100), 0.01 * playing);
    EXPECT_TRUE(measure::allFinite(out.left));
  }
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

// A learned controller drives its parameter from the very message that is
// learned: a mode parameter in whole steps, others by the plain data2/127.
TEST_F(EngineVoice, LearnedControllersDriveModesInWholeSteps) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  auto turn = [&](int value) {
    MidiEventList cc;
    cc.controller(0, 0, 20, value);
    render(*plugin, 64, cc);
  };
  plugin->setParameter(kLearn, static_cast<float>(kMonoType));
  for (auto [data2, mode] : {std::pair{63, 0.0f}, {64, 1.0f / 3.0f}, {126, 1.0f / 3.0f},
                             {127, 2.0f / 3.0f}, {0, 0.0f}}) {
    turn(data2);
    EXPECT_FLOAT_EQ(plugin->getParameter(kMonoType), mode) << data2;
  }
  plugin->setParameter(kLearn, static_cast<float>(kVolume));
  turn(127);
  EXPECT_FLOAT_EQ(plugin->getParameter(kVolume), 1.0f);
  EXPECT_FLOAT_EQ(plugin->getParameter(kMonoType), 2.0f / 3.0f);
  // Forgetting it (1000 + index) leaves the controller without effect.
  plugin->setParameter(kLearn, 1000.0f + static_cast<float>(kVolume));
  turn(0);
  EXPECT_FLOAT_EQ(plugin->getParameter(kVolume), 1.0f);
}

}  // namespace
