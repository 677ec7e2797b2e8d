// Program changes that switch sound sets, and the drone turned down to 0,
// must not click: what sounds fades out over a few milliseconds. The click
// measure is the largest step between two neighbouring samples just after
// the change against the largest step just before it (one held note).
//
// An engine object of the test binary is driven directly, so that the test
// can wait for the sound set that the program change asks the worker for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/MidiEventList.h"
#include "plugin/VstSynth.h"
#include "tests/plugin/SoundSetFixture.h"

namespace {

float largestStep(const std::vector<float>& x, size_t from, size_t to) {
  float step = 0.0f;
  for (size_t i = std::max<size_t>(from, 1); i < std::min(to, x.size()); ++i)
    step = std::max(step, std::fabs(x[i] - x[i - 1]));
  return step;
}

class ProgramChangeClick : public SoundSetFixture, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "First", TestSoundSet{});
    writeSoundSet(2, "Second", {{125, 60, 0.4f}, {160, 36, 0.4f}, {240, 36, 0.4f}});
  }
  double rate() const { return GetParam(); }
  size_t ms(double m) const { return static_cast<size_t>(std::lround(rate() * m / 1000.0)); }

  // The largest step in the 20 ms after an event at frame `change` (acting
  // before sample change - 1) against the 20 ms before it; returns change - 1.
  size_t expectNoClick(const std::vector<float>& out, int change, float minStep) const {
    EXPECT_TRUE(measure::allFinite(out));
    const size_t at = static_cast<size_t>(change - 1);
    const float before = largestStep(out, at - ms(20), at);
    EXPECT_GT(before, minStep);
    EXPECT_LE(largestStep(out, at, at + ms(20)), 1.5f * before);
    return at;
  }
  // Appends `frames` more samples to out.
  static void run(VstSynth& synth, const host::MidiEventList& schedule, int frames,
                  std::vector<float>& out) {
    const std::vector<float> more = process(synth, schedule, frames, static_cast<int>(out.size()));
    out.insert(out.end(), more.begin(), more.end());
  }
  // Programs 0 and 1: the dry instrument with the sympathetic strings and the
  // drone in the mix, on sets 0 and 1; program 0 is current.
  static void preparePrograms(VstSynth& synth) {
    for (int program : {1, 0}) {
      synth.setProgram(program);
      for (auto [index, value] : dryParameters()) synth.setParameter(index, value);
      synth.setParameter(kSympathetic, 0.5f);
      synth.setParameter(kDrone, 0.5f);
      synth.setParameter(kSoundSet, static_cast<float>(program));
    }
    synth.setProgram(0);
  }
};

TEST_P(ProgramChangeClick, SwitchingSoundSetsFadesWhatSoundsAndTheNextNotePlaysTheNewSet) {
  VstSynth synth(nullptr);
  synth.setSampleRate(static_cast<float>(rate()));
  preparePrograms(synth);
  std::vector<float> out;
  host::MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  const int change = static_cast<int>(ms(300)) + 17;  // inside a block
  schedule.programChange(change, 0, 1);
  // The block that holds the change, then the worker loads the set and the
  // following blocks take it over.
  run(synth, schedule, (change / 64 + 1) * 64, out);
  synth.waitForLoads();
  run(synth, schedule, static_cast<int>(ms(100)), out);
  const size_t at = expectNoClick(out, change, 0.01f);
  // Everything fell silent (no effects: exactly 0), and stays so.
  EXPECT_TRUE(measure::allZero(out, at + ms(20), out.size()));
  EXPECT_EQ(synth.currentSoundSet(), 1);

  // The next note plays the new set's main wave (period 125 at 44.1 kHz).
  synth.setParameter(kSympathetic, 0.0f);
  synth.setParameter(kDrone, 0.0f);
  out.clear();
  host::MidiEventList next;
  next.noteOn(0, 0, 60, 100);
  run(synth, next, static_cast<int>(ms(200)), out);
  EXPECT_NEAR(measure::period(out, ms(100), out.size()), 125.0 * rate() / 44100.0, 0.05);
}

TEST_P(ProgramChangeClick, DroneTurnedDownToZeroFadesOut) {
  writeSoundSet(3, "DroneOnly", {kSilence, kSilence, {300, 36}});
  VstSynth synth(nullptr);
  synth.setSampleRate(static_cast<float>(rate()));
  preparePrograms(synth);
  synth.setParameter(kSoundSetRow, 2.0f);
  synth.setParameter(kSympathetic, 0.0f);
  synth.setParameter(kLearn, static_cast<float>(kDrone));
  std::vector<float> out;
  host::MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  // The drone (note 36, period 300 at 44.1 kHz) starts on its crest and is
  // on a crest again at the change, where a cut would step furthest.
  const int change = static_cast<int>(std::lround(44 * 300 * rate() / 44100.0));
  schedule.controller(change, 0, 20, 0);  // learned by Drone: level 0
  run(synth, schedule, static_cast<int>(ms(400)), out);
  const size_t at = expectNoClick(out, change, 0.0005f);
  EXPECT_FLOAT_EQ(synth.getParameter(kDrone), 0.0f);
  // A fade of about 5 ms, not a cut and not a release.
  EXPECT_GT(measure::peak(out, at + ms(3), at + ms(4)), 0.01f);
  EXPECT_TRUE(measure::allZero(out, at + ms(6), out.size()));
}

INSTANTIATE_TEST_SUITE_P(Rates, ProgramChangeClick, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param));
                         });

}  // namespace
