// Sound-set switching through the built module, including switches from
// another thread while the audio thread renders.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineSoundSet : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    // Folders found out of order; the table sorts them by code.
    TestSoundSet c;
    c.main = TestTone::cosine(125, 60, 0.3f);
    writeSoundSet(3, "Third", c);
    writeSoundSet(1, "First", TestSoundSet{});
    TestSoundSet b;
    b.main = TestTone::cosine(80, 60, 0.4f);
    b.symp = TestTone::cosine(160, 36, 0.4f);
    b.drone = TestTone::cosine(240, 36, 0.4f);
    writeSoundSet(2, "Second", b);
  }
};

TEST_F(EngineSoundSet, SwitchSilencesTheVoicesAndTheNextNotePlaysTheNewSet) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  MidiEventList s;
  s.noteOn(0, 0, 60, 100);
  RenderedAudio out = render(*plugin, 8820, s);
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 100.0, 0.01);  // folder 01

  plugin->setParameter(kSoundSetRow, 2.0f);  // row 2: folder 03, code 2
  EXPECT_EQ(plugin->getParameter(kSoundSet), 2.0f);
  out = render(*plugin, 22050);
  ASSERT_TRUE(measure::allFinite(out.left));
  EXPECT_TRUE(measure::allZero(out.left, 11025, out.frames()));  // the held key fell silent

  MidiEventList next;
  next.noteOn(0, 0, 60, 100);
  out = render(*plugin, 8820, next);
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 125.0, 0.01);
  EXPECT_LT(measure::peak(out.left, 2000, 8820), 0.31f);  // the quieter wave of the new set
}

TEST_F(EngineSoundSet, ChoosingTheLoadedSetAgainLeavesTheNoteSounding) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  MidiEventList s;
  s.noteOn(0, 0, 60, 100);
  RenderedAudio out = render(*plugin, 8820, s);
  const double level = measure::rms(out.left, 2000, 8820);
  plugin->setParameter(kSoundSetRow, 0.0f);
  out = render(*plugin, 8820);
  EXPECT_NEAR(measure::rms(out.left, 0, 8820), level, 0.01 * level);
  EXPECT_NEAR(measure::period(out.left, 0, 8820), 100.0, 0.01);
  // A row past the table changes nothing either.
  plugin->setParameter(kSoundSetRow, 3.0f);
  out = render(*plugin, 8820);
  EXPECT_NEAR(measure::rms(out.left, 0, 8820), level, 0.01 * level);
}

// The host's thread switches sets as fast as it can while the audio thread
// plays dense material with every effect on. Nothing may crash, nothing
// non-finite or out of range may come out, and the sound must go on.
TEST_F(EngineSoundSet, SwitchingFromAnotherThreadWhileRenderingStaysClean) {
  for (int round = 0; round < 3; ++round) {
    auto plugin = loadPlugin();
    ASSERT_TRUE(plugin);
    dryMainOnly(*plugin);
    plugin->setParameter(kSympathetic, 1.0f);
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kFlangerOn, 1.0f);
    plugin->setParameter(kReverberOn, 1.0f);
    plugin->setParameter(kMonoType, static_cast<float>(round) / 3.0f);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, soundingBlocks{0}, badSamples{0};
    std::atomic<float> loudest{0.0f};
    std::thread audio([&] {
      std::vector<float> left(256), right(256);
      MidiEventList events;
      int note = 0;
      while (!stop.load()) {
        events.clear();
        const long b = blocks.load();
        if (b % 8 == 0) events.noteOn(static_cast<int>(b % 200), 0, 48 + note % 30, 100);
        if (b % 8 == 5) events.noteOff(17, 0, 48 + note++ % 30);
        if (b % 97 == 0) events.pitchBend(3, 0, static_cast<int>(b * 37 % 16384));
        plugin->sendEvents(events);
        plugin->processBlock(left.data(), right.data(), 256);
        float blockPeak = 0.0f;
        for (int i = 0; i < 256; ++i) {
          if (!std::isfinite(left[i]) || !std::isfinite(right[i])) ++badSamples;
          blockPeak = std::max({blockPeak, std::fabs(left[i]), std::fabs(right[i])});
        }
        if (blockPeak > loudest.load()) loudest = blockPeak;
        if (blockPeak > 1e-4f) ++soundingBlocks;
        ++blocks;
      }
    });
    std::thread control([&] {
      int row = 0;
      while (!stop.load()) {
        plugin->setParameter(kSoundSetRow, static_cast<float>(row++ % 3));
        std::this_thread::sleep_for(std::chrono::microseconds(500 + 700 * (row % 5)));
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    audio.join();
    control.join();
    EXPECT_EQ(badSamples.load(), 0) << round;
    EXPECT_LT(loudest.load(), 8.0f) << round;
    EXPECT_GT(blocks.load(), 100) << round;
    EXPECT_GT(soundingBlocks.load(), blocks.load() / 10) << round;
  }
}

}  // namespace
