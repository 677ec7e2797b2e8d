// Voices and MIDI through the built module: the drone with the host's
// transport, odd events, silence and all notes off, MIDI learn, and the same
// samples whatever the block size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineVoice : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", TestSoundSet{});
    writeSoundSet(2, "DroneOnly", {kSilence, kSilence, {300, 36}});
  }
};

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
    EXPECT_LT(measure::rms(out.left, 22050, 44100), 0.01 * playing);  // fails on NaN too
  }
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
    EXPECT_EQ(std::fabs(left[0]) > 1e-5f, c.sounds);
    EXPECT_EQ(measure::allZero(left, 0, 64) && measure::allZero(after.left, 0, 8820), !c.sounds);
    if (c.sounds) {
      EXPECT_NEAR(measure::period(after.left, 2000, 8820), 100.0, 0.01);
    }
  }
}

// Every voice and effect up: exactly 0 in every frame before any MIDI, at any
// block size; after all notes off silent at once, effect tails included; a
// later message that is no note wakes no released voice or tail.
TEST_F(EngineVoice, AllNotesOffSilencesEverythingAndNothingRingsOnAfterwards) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  for (auto [index, value] : {std::pair{kSympathetic, 1.0f}, {kDrone, 1.0f}, {kFlangerOn, 1.0f},
                              {kReverberOn, 1.0f}, {kReverberMix, 0.6f}})
    plugin->setParameter(index, value);
  plugin->setOutputPrefill(NAN);  // a frame left unwritten shows
  auto silentFrom = [](const RenderedAudio& a, size_t from) {
    return measure::allZero(a.left, from, a.frames()) && measure::allZero(a.right, from, a.frames());
  };
  for (int block : {1, 3, 1000}) EXPECT_TRUE(silentFrom(render(*plugin, 3000, block), 0)) << block;
  MidiEventList schedule = notes({{0, 60}, {2000, 64}});
  schedule.controller(20000, 3, 123, 0);
  RenderedAudio out = render(*plugin, 30000, schedule);
  EXPECT_GT(measure::rms(out.left, 10000, 19999), 0.02);
  EXPECT_TRUE(silentFrom(out, 19999));
  MidiEventList wake;
  wake.pitchBend(0, 0, 8192);
  EXPECT_TRUE(silentFrom(render(*plugin, 8820, wake), 0));
  out = render(*plugin, 8820, notes({{0, 60}}));
  EXPECT_GT(measure::rms(out.left, 4410, 8820), 0.02);
}

// A learned controller sets a mode in whole steps.
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
}

// The renderer works ahead over stretches of a block. When the effects turn
// the instrument idle while strings still sound (everything at zero volume),
// the strings must stop at that very sample, as a sample-by-sample run does,
// or they come back later at another phase.
TEST_F(EngineVoice, EffectsIdlingUnderHeldStringsActAtTheSameSampleForAnyBlockSize) {
  auto renderWith = [&](int block, bool reverb) -> std::vector<float> {
    auto plugin = loadPlugin(44100.0, block);
    if (!plugin) return {};
    dryMainOnly(*plugin);
    // Mono type 0: the strings follow the main string.
    for (auto [index, value] : {std::pair{kSympathetic, 1.0f}, {kDrone, 1.0f}, {kMonoType, 0.0f},
                                {kFlangerOn, 1.0f}, {kReverberOn, reverb ? 1.0f : 0.0f}, {kVolume, 0.0f}})
      plugin->setParameter(index, value);
    MidiEventList held;
    for (int note : {36, 43, 50, 57}) held.noteOn(0, 0, note, 100);
    RenderedAudio out = render(*plugin, 44100 * 3 / 2, held, block);  // idle after ~1 s
    plugin->setParameter(kVolume, 1.0f);
    MidiEventList more;
    more.noteOn(301, 0, 62, 90);
    RenderedAudio after = render(*plugin, 22050, more, block);
    std::vector<float> all;
    for (const RenderedAudio* part : {&out, &after}) {
      all.insert(all.end(), part->left.begin(), part->left.end());
      all.insert(all.end(), part->right.begin(), part->right.end());
    }
    return all;
  };
  for (bool reverb : {false, true}) {
    SCOPED_TRACE(reverb ? "flanger and reverb" : "flanger");
    // Block 2 rather than 1: a delta of 1 is handled at a block's first sample.
    const std::vector<float> single = renderWith(2, reverb);
    ASSERT_FALSE(single.empty());
    for (int block : {256, 100}) {
      const std::vector<float> out = renderWith(block, reverb);
      ASSERT_EQ(out.size(), single.size());
      const size_t diff = std::mismatch(out.begin(), out.end(), single.begin()).first - out.begin();
      EXPECT_EQ(diff, out.size()) << "block " << block << " differs from sample " << diff;
    }
  }
}

}  // namespace
