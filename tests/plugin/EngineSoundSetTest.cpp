// Sound-set switching through the built module. Switches from another thread
// while the audio thread renders are the stress test's part.
#include <gtest/gtest.h>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineSoundSet : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    // Folders found out of order; the table sorts them by code.
    writeSoundSet(3, "Third", {TestTone::cosine(125, 60, 0.3f), TestTone::cosine(200, 36),
                               TestTone::cosine(300, 36)});
    writeSoundSet(1, "First", TestSoundSet{});
    writeSoundSet(2, "Second", {TestTone::cosine(80, 60, 0.4f), TestTone::cosine(160, 36, 0.4f),
                                TestTone::cosine(240, 36, 0.4f)});
  }
  // Holds key 60 on folder 01; the level of its steady part.
  double holdNote(host::HostedPlugin& plugin) {
    MidiEventList s;
    s.noteOn(0, 0, 60, 100);
    RenderedAudio out = render(plugin, 8820, s);
    EXPECT_NEAR(measure::period(out.left, 2000, 8820), 100.0, 0.01);
    return measure::rms(out.left, 2000, 8820);
  }
};

TEST_F(EngineSoundSet, SwitchSilencesTheVoicesAndTheNextNotePlaysTheNewSet) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  holdNote(*plugin);
  plugin->setParameter(kSoundSetRow, 2.0f);  // row 2: folder 03, code 2
  EXPECT_EQ(plugin->getParameter(kSoundSet), 2.0f);
  RenderedAudio out = render(*plugin, 22050);
  ASSERT_TRUE(measure::allFinite(out.left));
  EXPECT_TRUE(measure::allZero(out.left, 11025, out.frames()));  // the held key fell silent

  MidiEventList next;
  next.noteOn(0, 0, 60, 100);
  out = render(*plugin, 8820, next);
  EXPECT_NEAR(measure::period(out.left, 2000, 8820), 125.0, 0.01);
  EXPECT_LT(measure::peak(out.left, 2000, 8820), 0.31f);  // the quieter wave of the new set
}

TEST_F(EngineSoundSet, ChoosingTheLoadedSetOrARowPastTheTableLeavesTheNoteSounding) {
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  const double level = holdNote(*plugin);
  for (float row : {0.0f, 3.0f}) {
    plugin->setParameter(kSoundSetRow, row);
    RenderedAudio out = render(*plugin, 8820);
    EXPECT_NEAR(measure::rms(out.left, 0, 8820), level, 0.01 * level) << row;
    EXPECT_NEAR(measure::period(out.left, 0, 8820), 100.0, 0.01) << row;
  }
}

}  // namespace
