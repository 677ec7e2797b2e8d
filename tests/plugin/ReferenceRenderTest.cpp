// A passage through every voice, mode and effect, compared with the stored
// render tests/data/reference-render.f32 (stereo float32, 44100 Hz). After a
// deliberate change of sound: VELLAMOR_WRITE_REFERENCE=1 with
// --gtest_filter='ReferenceRender.MatchesTheStoredRender'. kTolerance allows
// a few float ulps for a compiler that orders operations differently.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "sound/VORNsndWriter.h"
#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/TestFiles.h"

using host::MidiEventList;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kTolerance = 2e-6f;
constexpr int kSection = 33075;  // 0.75 s
constexpr int kSections = 5;

std::string referencePath() {
  return VELLAMOR_SOURCE_DIR "/tests/data/reference-render.f32";
}

// A tone of a few partials, looped over a whole number of its periods (or
// decaying and unlooped), rich enough that interpolation errors would show.
VORNsndWriter::Wave partials(int period, int rootKey, float amplitude, bool looped,
                             int lowKey = 0, int highKey = 127, int lowVel = 0,
                             int highVel = 127) {
  VORNsndWriter::Wave wave;
  const int loopStart = 2 * period;
  const int loopEnd = loopStart + 30 * period - 1;
  const int length = looped ? loopEnd + 1 + period : 40 * period;
  wave.samples.resize(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) {
    const double t = 2.0 * kPi * i / period;
    double v = std::sin(t) + 0.4 * std::sin(2.0 * t + 0.3) + 0.2 * std::sin(5.0 * t + 1.1);
    if (!looped) v *= std::exp(-3.0 * i / length);
    wave.samples[static_cast<size_t>(i)] = static_cast<float>(amplitude * v / 1.6);
  }
  if (looped) {
    wave.loopStart = loopStart;
    wave.loopEnd = loopEnd;
  }
  wave.rootKey = rootKey;
  wave.lowKey = lowKey;
  wave.highKey = highKey;
  wave.lowVelocity = lowVel;
  wave.highVelocity = highVel;
  return wave;
}

// n note on, f note off, b pitch bend, c controller, a channel pressure,
// p poly pressure; channel 1.
struct Event {
  char kind;
  int at, a, b;
};

// Parameter changes made before a section, then its MIDI.
struct Section {
  std::vector<std::pair<int, float>> parameters;
  std::vector<Event> events;
};

