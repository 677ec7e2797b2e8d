// The instrument's sound is pinned by a stored render: a passage that takes
// every voice, mode and effect through the module is compared sample by
// sample with tests/data/reference-render.f32 (interleaved stereo float32,
// little-endian, 44100 Hz). Work on the render path must leave it unchanged.
//
// The stored file was made by the engine as it stood before the render path
// was tuned for speed. To make it again after a deliberate change of sound:
//
//   VELLAMOR_WRITE_REFERENCE=1 build/tests/plugin_tests
//       --gtest_filter='ReferenceRender.MatchesTheStoredRender'
//
// (one command line).
//
// Tolerance: kTolerance below, an absolute difference per sample. The
// passage peaks near 1, so it allows a few units in the last place of a
// float, left for a compiler that orders its float operations differently;
// on this tool chain the render is bit-exact. Any real change of behaviour
// (a sample late, a parameter read once too often or too seldom, a lost
// event) moves samples by orders of magnitude more.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fx/LFOx.h"
#include "sound/VORNsndWriter.h"
#include "tests/plugin/SoundSetFixture.h"

using host::MidiEventList;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kTolerance = 2e-6f;
constexpr int kSection = 33075;  // 0.75 s
constexpr int kSections = 5;

std::string referencePath() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" /
          "reference-render.f32")
      .string();
}

