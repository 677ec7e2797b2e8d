// Runs the vellamor-render executable as a user would and checks its output
// against a render of the same song straight through the host library.
#ifdef VELLAMOR_RENDER_TOOL

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;
using namespace testfiles;

namespace {

// A float WAV reader of our own, so the tool's writer is checked
// independently (little-endian host, as the file).
struct Wav {
  int formatTag = 0, channels = 0, rate = 0, bits = 0;  // tag 3: float, also when extensible
  std::vector<float> samples;                            // interleaved
  std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

Wav readFloatWav(const fs::path& path) {
  Wav wav;
  const std::string b = readFile(path);
  auto le = [&](std::size_t at, int bytes) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, static_cast<std::size_t>(bytes));
    return static_cast<int>(v);
  };
  if (b.size() < 12 || b.compare(0, 4, "RIFF") || b.compare(8, 4, "WAVE")) return wav;
  for (std::size_t at = 12, size; at + 8 <= b.size(); at += 8 + size + (size & 1)) {
    size = std::min<std::size_t>(static_cast<std::size_t>(le(at + 4, 4)), b.size() - at - 8);
    if (!b.compare(at, 4, "fmt ") && size >= 16) {
      wav.formatTag = le(at + 8 + (le(at + 8, 2) == 0xfffe && size >= 26 ? 24 : 0), 2);
      wav.channels = le(at + 10, 2);
      wav.rate = le(at + 12, 4);
      wav.bits = le(at + 22, 2);
    } else if (!b.compare(at, 4, "data")) {
      wav.samples.resize(size / 4);
      std::memcpy(wav.samples.data(), b.data() + at + 8, wav.samples.size() * 4);
    }
  }
  return wav;
}

class RenderTool : public ::testing::Test {
 protected:
  // The tool sees the data folders of the plug-in loaded here (the module keeps
  // the folders it found first), with a sound folder so that nothing complains.
  void SetUp() override { fs::create_directories(SoundSetFixture::soundFolder()); }
  fs::path write(const std::string& name, const Bytes& data) { return writeFile(dir_ / name, data); }
  // Exit status and standard error; `prefix` goes before the command in the shell.
  static CommandResult run(const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string command = "(" + prefix + " '" VELLAMOR_RENDER_TOOL "' --plugin '" VELLAMOR_PLUGIN_PATH
                          "' --data-home '" + SoundSetFixture::dataRoot() + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    return runCommand(command + " 2>&1 >/dev/null)");
  }

  TempDir tmp_{"render-tool"};
  fs::path dir_ = tmp_.path(), wav_ = dir_ / "out.wav";
};

// 100 bpm, 96 ticks per quarter: one tick is 1/160 s. Running status,
// controllers, pitch bend, a program change and SysEx, in two tracks.
Bytes song() {
  return midiFile(
      1,
      {cat({tempo(0, 600000), endOfTrack(0)}),
       cat({ev(0, {0xc0, 2}), ev(0, {0xb0, 7, 100}), ev(16, {0x90, 60, 100}), ev(48, {62, 90}),
            ev(24, {0xe0, 0, 80}), ev(8, {0x80, 60, 0}), ev(0, {0xf0, 0x03, 0x7d, 0x01, 0xf7}),
            ev(40, {0x80, 62, 64}), endOfTrack(96)})},
      96);
}
constexpr double kSongSeconds = (16 + 48 + 24 + 8 + 40 + 96) / 160.0;

}  // namespace

TEST_F(RenderTool, WritesTheSameSamplesAsADirectHostRender) {
  const double rate = 48000.0;
  const int block = 200;  // not a divisor of the event positions
  const fs::path midi = write("song.mid", song());
  CommandResult result =
      run({"--format", "float", "--rate", "48000", "--block", std::to_string(block), "--tail",
           "0.25", "--program", "3", "--set", "VOLUME   =0.6", midi.string(), wav_.string()});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output, "") << "a successful run without a terminal says nothing";
  Wav out = readFloatWav(wav_);
  EXPECT_EQ(std::tuple(out.formatTag, out.bits, out.channels, out.rate),
            std::tuple(3, 32, 2, 48000));
  const int frames = static_cast<int>(std::lround(kSongSeconds * rate) + std::lround(0.25 * rate));
  ASSERT_EQ(out.frames(), static_cast<std::size_t>(frames));

  // The same song, the same set-up, straight through the host library.
  std::string error;
  auto plugin = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, {rate, block, 100.0});
  ASSERT_TRUE(plugin) << error;
  plugin->setProgram(3);
  plugin->setParameter(13, 0.6f);  // names match without regard to case or padding
  plugin->timeline().setTempo(100.0);
  plugin->resume();
  plugin->startProcess();
  plugin->timeline().setPlaying(true);
  auto at = [&](int tick) { return static_cast<int>(std::lround(tick / 160.0 * rate)); };
  host::MidiEventList schedule;
  schedule.programChange(at(0), 0, 2);
  schedule.controller(at(0), 0, 7, 100);
  schedule.noteOn(at(16), 0, 60, 100);
  schedule.noteOn(at(64), 0, 62, 90);
  schedule.pitchBend(at(88), 0, 80 << 7);
  schedule.noteOff(at(96), 0, 60, 0);
  const std::uint8_t sysex[] = {0xf0, 0x7d, 0x01, 0xf7};
  schedule.sysex(at(96), sysex, sizeof sysex);
  schedule.noteOff(at(136), 0, 62, 64);
  host::RenderedAudio direct = plugin->render(frames, block, schedule);
  EXPECT_EQ(direct.droppedEvents, 0);
  ASSERT_EQ(direct.frames(), out.frames());
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < direct.frames(); ++i)
    mismatches += out.samples[2 * i] != direct.left[i] || out.samples[2 * i + 1] != direct.right[i];
  EXPECT_EQ(mismatches, 0u) << "of " << direct.frames() << " frames";
}

// A damaged song, or a disk that fills up half way (writes past the limit
// fail instead of killing the tool): an error, and no file or half a file left.
TEST_F(RenderTool, FailuresAreReportedAndLeaveNoOutput) {
  Bytes cut = song();
  cut.resize(cut.size() - 5);
  CommandResult result = run({write("damaged.mid", cut).string(), wav_.string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("damaged.mid is truncated"), std::string::npos) << result.output;
  EXPECT_FALSE(fs::exists(wav_));
  result = run({"--tail", "20", write("song.mid", song()).string(), wav_.string()},
               "trap '' XFSZ; ulimit -f 400;");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("cannot write"), std::string::npos) << result.output;
  EXPECT_FALSE(fs::exists(wav_));
}

#endif  // VELLAMOR_RENDER_TOOL