// Events sit at odd frames, never on an even block boundary (deltas 0 and 1
// both act at a block's first sample).
std::vector<Section> passage() {
  using P = SoundSetFixture;
  std::vector<Section> sections = {
      // 1: legato with the level follower, pitch envelope, glide, tone band
      // with tone deviation, pitch deviation, flanger and reverb.
      {{{0, 0.8f}, {1, 0.3f}, {2, 0.5f}, {P::kMonoType, 0.0f}, {P::kRelease, 0.2f},
        {P::kToneSwitch, 1.0f}, {8, 0.4f}, {9, 0.3f}, {P::kDrone, 0.5f},
        {P::kSympathetic, 0.8f}, {P::kVolume, 0.9f}, {P::kDroneType, 0.0f},
        {P::kFlangerOn, 1.0f}, {19, 0.3f}, {20, 0.5f}, {P::kReverberOn, 1.0f},
        {P::kReverberMix, 0.3f}, {23, 0.6f}, {P::kPitchDeviation, 4.0f},
        {P::kToneDeviation, 4.0f}, {P::kGlide, 0.2f}, {P::kVolumeType, 1.0f}, {31, 0.0f},
        {32, 0.0f}},
       {{'n', 0, 60, 100}, {'n', 3001, 64, 90}, {'f', 6003, 60, 0}, {'n', 9001, 67, 120},
        {'b', 12001, 12000, 0}, {'b', 12501, 8192, 0}, {'n', 15001, 55, 70},
        {'f', 17777, 64, 0}, {'f', 18001, 67, 0}, {'n', 21003, 72, 127}, {'f', 26001, 55, 0},
        {'f', 30001, 72, 0}}},
      // 2: struck anew, vibrato with aftertouch, combined flanger, a learned
      // controller moving the volume inside blocks, every pitch class.
      {{{P::kMonoType, 2.0f / 3.0f}, {31, 1.0f}, {32, 1.0f}, {P::kGlide, 0.0f},
        {P::kToneSwitch, 0.0f}, {P::kVolumeType, 2.0f}, {1, 0.6f},
        {P::kLearn, static_cast<float>(P::kVolume)}},
       {{'c', 5, 7, 90}}},
      // 3: alternating play mode, drone on the keys below the split (note 48),
      // more pitch deviation, flanger off.
      {{{P::kMonoType, 1.0f / 3.0f}, {P::kDroneType, 2.0f / 3.0f}, {P::kDroneSplitNote, 24.0f},
        {P::kFlangerOn, 0.0f}, {P::kPitchDeviation, 5.0f}, {31, 0.0f}, {0, 0.2f}},
       {{'n', 11, 40, 100}, {'n', 2001, 62, 100}, {'n', 5001, 65, 60}, {'n', 8001, 69, 110},
        {'f', 9001, 40, 0}, {'n', 11001, 43, 90}, {'f', 14001, 62, 0}, {'f', 14003, 65, 0},
        {'n', 16001, 74, 90}, {'f', 20001, 69, 0}, {'f', 22001, 43, 0}, {'f', 28001, 74, 0}}},
      // 4: flanger back on, a chord, all notes off, then the tails ring out.
      {{{P::kFlangerOn, 1.0f}, {P::kDroneType, 0.0f}, {P::kMonoType, 0.0f}},
       {{'n', 101, 57, 100}, {'n', 201, 61, 100}, {'n', 4001, 64, 0} /* a note-off */,
        {'c', 9001, 123, 0}, {'n', 12001, 70, 80}, {'f', 15001, 70, 0}}},
      // 5: no effects, so the engine falls silent between two notes while
      // the vibrato runs on; the second note's vibrato shows where it got to.
      {{{P::kFlangerOn, 0.0f}, {P::kReverberOn, 0.0f}, {P::kMonoType, 2.0f / 3.0f}, {31, 1.0f},
        {0, 0.9f}, {1, 0.5f}, {P::kRelease, 0.0f}},
       {{'n', 1, 60, 100}, {'f', 3001, 60, 0}, {'n', 20001, 64, 100}}},
  };
  std::vector<Event>& second = sections[1].events;
  for (int k = 0; k < 12; ++k) second.push_back({'n', 301 + k * 1200, 50 + k, 40 + 7 * k});
  second.insert(second.end(), {{'a', 4003, 100, 0}, {'c', 7001, 7, 40}, {'p', 9003, 55, 30},
                               {'c', 11111, 7, 127}, {'b', 13001, 2000, 0},
                               {'c', 20001, 7, 70}, {'b', 22001, 8192, 0}});
  for (int k = 0; k < 12; ++k) second.push_back({'f', 25001 + k * 300, 50 + k, 0});
  return sections;
}

