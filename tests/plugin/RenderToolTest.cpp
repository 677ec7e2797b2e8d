// Runs the vellamor-render executable as a user would and checks its output
// against a render of the same song straight through the host library.
#ifdef VELLAMOR_RENDER_TOOL

#include <fcntl.h>
#include <gtest/gtest.h>

#include "tests/plugin/SoundSetFixture.h"
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "host/HostedPlugin.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;
using namespace testfiles;

namespace {

// --- a WAV reader of our own, so the tool's writer is checked independently --

struct Wav {
  bool ok = false;
  int formatTag = 0;  // 1 PCM, 3 float (from the extensible sub-format too)
  int channels = 0;
  int rate = 0;
  int bits = 0;
  std::vector<float> samples;  // interleaved
  std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

std::uint32_t le(const Bytes& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}

Wav readWav(const fs::path& path) {
  Wav wav;
  std::string text = readFile(path);
  Bytes b(text.begin(), text.end());
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
    return wav;
  bool haveFormat = false;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    std::size_t size = le(b, at + 4, 4);
    std::size_t body = at + 8;
    if (body + size > b.size()) return wav;
    if (!std::memcmp(b.data() + at, "fmt ", 4) && size >= 16) {
      wav.formatTag = static_cast<int>(le(b, body, 2));
      if (wav.formatTag == 0xfffe && size >= 26)
        wav.formatTag = static_cast<int>(le(b, body + 24, 2));
      wav.channels = static_cast<int>(le(b, body + 2, 2));
      wav.rate = static_cast<int>(le(b, body + 4, 4));
      wav.bits = static_cast<int>(le(b, body + 14, 2));
      haveFormat = true;
    } else if (!std::memcmp(b.data() + at, "data", 4) && haveFormat) {
      int bytes = wav.bits / 8;
      for (std::size_t p = body; p + static_cast<std::size_t>(bytes) <= body + size; p += bytes) {
        std::uint32_t raw = le(b, p, bytes);
        if (wav.formatTag == 3 && bytes == 4) {
          float f;
          std::memcpy(&f, &raw, 4);
          wav.samples.push_back(f);
        } else if (wav.formatTag == 1 && (bytes == 2 || bytes == 3)) {
          int shift = 32 - wav.bits;
          auto value = static_cast<std::int32_t>(raw << shift) >> shift;
          wav.samples.push_back(static_cast<float>(value) /
                                static_cast<float>(1 << (wav.bits - 1)));
        } else {
          return wav;
        }
      }
      wav.ok = true;
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

// --- running the tool --------------------------------------------------------

struct ToolRun {
  int status = -1;
  std::string errors;
};

ToolRun runTool(const std::vector<std::string>& args, const fs::path& errorFile,
                const std::vector<std::pair<std::string, std::string>>& environment = {},
                rlim_t fileSizeLimit = RLIM_INFINITY) {
  ToolRun run;
  pid_t child = fork();
  if (child == 0) {
    if (fileSizeLimit != RLIM_INFINITY) {
      // Writes past the limit fail with EFBIG instead of killing the tool.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{fileSizeLimit, fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(VELLAMOR_RENDER_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  run.errors = readFile(errorFile);
  return run;
}

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    // The tool and the plug-in loaded in this process must see the same data
    // folders (the module keeps the folders it found first), and there must
    // be a sound folder so that nothing complains.
    fs::create_directories(SoundSetFixture::soundFolder());
  }
  fs::path write(const std::string& name, const Bytes& data) { return writeFile(dir_ / name, data); }
  ToolRun render(std::vector<std::string> args,
                 const std::vector<std::pair<std::string, std::string>>& environment = {},
                 rlim_t fileSizeLimit = RLIM_INFINITY) {
    args.insert(args.begin(),
                {"--plugin", VELLAMOR_PLUGIN_PATH, "--data-home", SoundSetFixture::dataRoot()});
    return runTool(args, dir_ / "stderr.txt", environment, fileSizeLimit);
  }

  TempDir tmp_{"render-tool"};
  fs::path dir_ = tmp_.path();
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
  const double tail = 0.25;
  fs::path midi = write("song.mid", song());
  fs::path wav = dir_ / "out.wav";
  ToolRun run =
      render({"--format", "float", "--rate", "48000", "--block", std::to_string(block), "--tail",
              "0.25", "--program", "3", "--set", "13=0.6", midi.string(), wav.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "") << "a successful run without a terminal says nothing";

  Wav out = readWav(wav);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(std::tuple(out.formatTag, out.bits, out.channels, out.rate),
            std::tuple(3, 32, 2, 48000));
  const int frames = static_cast<int>(std::lround(kSongSeconds * rate) + std::lround(tail * rate));
  ASSERT_EQ(out.frames(), static_cast<std::size_t>(frames));

  // The same song, the same set-up, straight through the host library.
  srand(1);
  host::HostSettings settings;
  settings.sampleRate = rate;
  settings.blockSize = block;
  settings.tempo = 100.0;
  std::string error;
  auto plugin = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, settings);
  ASSERT_TRUE(plugin) << error;
  plugin->setProgram(3);
  plugin->setParameter(13, 0.6f);
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
  for (std::size_t i = 0; i < direct.frames(); ++i) {
    if (out.samples[2 * i] != direct.left[i] || out.samples[2 * i + 1] != direct.right[i])
      ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u) << "of " << direct.frames() << " frames";
}

TEST_F(RenderTool, SampleFormatsRateAndTailShapeTheFile) {
  fs::path midi = write("song.mid", song());
  struct Case {
    const char* format;
    int tag;
    int bits;
    const char* rate;
    const char* tail;
  } cases[] = {
      {"16", 1, 16, "22050", "0"}, {"24", 1, 24, "44100", "1.5"}, {"float", 3, 32, "96000", "0"}};
  for (const Case& c : cases) {
    fs::path wav = dir_ / (std::string("out-") + c.format + ".wav");
    ToolRun run = render(
        {"--format", c.format, "--rate", c.rate, "--tail", c.tail, midi.string(), wav.string()});
    ASSERT_EQ(run.status, 0) << c.format << ": " << run.errors;
    Wav out = readWav(wav);
    ASSERT_TRUE(out.ok) << c.format;
    const double rate = std::atof(c.rate);
    EXPECT_EQ(std::tuple(out.formatTag, out.bits, out.rate), std::tuple(c.tag, c.bits, int(rate)))
        << c.format;
    EXPECT_EQ(out.frames(), static_cast<std::size_t>(std::lround(kSongSeconds * rate) +
                                                     std::lround(std::atof(c.tail) * rate)))
        << c.format;
  }
  // Without options: 24-bit, 44100 Hz and a three-second tail.
  fs::path wav = dir_ / "default.wav";
  ASSERT_EQ(render({midi.string(), wav.string()}).status, 0);
  Wav out = readWav(wav);
  EXPECT_EQ(out.bits, 24);
  EXPECT_EQ(out.frames(), static_cast<std::size_t>(std::lround(kSongSeconds * 44100) + 3 * 44100));
  // Help goes to standard output and succeeds.
  ToolRun help = runTool({"--help"}, dir_ / "stderr.txt");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.errors, "");
}

TEST_F(RenderTool, TempoChangeMidSongStretchesWhatFollows) {
  // 120 bpm for one quarter, then 30 bpm: the remaining quarter takes 2 s.
  Bytes midi = midiFile(
      0,
      {cat({ev(0, {0x90, 60, 100}), tempo(480, 2000000), ev(240, {0x80, 60, 0}), endOfTrack(240)})},
      480);
  fs::path wav = dir_ / "tempo.wav";
  ToolRun run =
      render({"--tail", "0", "--rate", "8000", write("tempo.mid", midi).string(), wav.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(readWav(wav).frames(), static_cast<std::size_t>((0.5 + 2.0) * 8000));

  // When the song ends on an event, the render still reaches the event's frame.
  midi = midiFile(0, {cat({ev(0, {0x90, 60, 100}), tempo(480, 2000000), ev(240, {0x80, 60, 0})})},
                  480);
  run = render({"--tail", "0", "--rate", "8000", write("tempo.mid", midi).string(), wav.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(readWav(wav).frames(), static_cast<std::size_t>(1.5 * 8000 + 1));
}

TEST_F(RenderTool, ParametersByNameBanksAndPrograms) {
  // Names match without regard to case or the blanks the plug-in pads with.
  fs::path midi = write("song.mid", song());
  fs::path wav = dir_ / "out.wav";
  ToolRun run =
      render({"--set", "VOLUME=0.25", "--set", "Volume   =0.5", midi.string(), wav.string()});
  EXPECT_EQ(run.status, 0) << run.errors;

  fs::path whole = write("Default.bnk", Bytes(39428, 0));
  fs::path programs = write("res00165.bnk", Bytes(37376, 0));
  fs::path odd = write("odd.bnk", Bytes(292, 0));
  EXPECT_EQ(render({"--bank", whole.string(), midi.string(), wav.string()}).status, 0);
  EXPECT_EQ(
      render({"--bank", programs.string(), "--program", "7", midi.string(), wav.string()}).status,
      0);
  run = render({"--bank", odd.string(), midi.string(), wav.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("292 bytes"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("39428"), std::string::npos) << run.errors;
}

TEST_F(RenderTool, FailuresExplainThemselvesAndLeaveNoOutput) {
  fs::path midi = write("song.mid", song());
  Bytes cut = song();
  cut.resize(cut.size() - 5);
  fs::path damaged = write("damaged.mid", cut);
  fs::path junk = write("junk.so", Bytes(100, 0x42));
  fs::path wav = dir_ / "out.wav";
  // Options come before the song and the output file unless `whole` is set.
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string mentions;
    bool whole = false;
  } cases[] = {
      {"missing song", {(dir_ / "nope.mid").string(), wav.string()}, 1, "nope.mid", true},
      {"damaged song", {damaged.string(), wav.string()}, 1, "damaged.mid is truncated", true},
      {"not a song", {junk.string(), wav.string()}, 1, "not a Standard MIDI File", true},
      {"unwritable output", {midi.string(), (dir_ / "no/such/dir.wav").string()}, 1,
       "cannot write", true},
      {"missing plug-in", {"--plugin", (dir_ / "none.so").string()}, 1, "none.so"},
      {"broken plug-in", {"--plugin", junk.string()}, 1, "cannot load the plug-in"},
      {"missing bank", {"--bank", (dir_ / "none.bnk").string()}, 1, "none.bnk"},
      {"unknown parameter", {"--set", "No Such Knob=1"}, 1, "No Such Knob"},
      {"parameter out of range", {"--set", "57=1"}, 1, "57"},
      {"bad format", {"--format", "12"}, 2, "--format"},
      {"bad rate", {"--rate", "44,1"}, 2, "--rate"},
      {"bad block", {"--block", "0"}, 2, "--block"},
      {"negative tail", {"--tail", "-1"}, 2, "--tail"},
      {"program too high", {"--program", "128"}, 2, "--program"},
      {"not a number", {"--set", "13=nan"}, 2, "--set"},
      {"no value", {"--set", "13"}, 2, "--set"},
      {"option without value", {midi.string(), wav.string(), "--program"}, 2, "--program", true},
      {"unknown option", {"--loud"}, 2, "--loud"},
      {"one file", {midi.string()}, 2, "output", true},
  };
  for (Case& c : cases) {
    if (!c.whole) c.args.insert(c.args.end(), {midi.string(), wav.string()});
    ToolRun run = render(c.args);
    EXPECT_EQ(run.status, c.status) << c.what << ": " << run.errors;
    EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << c.what << ": " << run.errors;
    EXPECT_FALSE(fs::exists(wav)) << c.what;
  }

  // A disk that fills up half way: an error, and the half-written file goes.
  ToolRun run = render({"--tail", "20", midi.string(), wav.string()}, {}, 200000);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("cannot write"), std::string::npos) << run.errors;
  EXPECT_FALSE(fs::exists(wav));
}

TEST_F(RenderTool, LooksForThePlugInAlongVstPathFirst) {
  fs::path midi = write("song.mid", song());
  fs::path wav = dir_ / "out.wav";
  // A module that is not a plug-in, where VST_PATH sends the tool: it must be tried.
  fs::create_directories(dir_ / "vst" / "Vellamor-ZUL");
  write("vst/Vellamor-ZUL/Vellamor-ZUL.so", Bytes(64, 0));
  std::vector<std::string> args{midi.string(), wav.string()};
  ToolRun run =
      runTool(args, dir_ / "stderr.txt",
              {{"VST_PATH", "/nonexistent:" + (dir_ / "vst").string()}, {"HOME", dir_.string()}});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find((dir_ / "vst").string()), std::string::npos) << run.errors;

  // The real one, linked into a VST folder, is found and used.
  fs::remove_all(dir_ / "vst");
  fs::create_directories(dir_ / "vst");
  fs::create_symlink(fs::absolute(VELLAMOR_PLUGIN_PATH), dir_ / "vst" / "Vellamor-ZUL.so");
  run = runTool(args, dir_ / "stderr.txt", {{"VST_PATH", (dir_ / "vst").string()}});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(readWav(wav).ok);
}

#endif  // VELLAMOR_RENDER_TOOL
