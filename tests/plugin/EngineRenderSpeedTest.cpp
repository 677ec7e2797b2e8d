// How fast a dense passage renders: main voice, all twelve sympathetic
// strings, the drone, flanger and reverb. Prints the multiple of real time;
// the figure depends on the machine, so only the sound itself is checked.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;

namespace {

class EngineRenderSpeed : public SoundSetFixture {};

TEST_F(EngineRenderSpeed, DensePassageWithEveryVoiceAndEffect) {
  writeSoundSet(1, "Dense", TestSoundSet{});
  auto plugin = loadPlugin(44100.0, 256);
  ASSERT_TRUE(plugin);
  dryMainOnly(*plugin);
  plugin->setParameter(kMonoType, 0.0f);  // legato, strings follow the main level
  plugin->setParameter(kSympathetic, 1.0f);
  plugin->setParameter(kDrone, 1.0f);
  plugin->setParameter(kFlangerOn, 1.0f);
  plugin->setParameter(19, 0.4f);
  plugin->setParameter(kReverberOn, 1.0f);
  plugin->setParameter(kReverberMix, 0.4f);
  plugin->setParameter(kToneSwitch, 1.0f);

  constexpr int kSeconds = 20;
  constexpr int kFrames = 44100 * kSeconds;
  MidiEventList schedule;
  // Twelve keys held, one per pitch class, so every string rings; then each
  // is struck again in turn every eighth of a second.
  for (int k = 0; k < 12; ++k) schedule.noteOn(k * 100, 0, 48 + k, 100);
  for (int t = 44100 / 8, k = 0; t < kFrames; t += 44100 / 8, ++k)
    schedule.noteOn(t, 0, 48 + (k * 7) % 12, 60 + k % 60);

  const auto start = std::chrono::steady_clock::now();
  host::RenderedAudio out = plugin->render(kFrames, 256, schedule);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("dense passage: %d s of audio in %.3f s, %.1f x real time\n", kSeconds, seconds,
              kSeconds / seconds);
  ASSERT_TRUE(measure::allFinite(out.left));
  EXPECT_GT(measure::rms(out.left, out.frames() - 44100, out.frames()), 0.01);
}

}  // namespace