class ReferenceRender : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    const std::string folder = soundFolder() + "01-Reference/";
    std::filesystem::create_directories(folder);
    // Four main waves split by key and velocity, so notes pick and cross-fade
    // between waves; sympathetic strings that die away; a looped drone.
    const std::pair<const char*, std::vector<VORNsndWriter::Wave>> files[] = {
        {"MainS",
         {partials(120, 57, 0.5f, true, 0, 59, 0, 84),
          partials(118, 57, 0.8f, true, 0, 59, 85, 127),
          partials(90, 62, 0.5f, true, 60, 127, 0, 84),
          partials(88, 62, 0.8f, true, 60, 127, 85, 127)}},
        {"Symp", {partials(300, 36, 0.6f, false)}},
        {"Drone", {partials(330, 36, 0.6f, true)}}};
    for (const auto& [name, waves] : files) {
      std::string error;
      ASSERT_TRUE(VORNsndWriter::write(folder + name + ".VORNsnd", "ref", waves, nullptr, &error))
          << error;
    }
  }

  // The passage in blocks of blockSize frames, interleaved stereo.
  std::vector<float> renderPassage(int blockSize) {
    auto plugin = loadPlugin(44100.0, blockSize);
    if (!plugin) return {};
    std::vector<float> out;
    for (const Section& section : passage()) {
      for (auto [index, value] : section.parameters) plugin->setParameter(index, value);
      MidiEventList s;
      for (const Event& e : section.events) {
        switch (e.kind) {
          case 'n': s.noteOn(e.at, 0, e.a, e.b); break;
          case 'f': s.noteOff(e.at, 0, e.a); break;
          case 'b': s.pitchBend(e.at, 0, e.a); break;
          case 'c': s.controller(e.at, 0, e.a, e.b); break;
          case 'a': s.channelPressure(e.at, 0, e.a); break;
          case 'p': s.polyPressure(e.at, 0, e.a, e.b); break;
        }
      }
      const host::RenderedAudio audio = render(*plugin, kSection, s, blockSize);
      for (size_t i = 0; i < audio.frames(); ++i)
        out.insert(out.end(), {audio.left[i], audio.right[i]});
    }
    return out;
  }
};

TEST_F(ReferenceRender, MatchesTheStoredRender) {
  const std::vector<float> out = renderPassage(64);
  ASSERT_EQ(out.size(), static_cast<size_t>(2 * kSection * kSections));
  ASSERT_TRUE(measure::allFinite(out));
  // A silent or clipped passage would make the comparison worthless.
  for (int section = 0; section < kSections; ++section) {
    const size_t from = static_cast<size_t>(2 * kSection * section);
    const double level = measure::rms(out, from, from + 2 * kSection);
    EXPECT_GT(level, 0.01) << "section " << section;
    EXPECT_LT(level, 1.0) << "section " << section;
  }
  // The last section falls silent between its notes.
  EXPECT_TRUE(measure::allZero(out, 2 * (4 * kSection + 12000), 2 * (4 * kSection + 20000)));
  // The flanger and reverb make the channels differ.
  bool differ = false;
  for (size_t i = 0; i + 1 < out.size() && !differ; i += 2) differ = out[i] != out[i + 1];
  EXPECT_TRUE(differ);

  const std::string path = referencePath();
  const std::string bytes(reinterpret_cast<const char*>(out.data()), out.size() * sizeof(float));
  if (std::getenv("VELLAMOR_WRITE_REFERENCE")) {
    testfiles::writeFile(path, bytes);
    ASSERT_EQ(testfiles::readFile(path), bytes) << "cannot write " << path;
    std::printf("wrote %s\n", path.c_str());
    return;
  }
  const std::string storedBytes = testfiles::readFile(path);
  ASSERT_EQ(storedBytes.size(), bytes.size()) << path << " is missing or of another length";
  std::vector<float> stored(out.size());
  std::memcpy(stored.data(), storedBytes.data(), storedBytes.size());

  size_t worst = 0;
  for (size_t i = 1; i < out.size(); ++i)
    if (!(std::fabs(out[i] - stored[i]) <= std::fabs(out[worst] - stored[worst]))) worst = i;
  EXPECT_LE(std::fabs(out[worst] - stored[worst]), kTolerance)
      << "worst at frame " << worst / 2 << " channel " << worst % 2 << ": " << out[worst]
      << " instead of " << stored[worst];
}

TEST_F(ReferenceRender, BlockSizeDoesNotChangeTheSound) {
  const std::vector<float> reference = renderPassage(64);
  for (int blockSize : {2, 100, 512, 4096}) {
    const std::vector<float> out = renderPassage(blockSize);
    ASSERT_EQ(out.size(), reference.size()) << "block " << blockSize;
    size_t firstDiff = 0;
    while (firstDiff < out.size() && out[firstDiff] == reference[firstDiff]) ++firstDiff;
    EXPECT_EQ(firstDiff, out.size()) << "block " << blockSize << " differs from frame "
                                     << firstDiff / 2;
  }
}

}  // namespace
