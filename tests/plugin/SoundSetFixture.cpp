#include "tests/plugin/SoundSetFixture.h"

#include "plugin/VstSynth.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "sound/VORNsndWriter.h"
#include "tests/testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Created before main() so that no plug-in load in this process, ours or any
// other test's, ever looks at the real user's folders.
const testfiles::TempDir g_root("vellamor-enginetests");
const bool g_rootSet = [] {
  setenv("XDG_DATA_HOME", (g_root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
  return true;
}();

VORNsndWriter::Wave makeWave(const TestTone& tone) {
  // The loop holds whole periods and the data runs on past it, so both the
  // wrap and the interpolation across the loop end stay on the cosine.
  const int period = std::max(tone.period, 2);
  VORNsndWriter::Wave wave;
  for (int i = 0; i < 42 * period; ++i)
    wave.samples.push_back(
        tone.silent ? 0.0f : static_cast<float>(tone.amplitude * std::cos(2.0 * kPi * i / period)));
  wave.loopStart = period;
  wave.loopEnd = 41 * period - 1;
  wave.rootKey = tone.rootKey;
  return wave;
}

}  // namespace

double TestTone::frequencyAt(int note) const {
  // The oscillator advances one sample per output sample at the root key and
  // 44100 Hz; other rates scale the step, not the pitch.
  return 44100.0 / period * std::pow(2.0, (note - rootKey) / 12.0);
}

std::string SoundSetFixture::dataRoot() { return g_root.str(); }

std::string SoundSetFixture::soundFolder() {
  return dataRoot() + "/data/Audio/Sounds/Banks/Quillmark/Vellamor/";
}

void SoundSetFixture::writeSoundSet(int number, const std::string& name, const TestSoundSet& set) {
  const std::string path =
      soundFolder() + (number < 10 ? "0" : "") + std::to_string(number) + "-" + name + "/";
  fs::create_directories(path);
  for (auto [file, tone] : {std::pair{"MainS", set.main}, {"Symp", set.symp}, {"Drone", set.drone}}) {
    std::string error;
    ASSERT_TRUE(VORNsndWriter::write(path + file + ".VORNsnd", "test", {makeWave(tone)}, nullptr,
                                     &error))
        << error;
  }
}

void SoundSetFixture::writeScale(const std::string& name, const std::vector<double>& cents) {
  fs::create_directories(soundFolder() + "Scale");
  std::ofstream out(soundFolder() + "Scale/" + name + ".txt");
  for (double c : cents) out << c << "\n";
}

void SoundSetFixture::SetUp() {
  ASSERT_FALSE(dataRoot().empty());
  std::error_code ec;
  fs::remove_all(dataRoot() + "/data", ec);
  fs::remove_all(dataRoot() + "/config", ec);
  fs::create_directories(soundFolder());
  fs::create_directories(dataRoot() + "/config");
}

std::unique_ptr<host::HostedPlugin> SoundSetFixture::loadPlugin(double sampleRate, int blockSize) {
  std::string error;
  auto plugin = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error,
                                         host::HostSettings{sampleRate, blockSize, 120.0});
  EXPECT_TRUE(plugin) << error;
  if (!plugin) return plugin;
  // The bundle may carry a factory bank; every test starts from the built-in
  // parameter table instead, sent as a program chunk (values, scale, set).
  static const std::vector<std::uint8_t> defaults = builtInChunk(true);
  plugin->setChunk(defaults, true);
  plugin->resume();
  return plugin;
}

std::vector<std::uint8_t> SoundSetFixture::builtInChunk(bool program) {
  VstSynth table(nullptr);
  void* data = nullptr;
  const vst::VstInt32 size = table.getChunk(&data, program);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return {bytes, bytes + size};
}

std::unique_ptr<host::HostedPlugin> SoundSetFixture::loadDry(double sampleRate) {
  auto plugin = loadPlugin(sampleRate);
  if (plugin) dryMainOnly(*plugin);
  return plugin;
}

host::MidiEventList SoundSetFixture::notes(std::initializer_list<std::pair<int, int>> keys) {
  host::MidiEventList list;
  for (auto [frame, key] : keys)
    key < 0 ? list.noteOff(frame, 0, -key) : list.noteOn(frame, 0, key, 100);
  return list;
}

std::vector<std::pair<int, float>> SoundSetFixture::dryParameters() {
  // 0: no pitch envelope; 31: Vib FX off.
  return {{0, 0.5f},          {kMonoType, 2.0f / 3.0f}, {kDroneType, 0.0f},     {kFineTune, 0.5f},
          {kPitchTune, 0.5f}, {kToneSwitch, 0.0f},      {kDrone, 0.0f},         {kSympathetic, 0.0f},
          {kVolume, 1.0f},    {kFlangerOn, 0.0f},       {kReverberOn, 0.0f},    {kGlide, 0.0f},
          {kPitchDeviation, 2.0f}, {kToneDeviation, 2.0f}, {kMicroTuningRoot, 0.0f},
          {kVolumeType, 1.0f}, {31, 0.0f}};
}

void SoundSetFixture::dryMainOnly(host::HostedPlugin& plugin) {
  for (auto [index, value] : dryParameters()) plugin.setParameter(index, value);
}

host::RenderedAudio SoundSetFixture::render(host::HostedPlugin& plugin, int frames,
                                            const host::MidiEventList& schedule, int blockSize) {
  host::RenderedAudio out = plugin.render(frames, blockSize, schedule);
  EXPECT_EQ(out.droppedEvents, 0);
  return out;
}

std::vector<float> SoundSetFixture::process(VstSynth& synth, const host::MidiEventList& schedule,
                                            int frames, int start, int blockSize) {
  std::vector<float> out, left(static_cast<size_t>(blockSize)), right(left.size());
  float* outputs[2] = {left.data(), right.data()};
  for (int done = 0; done < frames; done += blockSize) {
    const int n = std::min(blockSize, frames - done), at = start + done;
    host::MidiEventList block;
    for (size_t k = 0; k < schedule.size(); ++k) {
      const vst::VstEvent& e = schedule.at(k);
      if (e.deltaFrames >= at && e.deltaFrames < at + n) block.append(e, e.deltaFrames - at);
    }
    synth.processEvents(block.vstEvents());
    synth.processReplacing(nullptr, outputs, n);
    out.insert(out.end(), left.begin(), left.begin() + n);
  }
  return out;
}

namespace measure {

double period(const std::vector<float>& x, size_t from, size_t to) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = from + 1; i < std::min(to, x.size()); ++i) {
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
      last = static_cast<double>(i - 1) + (-x[i - 1]) / (static_cast<double>(x[i]) - x[i - 1]);
      if (crossings++ == 0) first = last;
    }
  }
  return crossings < 2 ? 0.0 : (last - first) / (crossings - 1);
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
  return to <= from ? 0.0 : std::sqrt(sum / static_cast<double>(to - from));
}

float peak(const std::vector<float>& x, size_t from, size_t to) {
  float p = 0.0f;
  for (size_t i = from; i < std::min(to, x.size()); ++i) p = std::max(p, std::fabs(x[i]));
  return p;
}

bool allZero(const std::vector<float>& x, size_t from, size_t to) {
  for (size_t i = from; i < std::min(to, x.size()); ++i)
    if (x[i] != 0.0f) return false;
  return true;
}

bool allFinite(const std::vector<float>& x) {
  return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

}  // namespace measure