// A tone of a few partials, looped over a whole number of its periods (or
// decaying and unlooped), rich enough that interpolation errors would show.
VORNsndWriter::Wave partials(int period, int rootKey, float amplitude, bool looped,
                             int lowKey = 0, int highKey = 127, int lowVel = 0,
                             int highVel = 127) {
  VORNsndWriter::Wave wave;
  const int cycles = 30;
  const int loopStart = 2 * period;
  const int loopEnd = loopStart + cycles * period - 1;
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

class ReferenceRender : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    const std::string folder = soundFolder() + "01-Reference/";
    std::filesystem::create_directories(folder);
    // Four main waves split by key and velocity, so notes pick and cross-fade
    // between waves; sympathetic strings that die away; a looped drone.
    const std::vector<VORNsndWriter::Wave> main = {
        partials(120, 57, 0.5f, true, 0, 59, 0, 84),
        partials(118, 57, 0.8f, true, 0, 59, 85, 127),
        partials(90, 62, 0.5f, true, 60, 127, 0, 84),
        partials(88, 62, 0.8f, true, 60, 127, 85, 127),
    };
    const std::vector<VORNsndWriter::Wave> symp = {partials(300, 36, 0.6f, false)};
    const std::vector<VORNsndWriter::Wave> drone = {partials(330, 36, 0.6f, true)};
    std::string error;
    ASSERT_TRUE(VORNsndWriter::write(folder + "MainS.VORNsnd", "ref", main, nullptr, &error))
        << error;
    ASSERT_TRUE(VORNsndWriter::write(folder + "Symp.VORNsnd", "ref", symp, nullptr, &error))
        << error;
    ASSERT_TRUE(VORNsndWriter::write(folder + "Drone.VORNsnd", "ref", drone, nullptr, &error))
        << error;
  }

  // The passage, in blocks of blockSize frames. Control-thread parameter
  // changes fall between sections; everything else is MIDI inside them.
  // Events after a section's start sit at odd frames: events at delta 0 and
  // delta 1 of a block are both handled at its first sample, so an event
  // exactly on a block boundary would move by one sample with the block
  // size, and odd frames are never on a boundary of an even block size.
  std::vector<float> renderPassage(int blockSize) {
    auto plugin = loadPlugin(44100.0, blockSize);
    if (!plugin) return {};
    std::vector<float> out;
    out.reserve(static_cast<size_t>(2 * kSection * kSections));
    auto append = [&](const host::RenderedAudio& audio) {
      for (size_t i = 0; i < audio.frames(); ++i) {
        out.push_back(audio.left[i]);
        out.push_back(audio.right[i]);
      }
    };

    // 1: legato with the level follower, pitch envelope, glide, tone band
    // with tone deviation, pitch deviation, flanger and reverb.
    host::HostedPlugin& p = *plugin;
    p.setParameter(0, 0.8f);
    p.setParameter(1, 0.3f);
    p.setParameter(2, 0.5f);
    p.setParameter(kMonoType, 0.0f);
    p.setParameter(kRelease, 0.2f);
    p.setParameter(kToneSwitch, 1.0f);
    p.setParameter(8, 0.4f);
    p.setParameter(9, 0.3f);
    p.setParameter(kDrone, 0.5f);
    p.setParameter(kSympathetic, 0.8f);
    p.setParameter(kVolume, 0.9f);
    p.setParameter(kDroneType, 0.0f);
    p.setParameter(kFlangerOn, 1.0f);
    p.setParameter(19, 0.3f);
    p.setParameter(20, 0.5f);
    p.setParameter(kReverberOn, 1.0f);
    p.setParameter(kReverberMix, 0.3f);
    p.setParameter(23, 0.6f);
    p.setParameter(kPitchDeviation, 4.0f);
    p.setParameter(kToneDeviation, 4.0f);
    p.setParameter(kGlide, 0.2f);
    p.setParameter(kVolumeType, 1.0f);
    p.setParameter(31, 0.0f);
    p.setParameter(32, 0.0f);
    {
      MidiEventList s;
      s.noteOn(0, 0, 60, 100);
      s.noteOn(3001, 0, 64, 90);
      s.noteOff(6003, 0, 60);
      s.noteOn(9001, 0, 67, 120);
      s.pitchBend(12001, 0, 12000);
      s.pitchBend(12501, 0, 8192);
      s.noteOn(15001, 0, 55, 70);
      s.noteOff(17777, 0, 64);
      s.noteOff(18001, 0, 67);
      s.noteOn(21003, 0, 72, 127);
      s.noteOff(26001, 0, 55);
      s.noteOff(30001, 0, 72);
      append(render(p, kSection, s, blockSize));
    }

    // 2: struck anew, vibrato with aftertouch, combined flanger, a learned
    // controller moving the volume inside blocks, every pitch class.
    p.setParameter(kMonoType, 2.0f / 3.0f);
    p.setParameter(31, 1.0f);
    p.setParameter(32, 1.0f);
    p.setParameter(kGlide, 0.0f);
    p.setParameter(kToneSwitch, 0.0f);
    p.setParameter(kVolumeType, 2.0f);
    p.setParameter(1, 0.6f);
    p.setParameter(kLearn, 13.0f);
    {
      MidiEventList s;
      s.controller(5, 0, 7, 90);
      for (int k = 0; k < 12; ++k) s.noteOn(301 + k * 1200, 0, 50 + k, 40 + 7 * k);
      s.channelPressure(4003, 0, 100);
      s.controller(7001, 0, 7, 40);
      s.polyPressure(9003, 0, 55, 30);
      s.controller(11111, 0, 7, 127);
      s.pitchBend(13001, 0, 2000);
      s.controller(20001, 0, 7, 70);
      s.pitchBend(22001, 0, 8192);
      for (int k = 0; k < 12; ++k) s.noteOff(25001 + k * 300, 0, 50 + k);
      append(render(p, kSection, s, blockSize));
    }

    // 3: alternating play mode, drone on the keys below the split, more
    // pitch deviation, flanger off.
    p.setParameter(kMonoType, 1.0f / 3.0f);
    p.setParameter(kDroneType, 2.0f / 3.0f);
    p.setParameter(kDroneSplitNote, 24.0f);  // split at note 48
    p.setParameter(kFlangerOn, 0.0f);
    p.setParameter(kPitchDeviation, 5.0f);
    p.setParameter(31, 0.0f);
    p.setParameter(0, 0.2f);
    {
      MidiEventList s;
      s.noteOn(11, 0, 40, 100);
      s.noteOn(2001, 0, 62, 100);
      s.noteOn(5001, 0, 65, 60);
      s.noteOn(8001, 0, 69, 110);
      s.noteOff(9001, 0, 40);
      s.noteOn(11001, 0, 43, 90);
      s.noteOff(14001, 0, 62);
      s.noteOff(14003, 0, 65);
      s.noteOn(16001, 0, 74, 90);
      s.noteOff(20001, 0, 69);
      s.noteOff(22001, 0, 43);
      s.noteOff(28001, 0, 74);
      append(render(p, kSection, s, blockSize));
    }

    // 4: flanger back on, a chord, all notes off, then the tails ring out.
    p.setParameter(kFlangerOn, 1.0f);
    p.setParameter(kDroneType, 0.0f);
    p.setParameter(kMonoType, 0.0f);
    {
      MidiEventList s;
      s.noteOn(101, 0, 57, 100);
      s.noteOn(201, 0, 61, 100);
      s.noteOn(4001, 0, 64, 0);  // velocity 0: a note-off
      s.controller(9001, 0, 123, 0);
      s.noteOn(12001, 0, 70, 80);
      s.noteOff(15001, 0, 70);
      append(render(p, kSection, s, blockSize));
    }

    // 5: no effects, so the engine falls silent between two notes while the
    // vibrato runs on; the second note's vibrato shows where it got to.
    p.setParameter(kFlangerOn, 0.0f);
    p.setParameter(kReverberOn, 0.0f);
    p.setParameter(kMonoType, 2.0f / 3.0f);
    p.setParameter(31, 1.0f);
    p.setParameter(0, 0.9f);
    p.setParameter(1, 0.5f);
    p.setParameter(kRelease, 0.0f);
    {
      MidiEventList s;
      s.noteOn(1, 0, 60, 100);
      s.noteOff(3001, 0, 60);
      s.noteOn(20001, 0, 64, 100);
      append(render(p, kSection, s, blockSize));
    }
    return out;
  }

  static double sectionRms(const std::vector<float>& x, int section) {
    double sum = 0.0;
    const size_t from = static_cast<size_t>(2 * kSection * section);
    const size_t to = from + static_cast<size_t>(2 * kSection);
    for (size_t i = from; i < to && i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / (2.0 * kSection));
  }
};

