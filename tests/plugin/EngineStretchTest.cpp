// The renderer works ahead over stretches of a block. When the effects turn
// the instrument idle while strings still sound (everything at zero volume),
// the strings must stop at that very sample, as a sample-by-sample run does,
// or they come back later at another phase.
#include <gtest/gtest.h>

#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;
using host::RenderedAudio;

namespace {

class EngineStretch : public SoundSetFixture {};

TEST_F(EngineStretch, EffectsIdlingUnderHeldStringsActAtTheSameSampleForAnyBlockSize) {
  writeSoundSet(1, "Stretch", TestSoundSet{});
  auto renderWith = [&](int block, bool reverb) {
    auto plugin = loadPlugin(44100.0, block);
    EXPECT_TRUE(plugin);
    std::vector<float> all;
    if (!plugin) return all;
    dryMainOnly(*plugin);
    plugin->setParameter(kSympathetic, 1.0f);
    plugin->setParameter(kDrone, 1.0f);
    plugin->setParameter(kMonoType, 0.0f);  // the strings follow the main string
    plugin->setParameter(kFlangerOn, 1.0f);
    plugin->setParameter(kReverberOn, reverb ? 1.0f : 0.0f);
    plugin->setParameter(kVolume, 0.0f);
    MidiEventList held;
    for (int note : {36, 43, 50, 57}) held.noteOn(0, 0, note, 100);
    RenderedAudio out = render(*plugin, 44100 * 3 / 2, held, block);  // idle after ~1 s
    plugin->setParameter(kVolume, 1.0f);
    MidiEventList more;
    more.noteOn(301, 0, 62, 90);
    RenderedAudio after = render(*plugin, 22050, more, block);
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
      size_t diff = 0;
      while (diff < out.size() && out[diff] == single[diff]) ++diff;
      EXPECT_EQ(diff, out.size()) << "block " << block << " differs from sample " << diff;
    }
  }
}

}  // namespace
