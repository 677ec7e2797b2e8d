// Pitch and time at the host's rate after construction, a sound-set switch,
// a program change, a change of rate, and beside instances at other rates.
// Expected: the waves' recorded pitches, the tune steps, the stated times.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

using host::RenderedAudio;

namespace {

constexpr int kPitchEnvOffset = 0, kPitchEnvTime = 1, kFlangerMix = 19, kFlangerDepth = 20,
              kVibFx = 31, kCombiFx = 32;

double cents(double measured, double expected) { return 1200.0 * std::log2(measured / expected); }

// First frame from `from` on whose magnitude exceeds `threshold`; -1 if none.
int onset(const std::vector<float>& x, int from, float threshold) {
  for (int i = from; i < static_cast<int>(x.size()); ++i)
    if (std::fabs(x[i]) > threshold) return i;
  return -1;
}

// Hertz of the pitch modulation: rising zero crossings give the tone's cycle
// lengths, and the cycle lengths swing around their mean at the vibrato rate.
double vibratoHz(const std::vector<float>& x, int from, double rate) {
  std::vector<double> at;
  for (size_t i = static_cast<size_t>(from) + 1; i < x.size(); ++i)
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) at.push_back(static_cast<double>(i - 1) - x[i - 1] / (x[i] - x[i - 1]));
  if (at.size() < 4) return 0.0;
  std::vector<double> length;
  double mean = 0.0;
  for (size_t k = 1; k < at.size(); ++k) {
    length.push_back(at[k] - at[k - 1]);
    mean += length.back();
  }
  mean /= static_cast<double>(length.size());
  double first = -1.0, last = -1.0;
  int swings = 0;
  for (size_t k = 1; k < length.size(); ++k) {
    if (length[k - 1] < mean && length[k] >= mean) {
      last = at[k];
      if (swings++ == 0) first = last;
    }
  }
  return swings < 2 ? 0.0 : rate * (swings - 1) / (last - first);
}

class EngineRate : public SoundSetFixture, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Voices", TestSoundSet{});
    writeSoundSet(2, "Lower", {{150, 60}, {200, 36}, {300, 36}});
  }

  static void expectInTime(host::HostedPlugin& plugin, double rate, int period) {
    const TestTone tone{period, 60};
    const auto frames = [rate](double seconds) { return static_cast<int>(seconds * rate); };

    // Within a cent of the wave's recorded pitch, untuned and with Pitch Tune
    // 0.5625 (trunc(24 v - 12) = 1 semitone) and Fine Tune 0.75 (a factor
    // 1 + 0.5 / 16.351599).
    for (bool tuned : {false, true}) {
      plugin.setParameter(kPitchTune, tuned ? 0.5625f : 0.5f);
      plugin.setParameter(kFineTune, tuned ? 0.75f : 0.5f);
      for (int note : {60, 72}) {
        RenderedAudio out = render(plugin, frames(0.25), notes({{0, note}, {frames(0.2), -note}}));
        const double period_ = measure::period(out.left, frames(0.05), frames(0.2));
        ASSERT_GT(period_, 0.0) << note;
        const double expected =
            tuned ? tone.frequencyAt(note + 1) * (1.0 + 0.5 / 16.351599) : tone.frequencyAt(note);
        EXPECT_NEAR(cents(rate / period_, expected), 0.0, 1.0) << "note " << note << ", " << tuned;
        render(plugin, frames(0.3));
      }
    }
    plugin.setParameter(kPitchTune, 0.5f);
    plugin.setParameter(kFineTune, 0.5f);

    // Release: with r = 0.3 the level falls 11-fold in 14 * 0.15^2 = 0.315 s.
    plugin.setParameter(kRelease, 0.3f);
    RenderedAudio out = render(plugin, frames(1.0), notes({{0, 60}, {frames(0.2), -60}}));
    const int window = frames(0.01);
    const double held = measure::rms(out.left, frames(0.1), frames(0.2));
    int fallen = -1;
    for (int at = frames(0.2); at + window < static_cast<int>(out.frames()) && fallen < 0; at += window / 4)
      if (measure::rms(out.left, at, at + window) < held / 11.0) fallen = at + window / 2;
    EXPECT_NEAR((fallen - frames(0.2)) / rate, 0.315, 0.015);
    plugin.setParameter(kRelease, 0.1f);
    render(plugin, frames(0.5));

    // Vibrato: PitchEnvTime 0.5 sweeps the pitch at 5 Hz.
    plugin.setParameter(kPitchEnvOffset, 1.0f);
    plugin.setParameter(kPitchEnvTime, 0.5f);
    plugin.setParameter(kVibFx, 1.0f);
    out = render(plugin, frames(1.3), notes({{0, 60}, {frames(1.25), -60}}));
    EXPECT_NEAR(vibratoHz(out.left, frames(0.2), rate), 5.0, 0.1);
    plugin.setParameter(kPitchEnvOffset, 0.5f);
    plugin.setParameter(kPitchEnvTime, 0.0f);
    plugin.setParameter(kVibFx, 0.0f);
    render(plugin, frames(0.5));

    // Combined flanger alone (mix 0.5 leaves only the lines): the left line
    // answers 6.4 ms after the note, the right 28 ms.
    plugin.setParameter(kFlangerOn, 1.0f);
    plugin.setParameter(kFlangerMix, 0.5f);
    plugin.setParameter(kFlangerDepth, 0.0f);
    plugin.setParameter(kCombiFx, 1.0f);
    const int start = frames(0.05) | 1;
    out = render(plugin, frames(0.1), notes({{start, 60}, {frames(0.09), -60}}));
    // (Skips the fresh flanger's one-sample trace before its first sweep.)
    EXPECT_NEAR(onset(out.left, start + 40, 0.05f) - start, 0.0064 * rate, 3.0);
    EXPECT_NEAR(onset(out.right, start + 40, 0.05f) - start, 0.028 * rate, 3.0);
    plugin.setParameter(kFlangerOn, 0.0f);
    plugin.setParameter(kCombiFx, 0.0f);
    render(plugin, frames(1.5));

    // Reverb alone: the first echo leaves the shortest comb after 25.3 ms.
    plugin.setParameter(kReverberOn, 1.0f);
    plugin.setParameter(kReverberMix, 1.0f);
    out = render(plugin, frames(0.1), notes({{start, 60}, {frames(0.09), -60}}));
    EXPECT_TRUE(measure::allZero(out.left, start, start + frames(0.02)));
    EXPECT_NEAR(onset(out.left, start, 1e-6f) - start, 1116.0 / 44100.0 * rate, 2.0);
    plugin.setParameter(kReverberOn, 0.0f);
    render(plugin, frames(1.5));
  }
};