TEST_F(ReferenceRender, PassageSoundsInEverySectionAndStaysFinite) {
  const std::vector<float> out = renderPassage(64);
  ASSERT_EQ(out.size(), static_cast<size_t>(2 * kSection * kSections));
  ASSERT_TRUE(measure::allFinite(out));
  // A silent or clipped passage would make the comparison below worthless.
  for (int section = 0; section < kSections; ++section) {
    EXPECT_GT(sectionRms(out, section), 0.01) << "section " << section;
    EXPECT_LT(sectionRms(out, section), 1.0) << "section " << section;
  }
  // The last section falls silent between its notes.
  const size_t silentFrom = static_cast<size_t>(2 * (4 * kSection + 12000));
  const size_t silentTo = static_cast<size_t>(2 * (4 * kSection + 20000));
  EXPECT_TRUE(measure::allZero(out, silentFrom, silentTo));
  // The flanger and reverb make the channels differ.
  bool differ = false;
  for (size_t i = 0; i + 1 < out.size() && !differ; i += 2) differ = out[i] != out[i + 1];
  EXPECT_TRUE(differ);
}

TEST_F(ReferenceRender, MatchesTheStoredRender) {
  const std::vector<float> out = renderPassage(64);
  ASSERT_EQ(out.size(), static_cast<size_t>(2 * kSection * kSections));
  const std::string path = referencePath();

  if (std::getenv("VELLAMOR_WRITE_REFERENCE")) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()),
               static_cast<std::streamsize>(out.size() * sizeof(float)));
    ASSERT_TRUE(file.good()) << "cannot write " << path;
    std::printf("wrote %s\n", path.c_str());
    return;
  }

  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file.good()) << "missing " << path;
  std::vector<float> stored(out.size());
  file.read(reinterpret_cast<char*>(stored.data()),
            static_cast<std::streamsize>(stored.size() * sizeof(float)));
  ASSERT_EQ(file.gcount(), static_cast<std::streamsize>(stored.size() * sizeof(float)));
  ASSERT_EQ(file.peek(), std::ifstream::traits_type::eof()) << "stored render is longer";

  size_t worst = 0;
  float worstDiff = 0.0f;
  size_t differing = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const float d = std::fabs(out[i] - stored[i]);
    if (!(d <= worstDiff)) {
      worstDiff = d;
      worst = i;
    }
    if (d != 0.0f) ++differing;
  }
  EXPECT_LE(worstDiff, kTolerance) << "worst at frame " << worst / 2 << " channel " << worst % 2
                                   << ": " << out[worst] << " instead of " << stored[worst];
  std::printf("reference: %zu of %zu samples differ, largest difference %g\n", differing,
              out.size(), static_cast<double>(worstDiff));
}

// The per-sample order of events, parameter reads and voices does not depend
// on how the host cuts the stream into blocks.
TEST_F(ReferenceRender, BlockSizeDoesNotChangeTheSound) {
  const std::vector<float> reference = renderPassage(64);
  for (int blockSize : {2, 100, 512, 4096}) {
    const std::vector<float> out = renderPassage(blockSize);
    ASSERT_EQ(out.size(), reference.size()) << "block " << blockSize;
    size_t firstDiff = out.size();
    for (size_t i = 0; i < out.size(); ++i)
      if (out[i] != reference[i]) {
        firstDiff = i;
        break;
      }
    EXPECT_EQ(firstDiff, out.size()) << "block " << blockSize << " differs from frame "
                                     << firstDiff / 2;
  }
}

// While the instrument is silent the vibrato is stepped a stretch at a time;
// it must come out where frame-by-frame ticking would have left it, turns
// of direction included, for every waveform.
TEST(ReferenceVibrato, SteppingAStretchEqualsTickingEachFrame) {
  for (int waveform = 0; waveform <= 6; ++waveform) {
    for (float hz : {0.0f, 5.0f, 3000.0f}) {
      LFOx ticked, stepped;
      for (LFOx* lfo : {&ticked, &stepped}) {
        lfo->setWaveform(waveform);
        lfo->setPureRate(hz);
      }
      for (int n : {1, 7, 64, 1000, 44100}) {
        for (int i = 0; i < n; ++i) ticked.tick();
        stepped.advance(n);
        ASSERT_EQ(stepped.getPhase(), ticked.getPhase())
            << "waveform " << waveform << " at " << hz << " Hz after " << n;
        for (int i = 0; i < 5; ++i)
          ASSERT_EQ(stepped.tick(), ticked.tick())
              << "waveform " << waveform << " at " << hz << " Hz after " << n;
      }
    }
  }
}

}  // namespace
