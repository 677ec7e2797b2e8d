// MIDI intake through the built module: sample-accurate events, odd events,
// pitch bend, all notes off, MIDI learn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineMidi : public PlainSoundSet {};

// All notes off on any channel silences every voice and effect tail at once;
// the events of one block land just before their sample.
TEST_F(EngineMidi, AllNotesOffCutsEveryTailAndEventsLandJustBeforeTheirSample) {
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
TEST_F(EngineMidi, OddEventsPlayAtTheBlockStartOrNotAtAll) {
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

TEST_F(EngineMidi, PitchBendUsesAllFourteenBitsCentredOnNoBend) {
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

TEST_F(EngineMidi, LearnAssignsDrivesAndForgetsAController) {
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