TEST_P(EngineRate, InTuneAndInTimeAfterEveryChangeThatRebuildsTheEngine) {
  const double rate = GetParam();
  {
    SCOPED_TRACE("built at this rate");
    auto plugin = loadDry(rate);
    ASSERT_TRUE(plugin);
    expectInTime(*plugin, rate, 100);

    SCOPED_TRACE("after a sound-set switch");
    plugin->setParameter(kSoundSetRow, 1.0f);  // "02-Lower"
    render(*plugin, 2048);
    expectInTime(*plugin, rate, 150);

    SCOPED_TRACE("after a program change to a program of the other set");
    plugin->setProgram(5);
    dryMainOnly(*plugin);
    plugin->setParameter(kSoundSetRow, 0.0f);  // program 5 plays "01-Voices"
    plugin->setProgram(0);                     // back on "02-Lower"
    render(*plugin, 2048);
    expectInTime(*plugin, rate, 150);
    plugin->setProgram(5);
    render(*plugin, 2048);
    expectInTime(*plugin, rate, 100);
  }
  {
    SCOPED_TRACE("after a change of rate");
    const double before = rate == 44100.0 ? 96000.0 : 44100.0;
    auto plugin = loadDry(before);
    ASSERT_TRUE(plugin);
    render(*plugin, 4096, notes({{0, 60}}));
    plugin->suspend();
    ASSERT_TRUE(plugin->setSampleRate(rate));
    plugin->resume();
    expectInTime(*plugin, rate, 100);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineRate, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

// Instances at 44.1 and 48 kHz in one process, built and switched in turns,
// each stay in tune; so does one built while the others play.
TEST_F(EngineRate, InstancesAtDifferentRatesInOneProcessEachStayInTune) {
  auto a = loadDry(44100.0);
  auto b = loadDry(48000.0);
  ASSERT_TRUE(a && b);
  const auto pitch = [](host::HostedPlugin& p, double rate) {
    RenderedAudio out = render(p, 8192, notes({{0, 60}, {8000, -60}}));
    render(p, 8192);
    return rate / measure::period(out.left, 2000, 8000);
  };
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const double period = round == 1 ? 150 : 100;
    EXPECT_NEAR(cents(pitch(*a, 44100.0), 44100.0 / period), 0.0, 1.0);
    EXPECT_NEAR(cents(pitch(*b, 48000.0), 44100.0 / period), 0.0, 1.0);
    // Between rounds: a third instance comes and goes, and both switch sets.
    auto c = loadDry(96000.0);
    ASSERT_TRUE(c);
    EXPECT_NEAR(cents(pitch(*c, 96000.0), 441.0), 0.0, 1.0);
    for (auto* p : {a.get(), b.get()}) p->setParameter(kSoundSetRow, round == 0 ? 1.0f : 0.0f);
  }
}

}  // namespace
