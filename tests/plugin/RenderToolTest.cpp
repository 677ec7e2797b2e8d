// Runs the vellamor-render executable as a user would and checks the written
// file as libsndfile reads it.
#ifdef VELLAMOR_RENDER_TOOL

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;
using namespace testfiles;

namespace {

// Every sample of a file through libsndfile as floats, interleaved; integer
// samples scaled by 2^-(bits - 1), so that 24-bit full scale reads as
// 0x7fffff / 0x800000 and -1.
std::vector<float> readWithSndfile(const fs::path& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
  samples.resize(static_cast<std::size_t>(
      sf_read_float(file, samples.data(), static_cast<sf_count_t>(samples.size()))));
  sf_close(file);
  return samples;
}

class RenderTool : public ::testing::Test {
 protected:
  // The tool sees the data folders of the plug-in loaded here (the module keeps
  // the folders it found first), with one sound set to play and no other.
  void SetUp() override {
    fs::remove_all(SoundSetFixture::soundFolder());
    SoundSetFixture::writeSoundSet(1, "Render", TestSoundSet{});
  }
  fs::path write(const std::string& name, const Bytes& data) { return writeFile(dir_ / name, data); }
  // The built-in parameter table as a whole-state bank, so that programs do
  // not depend on the factory bank beside the module.
  fs::path builtInBank() { return write("builtin.bnk", SoundSetFixture::builtInChunk(false)); }
  // The sound folder of the test's data root, copied below `root`.
  void copySoundsTo(const fs::path& root) {
    const fs::path to = root / "Audio/Sounds/Banks/Quillmark/Vellamor";
    fs::create_directories(to);
    fs::copy(SoundSetFixture::soundFolder(), to, fs::copy_options::recursive);
  }
  // Exit status and standard error; `prefix` goes before the command in the shell.
  static CommandResult run(const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string command = "(" + prefix + " '" VELLAMOR_RENDER_TOOL "' --plugin '" VELLAMOR_PLUGIN_PATH
                          "' --data-home '" + SoundSetFixture::dataRoot() + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    return runCommand(command + " 2>&1 >/dev/null)");
  }
  // Exit status 1, `message` said and no file left.
  void expectFailure(const CommandResult& result, const std::string& message) {
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(wav_));
  }

  TempDir tmp_{"render-tool"};
  fs::path dir_ = tmp_.path(), wav_ = dir_ / "out.wav";
};

// 100 bpm, 96 ticks per quarter: one tick is 1/160 s. Running status,
// controllers, pitch bend, a program change and SysEx, in two tracks.
Bytes song() {
  return cat({midiHeader(1, 2, 96), track({tempo(0, 600000), endOfTrack(0)}),
              track({ev(0, {0xc0, 2}), ev(0, {0xb0, 7, 100}), ev(16, {0x90, 60, 100}),
                     ev(48, {62, 90}), ev(24, {0xe0, 0, 80}), ev(8, {0x80, 60, 0}),
                     ev(0, {0xf0, 0x03, 0x7d, 0x01, 0xf7}), ev(40, {0x80, 62, 64}), endOfTrack(96)})});
}

}  // namespace

// One held note 60 on a root-60 wave recorded at 44.1 kHz (441 Hz) sounds at
// 441 Hz in the file, whatever rate it is rendered at.
TEST_F(RenderTool, ANoteSoundsAtItsPitchAtEveryRate) {
  const fs::path midi = write("note.mid", cat({midiHeader(0, 1, 96),
                                               track({tempo(0, 600000), ev(0, {0x90, 60, 100}),
                                                      ev(160, {0x80, 60, 0}), endOfTrack(0)})}));
  std::vector<std::string> args = {"--format", "float", "--tail", "0"};
  for (auto [index, value] : SoundSetFixture::dryParameters())
    args.insert(args.end(), {"--set", std::to_string(index) + "=" + std::to_string(value)});
  for (const char* rate : {"44100", "48000", "96000"}) {
    std::vector<std::string> withRate = args;
    withRate.insert(withRate.end(), {"--rate", rate, midi.string(), wav_.string()});
    CommandResult result = run(withRate);
    ASSERT_EQ(result.status, 0) << result.output;
    SF_INFO info;
    const std::vector<float> samples = readWithSndfile(wav_, info);
    ASSERT_EQ(std::tuple(info.samplerate, info.channels), std::tuple(std::stoi(rate), 2));
    std::vector<float> left(samples.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i) left[i] = samples[2 * i];
    const double period = measure::period(left, left.size() / 10, left.size() * 9 / 10);
    ASSERT_GT(period, 0.0) << rate;
    EXPECT_NEAR(1200.0 * std::log2(info.samplerate / period / 441.0), 0.0, 1.0) << rate << " Hz";
  }
}

// A disk that fills up half way (writes past the limit fail instead of
// killing the tool): an error, and no half-written file left.
TEST_F(RenderTool, AFullDiskIsReportedAndLeavesNoHalfFile) {
  expectFailure(run({"--tail", "20", write("song.mid", song()).string(), wav_.string()},
                    "trap '' XFSZ; ulimit -f 400;"),
                "cannot write");
}

