// Micro-tuning scales retune the notes started after them, at every rate.
// Scales are chosen from the editor (no host call reaches that), so this case
// drives an engine object of the test binary itself with the same private
// data folder.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "plugin/VstSynth.h"
#include "tests/plugin/SoundSetFixture.h"

namespace {

class EngineTuning : public SoundSetFixture, public ::testing::WithParamInterface<float> {
 protected:
  // One note held for 0.2 s, then let die away: the period of the held part,
  // in samples of 44.1 kHz.
  static double playPeriod(VstSynth& synth, int note) {
    const float rate = GetParam();
    std::vector<float> held = process(synth, notes({{0, note}}), static_cast<int>(0.2f * rate));
    process(synth, notes({{0, -note}}), static_cast<int>(0.5f * rate));
    return measure::period(held, held.size() / 4, held.size()) * 44100.0 / rate;
  }
};

TEST_P(EngineTuning, ScaleOffsetsShiftTheNotesStartedAfterThem) {
  writeSoundSet(1, "Plain", TestSoundSet{});
  std::vector<double> cents(12, 0.0);
  cents[1] = 50.0;
  cents[11] = 200.0;
  writeScale("Test", cents);

  VstSynth synth(nullptr);
  synth.setSampleRate(GetParam());
  for (auto [index, value] : dryParameters()) synth.setParameter(index, value);
  const double semitone = std::pow(2.0, 1.0 / 12.0);
  EXPECT_NEAR(playPeriod(synth, 61), 100.0 / semitone, 0.01);  // equal temperament

  // The first block applied the new rate and re-applied the program, whose
  // scale the worker loads: let it finish before choosing another.
  synth.waitForLoads();
  synth.tuning().setTable("Test");
  // The offset in semitones enters as a factor 1 + offset / 16.351599.
  EXPECT_NEAR(playPeriod(synth, 61), 100.0 / semitone / (1.0 + 0.5 / 16.351599), 0.01);
  EXPECT_NEAR(playPeriod(synth, 60), 100.0, 0.01);
  EXPECT_NEAR(playPeriod(synth, 73), 50.0 / semitone / (1.0 + 0.5 / 16.351599), 0.01);

  // With the root on D, C# is the eleventh step above it and D the root.
  synth.setParameter(kMicroTuningRoot, 2.0f);
  EXPECT_NEAR(playPeriod(synth, 61), 100.0 / semitone / (1.0 + 2.0 / 16.351599), 0.01);
  EXPECT_NEAR(playPeriod(synth, 62), 100.0 / semitone / semitone, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineTuning, ::testing::Values(44100.0f, 48000.0f, 96000.0f),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

}  // namespace
