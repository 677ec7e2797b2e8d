// Driving the built module with sound sets of looped cosines of known periods
// written on the spot into a private data folder (set before main() runs, as
// the plug-in resolves its folders when first loaded), and measurements.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/HostedPlugin.h"

class VstSynth;

// One voice's sound: a looped cosine of `period` samples at the root key and
// 44100 Hz, or silence.
struct TestTone {
  int period = 100;
  int rootKey = 60;
  float amplitude = 0.5f;
  bool silent = false;
  double frequencyAt(int note) const;  // in Hz
};
inline constexpr TestTone kSilence{.silent = true};

struct TestSoundSet {
  TestTone main{100, 60};
  TestTone symp{200, 36};
  TestTone drone{300, 36};
};

class SoundSetFixture : public ::testing::Test {
 public:
  enum Param {
    kMonoType = 3, kFineTune = 4, kPitchTune = 5, kRelease = 6, kToneSwitch = 7, kDrone = 11,
    kSympathetic = 12, kVolume = 13, kDroneType = 16, kDroneSplitNote = 17, kFlangerOn = 18,
    kReverberOn = 21, kReverberMix = 22, kSoundSet = 24, kPitchDeviation = 25,
    kToneDeviation = 26, kMicroTuningRoot = 27, kGlide = 29, kVolumeType = 30,
    kLearn = 69, kSoundSetRow = 71,
  };

  static std::string dataRoot();
  static std::string soundFolder();
  // Writes folder "NN-name" with the three sounds.
  static void writeSoundSet(int number, const std::string& name, const TestSoundSet& set);
  // Writes scale `name` with one value in cents per line.
  static void writeScale(const std::string& name, const std::vector<double>& cents);

  // The engine's built-in parameter table as a program or whole-state chunk.
  static std::vector<std::uint8_t> builtInChunk(bool program);
  // Loaded with the built-in parameter table (not the bundle's bank), resumed.
  std::unique_ptr<host::HostedPlugin> loadPlugin(double sampleRate = 44100.0, int blockSize = 256);
  std::unique_ptr<host::HostedPlugin> loadDry(double sampleRate = 44100.0);  // then dryMainOnly
  // A plain instrument: no deviations, no effects, no tone band, full volume,
  // unit gain, main voice only in the mix, play mode 2, drone mode 0.
  static void dryMainOnly(host::HostedPlugin& plugin);
  static std::vector<std::pair<int, float>> dryParameters();

  // Note-ons of velocity 100 at {frame, key}; a negative key releases that key.
  static host::MidiEventList notes(std::initializer_list<std::pair<int, int>> keys);
  // Renders with a schedule whose delta frames are absolute positions.
  static host::RenderedAudio render(host::HostedPlugin& plugin, int frames,
                                    const host::MidiEventList& schedule, int blockSize = 256);
  static host::RenderedAudio render(host::HostedPlugin& plugin, int frames, int blockSize = 256) {
    return plugin.render(frames, blockSize);
  }
  // Frames [start, start + frames) of an engine object of the test binary, in
  // blocks, with the events of a schedule of absolute positions; left channel.
  static std::vector<float> process(VstSynth& synth, const host::MidiEventList& schedule,
                                    int frames, int start = 0, int blockSize = 64);

 protected:
  void SetUp() override;
};

// Measurements on a stretch [from, to) of a signal.
namespace measure {
// Mean period in samples from rising zero crossings (interpolated); 0 when
// fewer than two crossings were found.
double period(const std::vector<float>& x, size_t from, size_t to);
double rms(const std::vector<float>& x, size_t from, size_t to);
float peak(const std::vector<float>& x, size_t from, size_t to);
bool allZero(const std::vector<float>& x, size_t from, size_t to);
bool allFinite(const std::vector<float>& x);
}  // namespace measure
