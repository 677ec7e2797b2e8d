// Block rendering through the built module: exact silence, sound-set changes
// between blocks (from another thread while rendering: the stress test; rate
// changes: EngineRateTest).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/SoundSetFixture.h"

using host::RenderedAudio;

namespace {

class EngineRendering : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    // Folders found out of order; the table sorts them by code.
    writeSoundSet(3, "Third", {{125, 60, 0.3f}, {200, 36}, {300, 36}});
    writeSoundSet(1, "First", TestSoundSet{});
    writeSoundSet(2, "Second", {{80, 60, 0.4f}, {160, 36, 0.4f}, {240, 36, 0.4f}});
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

TEST_F(EngineRendering, SoundSetSwitchSilencesAndTheNextNotePlaysTheNewOne) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  RenderedAudio out = render(*plugin, 8820, notes({{0, 60}}));
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 100.0, 0.01);
  const double level = measure::rms(out.left, 2000, 8820);
  // The loaded set, or a row past the table: the note sounds on unchanged.
  for (float row : {0.0f, 3.0f}) {
    plugin->setParameter(kSoundSetRow, row);
    out = render(*plugin, 8820);
    EXPECT_NEAR(measure::rms(out.left, 0, 8820), level, 0.01 * level) << row;
    EXPECT_NEAR(measure::period(out.left, 0, 8820), 100.0, 0.01) << row;
  }
  plugin->setParameter(kSoundSetRow, 2.0f);  // row 2: folder 03, code 2
  EXPECT_EQ(plugin->getParameter(kSoundSet), 2.0f);
  out = render(*plugin, 22050);
  ASSERT_TRUE(measure::allFinite(out.left));
  EXPECT_TRUE(measure::allZero(out.left, 11025, out.frames()));  // the held key fell silent
  out = render(*plugin, 8820, notes({{0, 60}}));
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 125.0, 0.01);
  EXPECT_LT(measure::peak(out.left, 2000, 8820), 0.31f);  // the quieter wave of the new set
}

}  // namespace
