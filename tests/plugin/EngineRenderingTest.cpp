// Block rendering through the built module: exact silence.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/SoundSetFixture.h"

using host::RenderedAudio;

namespace {

class EngineRendering : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "First", TestSoundSet{});
  }
};

TEST_F(EngineRendering, SilentBeforeAnyMidiAndExactlyZeroOnceTheReleaseEnds) {
  auto plugin = loadPlugin();  // defaults as they come: effects on, every voice up
  ASSERT_TRUE(plugin);
  plugin->setOutputPrefill(NAN);  // a frame left unwritten shows
  for (int block : {512, 1, 3, 1000}) {
    RenderedAudio out = render(*plugin, 3000, block);
    EXPECT_TRUE(measure::allZero(out.left, 0, 3000) && measure::allZero(out.right, 0, 3000))
        << block;
  }
  dryMainOnly(*plugin);
  plugin->setParameter(kSympathetic, 1.0f);
  plugin->setParameter(kDrone, 1.0f);
  plugin->setParameter(kRelease, 0.1f);  // 0.07 s
  RenderedAudio out = render(*plugin, 44100 * 2, notes({{0, 60}, {11025, -60}}));
  ASSERT_TRUE(measure::allFinite(out.left));
  EXPECT_GT(measure::rms(out.left, 5000, 11000), 0.05);
  // The release still sounds just after the key went up ...
  EXPECT_GT(measure::peak(out.left, 11025, 11025 + 500), 0.01f);
  // ... and a second later every voice has ended and the output is exactly 0.
  EXPECT_TRUE(measure::allZero(out.left, 44100 + 11025, out.frames()));
  EXPECT_TRUE(measure::allZero(out.right, 44100 + 11025, out.frames()));
}

}  // namespace