// Relative folders are taken from where the tool was started; when the
// instrument has nothing to play the run fails and names where it looked,
// rather than writing a song of silence.
TEST_F(RenderTool, RelativeDataFoldersAreFoundAndNothingToPlayIsAnError) {
  const fs::path midi = write("song.mid", song());
  // Away from the user's own folders whatever the options do.
  const std::string inDir = "cd '" + dir_.string() + "'; HOME='" + (dir_ / "nohome").string() + "'";
  copySoundsTo(dir_ / "system");
  copySoundsTo(dir_ / "home/data");
  for (auto [home, dirs] : {std::pair{"empty", "system"}, {"home", "empty"}}) {
    CommandResult result = run({"--data-home", home, "--data-dirs", dirs, "--format", "float",
                                "--tail", "0.2", midi.string(), "out.wav"},
                               inDir);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "");
    SF_INFO info;
    const std::vector<float> out = readWithSndfile(wav_, info);
    EXPECT_GT(measure::peak(out, 0, out.size()), 0.05f) << "sounds under --data-home " << home << " --data-dirs " << dirs;
    fs::remove(wav_);
  }

  // The only set is not the program's; a set whose main sound is damaged.
  fs::remove_all(dir_ / "system");
  fs::remove_all(dir_ / "home");
  const fs::path sounds = fs::path(SoundSetFixture::soundFolder());
  fs::rename(sounds / "01-Render", sounds / "02-Other");
  copySoundsTo(dir_ / "other");
  fs::rename(sounds / "02-Other", sounds / "01-Broken");
  copySoundsTo(dir_ / "broken");
  write("broken/Audio/Sounds/Banks/Quillmark/Vellamor/01-Broken/MainS.VORNsnd", Bytes(64, 7));
  const std::string bank = builtInBank().string();  // program 0 plays set 01
  const std::pair<const char*, const char*> cases[] = {
      {"empty", "no sound-set folder"},
      {"other", "the program's sound set is not among those found"},
      {"broken", "a sound file of the program's set could not be loaded"}};
  for (auto [dirs, why] : cases) {
    CommandResult result = run({"--data-home", "home", "--data-dirs", dirs, "--bank", bank,
                                "--program", "0", "-q", midi.string(), "out.wav"},
                               inDir);
    SCOPED_TRACE(dirs);
    expectFailure(result, std::string("vellamor-render: the instrument has no sound set to play: ") + why);
    for (const char* root : {"home/data", dirs})
      EXPECT_NE(result.output.find((dir_ / root).string() + "/Audio/Sounds/Banks/Quillmark/Vellamor/"),
                std::string::npos)
          << result.output;
  }
}

// A loud, dense passage: the integer file is clipped and the count of full-
// scale samples in it is said, even with -q; the float file keeps the same
// samples beyond full scale and they are said too.
TEST_F(RenderTool, SamplesAtOrBeyondFullScaleAreCountedAndSaid) {
  SoundSetFixture::writeSoundSet(1, "Render", {{100, 60, 0.9f}, {200, 36, 0.9f}, {300, 36, 0.9f}});
  Bytes notes;
  for (int i = 0; i < 40; ++i) {
    notes = cat({notes, ev(i ? 10 : 0, {0x90, static_cast<std::uint8_t>(40 + i * 7 % 30), 127})});
    if (i) notes = cat({notes, ev(0, {0x80, static_cast<std::uint8_t>(40 + (i - 1) * 7 % 30), 0})});
  }
  const fs::path midi = write("loud.mid", cat({midiHeader(0, 1, 96), track({notes, endOfTrack(10)})}));
  const std::string bank = builtInBank().string();
  struct Report { long long count = -1; double dbfs = 0.0, linear = 0.0; };
  auto renderAs = [&](const char* format, const char* kind, Report& report) {
    CommandResult result =
        run({"-q", "--bank", bank, "--program", "0", "--set", "Volume=1", "--set", "VolumeType=0",
             "--set", "Sympathetic=1", "--set", "Drone=1", "--format", format, "--tail", "0.5",
             midi.string(), wav_.string()});
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string head = std::string("vellamor-render: warning: %lld samples ") + kind +
                             " (peak %lf dBFS, %lf linear); ";
    ASSERT_EQ(std::sscanf(result.output.c_str(), head.c_str(), &report.count, &report.dbfs,
                          &report.linear),
              3)
        << result.output;
    EXPECT_EQ(result.output.back(), '\n');
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    EXPECT_NE(result.output.find(std::string(format) == "float" ? "a lower Volume"
                                                                : "--format float"),
              std::string::npos)
        << result.output;
  };

  Report clipped;
  renderAs("24", "clipped at full scale", clipped);
  SF_INFO info;
  const std::vector<float> pcm = readWithSndfile(wav_, info);
  ASSERT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  ASSERT_FALSE(pcm.empty());
  // 24-bit full scale: 0x7fffff and -0x800000.
  const auto atFullScale = std::count_if(pcm.begin(), pcm.end(), [](float v) {
    return v == 8388607.0f / 8388608.0f || v == -1.0f;
  });
  EXPECT_GT(atFullScale, 1000) << "the passage is loud enough to clip";
  EXPECT_EQ(clipped.count, atFullScale);

  Report over;
  renderAs("float", "over full scale", over);
  const std::vector<float> floats = readWithSndfile(wav_, info);
  ASSERT_EQ(floats.size(), pcm.size());
  const float peak = measure::peak(floats, 0, floats.size());
  const auto beyond =
      std::count_if(floats.begin(), floats.end(), [](float v) { return std::fabs(v) >= 1.0f; });
  EXPECT_EQ(over.count, beyond);
  EXPECT_EQ(over.count, clipped.count);
  EXPECT_GT(peak, 1.1f) << "float samples are kept beyond full scale";
  EXPECT_NEAR(over.linear, peak, 1e-4);
  EXPECT_NEAR(over.dbfs, 20.0 * std::log10(peak), 0.01);
  EXPECT_NEAR(clipped.linear, peak, 1e-4) << "the peak is what was played, before clipping";
}

#endif  // VELLAMOR_RENDER_TOOL
