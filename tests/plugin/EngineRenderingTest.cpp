// Block rendering through the built module: silence, release to exact zero,
// effect tails, sample-rate changes between blocks.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineRendering : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Plain", TestSoundSet{});
  }
};

TEST_F(EngineRendering, IsExactlySilentBeforeAnyMidi) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  // Defaults as they come: effects on, every voice level up.
  plugin->setOutputPrefill(NAN);
  RenderedAudio out = render(*plugin, 44100, 512);
  EXPECT_TRUE(measure::allZero(out.left, 0, out.frames()));
  EXPECT_TRUE(measure::allZero(out.right, 0, out.frames()));
  // Odd block sizes, and blocks with nothing in them, write every frame too.
  for (int block : {1, 3, 1000}) {
    out = render(*plugin, 3000, block);
    EXPECT_TRUE(measure::allZero(out.left, 0, out.frames())) << block;
  }
}

TEST_F(EngineRendering, MainVoicePlaysAtTheRecordedPitchAtTheRootKey) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  RenderedAudio out = render(*plugin, 22050, schedule);
  EXPECT_NEAR(measure::period(out.left, 4410, 22050), 100.0, 0.01);
  EXPECT_GT(measure::rms(out.left, 4410, 22050), 0.05);
  EXPECT_EQ(out.left, out.right);  // mono voices, no effects
}

}  // namespace
