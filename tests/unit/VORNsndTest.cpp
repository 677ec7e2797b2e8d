#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/SoundStatus.h"
#include "sound/VORNsnd.h"
#include "testsupport/MessageLog.h"
#include "testsupport/TestFiles.h"

namespace {

// Builds sound files byte by byte, independently of the engine's writer.
struct Bytes {
  std::vector<unsigned char> b;
  void i32(int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<unsigned char>(uint32_t(v) >> (8 * k)));
  }
  void f32(float v) { i32(std::bit_cast<int32_t>(v)); }
  void header(int32_t count) {
    b.insert(b.end(), 200, 'h');
    i32(count);
  }
  void chunk(const std::vector<float>& s, int32_t loopStart, int32_t loopEnd, int32_t root = 60,
             int32_t lowKey = 0, int32_t highKey = 127, int32_t lowVel = 0, int32_t highVel = 127,
             int32_t claimedLength = -1) {
    b.insert(b.end(), {'c', 'h', 'n', 'k'});
    i32(claimedLength >= 0 ? claimedLength : static_cast<int32_t>(s.size()));
    for (int32_t v : {lowVel, highVel, lowKey, highKey, loopStart, loopEnd, root, 7, 9}) i32(v);
    for (float v : s) f32(v);
  }
};

// A file of one wave; the arguments are those of Bytes::chunk.
template <class... Args>
Bytes one(const std::vector<float>& s, Args... args) {
  Bytes f;
  f.header(1);
  f.chunk(s, args...);
  return f;
}

// Minimal WAV writer, so the test does not share code with the tool.
void writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels,
              bool asFloat) {
  std::vector<unsigned char> data;
  auto put = [&](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) data.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  const int bytesPerSample = asFloat ? 4 : 2;
  const uint32_t payload = static_cast<uint32_t>(samples.size() * bytesPerSample);
  auto tag = [&](const char* four) { data.insert(data.end(), four, four + 4); };
  tag("RIFF");
  put(36 + payload, 4);
  tag("WAVE");
  tag("fmt ");
  // Chunk size, format (3 float, 1 PCM), channels, rate, byte rate, frame size, bits.
  for (auto [v, n] : {std::pair<uint32_t, int>{16, 4}, {asFloat ? 3 : 1, 2}, {channels, 2}, {rate, 4},
                      {rate * channels * bytesPerSample, 4}, {channels * bytesPerSample, 2},
                      {bytesPerSample * 8, 2}})
    put(v, n);
  tag("data");
  put(payload, 4);
  for (float s : samples)
    put(asFloat ? std::bit_cast<uint32_t>(s) : static_cast<uint16_t>(std::lround(s * 32767.0f)),
        bytesPerSample);
  testfiles::writeFile(path, data);
}

using ToolRun = testfiles::CommandResult;
ToolRun run(const std::string& arguments) {
#ifdef VORNSND_TOOL_PATH
  return testfiles::runCommand(std::string("'") + VORNSND_TOOL_PATH + "' " + arguments);
#else
  (void)arguments;
  return {-1, ""};
#endif
}

std::vector<float> tone(int n, float amplitude, int period) {
  std::vector<float> s(n);
  for (int i = 0; i < n; ++i)
    s[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * i / period));
  return s;
}

class SoundFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  std::string write(const std::string& rel, const Bytes& bytes) {
    return testfiles::writeFile(tmp / rel, bytes.b).string();
  }
  static std::vector<float> ramp(int n) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) s[i] = 0.001f * static_cast<float>(i % 500) - 0.25f;
    return s;
  }
  // Length, loop start and end, root key, key range.
  static void expectLayout(const Wavetable_Wave& w, std::vector<int64_t> want) {
    std::vector<int64_t> got{w.length, w.loopStart, w.loopEnd, w.rootKey, w.lowKey, w.highKey};
    got.resize(want.size());
    EXPECT_EQ(got, want);
  }
  static void expectBlank(const VORNsnd& snd) {
    ASSERT_EQ(snd.waveCount(), 1);
    const Wavetable_Wave& w = snd.wave(0);
    expectLayout(w, {90, -1, 0, 60, 0, 127});
    ASSERT_GE(w.allocated, 100);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(w.data[i], 0.0f);
    EXPECT_STREQ(snd.name(), "Initial");
  }
  testfiles::TempDir tmp{"vornsnd_test"};
  std::string dir = tmp.str();
};

TEST_F(SoundFileTest, LooplessWaveGetsSilentTailAndInnerLoop) {
  const std::vector<float> s = ramp(1000);
  const Bytes f = one(s, -1, 0, 48, 10, 90, 5, 100);
  SoundStatus status;
  auto snd = std::make_unique<VORNsnd>(&status);
  ASSERT_EQ(snd->loadVORNsnd(write("07-Set/MainS.VORNsnd", f).c_str()), 0);
  const Wavetable_Wave& w = snd->wave(0);
  expectLayout(w, {1040, 1002, 1038, 48, 10, 90});
  EXPECT_EQ(w.highVelocity, 100);
  ASSERT_GE(w.allocated, 1060);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(w.data[i], s[i]) << i;
  for (int i = 1000; i < 1060; ++i) ASSERT_EQ(std::bit_cast<uint32_t>(w.data[i]), 0x1E3CE508u) << i;
  EXPECT_FALSE(status.noWave());
}

// Every damaged or hostile file ends in the blank wave with the flag up.
TEST_F(SoundFileTest, DamagedAndHostileFilesAreRefused) {
  auto raw = [](std::size_t n) {
    Bytes b;
    b.b.assign(n, 0);
    return b;
  };
  auto edited = [](Bytes b, auto edit) {
    edit(b);
    return b;
  };
  auto counted = [&](int32_t count) { return edited({}, [count](Bytes& b) { b.header(count); }); };
  const std::vector<float> two{0.1f, 0.2f}, hundred(100, 0.5f);
  const struct {
    const char* what;
    Bytes file;
    int code;
  } cases[] = {
      {"short header", raw(150), 23},
      {"count missing", raw(202), 25},
      {"negative count", counted(-3), 26},
      {"too many waves", counted(4025), 26},
      {"chunk header cut",
       edited(counted(1), [](Bytes& b) { b.b.insert(b.b.end(), {'c', 'h', 'n', 'k', 1, 0}); }), 32},
      {"second chunk missing", edited(counted(2), [&](Bytes& b) { b.chunk(two, -1, 0); }), 32},
      {"bad tag", edited(one(two, -1, 0), [](Bytes& b) { b.b[204] = 'C'; }), 33},
      {"zero length", one({}, -1, 0), 34},
      {"negative length",
       edited(one({0.5f}, -1, 0), [](Bytes& b) { std::memset(&b.b[208], 0xff, 4); }), 34},
      {"absurd length", one({0.5f, 0.5f}, -1, 0, 60, 0, 127, 0, 127, 0x7fffffff), 35},
      {"samples cut short", one(hundred, 10, 50, 60, 0, 127, 0, 127, 101), 35},
      {"root key out of range", one(two, -1, 0, 200), 36},
      {"loop end beyond wave", one(hundred, 10, 101), 52},
      {"loop start beyond wave", one(hundred, 100, -1), 53},
      {"loop start after loop end", one(hundred, 60, 50), 53},
      {"picture cut short", edited(one(two, -1, 0), [](Bytes& b) {
         b.i32(1);
         b.b.insert(b.b.end(), 7739, 3);
       }), 54},
      {"looped single sample", one({0.5f}, 0, 1), 55},
  };

  Bytes good = one(ramp(64), 4, 40);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SoundStatus status;
    testfiles::MessageLog messages;
    auto snd = std::make_unique<VORNsnd>(&status);
    ASSERT_EQ(snd->loadVORNsnd(write("ok/Good.VORNsnd", good).c_str()), 0);
    const std::string path = write("bad/Bad.VORNsnd", c.file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(snd->loadVORNsnd(path.c_str()), c.code);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error loading VORNsnd file! Code " + std::to_string(c.code) + " - file " + path + "\n"),
              std::string::npos) << err;
    EXPECT_TRUE(status.noWave());
    expectBlank(*snd);
    if (c.code == 55) {
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_EQ(messages.shown[0].text, "File Size Error!");
      EXPECT_EQ(messages.shown[0].title, "Error!");
    } else {
      EXPECT_TRUE(messages.shown.empty());
    }
  }
}

// The sound-file tool, run as a user would, and its output read back.
TEST_F(SoundFileTest, ToolTurnsAudioIntoSoundFilesAndDescribesThem) {
#ifndef VORNSND_TOOL_PATH
  GTEST_SKIP() << "vornsnd tool not built";
#endif
  const std::vector<float> low = tone(3000, 0.5f, 100);
  const std::vector<float> high = tone(2000, 0.25f, 50);
  writeWav(dir + "/low.wav", low, 44100, 1, true);
  writeWav(dir + "/high.wav", high, 44100, 1, false);
  testfiles::writeFile(dir + "/set.txt", std::string("# two waves\nlow.wav keys=0-63 root=48 loop=100-2900\n"
                                                     "\"high.wav\" keys=64-127 vel=10-120 root=72\r\n\n"));

  const std::string out = dir + "/01-Test/MainS.VORNsnd";
  std::filesystem::create_directories(dir + "/01-Test");
  ToolRun built = run("build '" + out + "' --header 'made in a test' --manifest '" + dir + "/set.txt'");
  ASSERT_EQ(built.status, 0) << built.output;

  auto snd = std::make_unique<VORNsnd>();
  ASSERT_EQ(snd->loadVORNsnd(out.c_str()), 0);
  ASSERT_EQ(snd->waveCount(), 2);
  const Wavetable_Wave& a = snd->wave(0);
  EXPECT_EQ((std::vector<int64_t>{a.length, a.loopStart, a.loopEnd, a.rootKey, a.highKey}),
            (std::vector<int64_t>{3000, 100, 2900, 48, 63}));
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(a.data[i], i == 2901 ? low[100] : low[i]) << i;  // with the loop copy
  const Wavetable_Wave& b = snd->wave(1);
  // Loopless: the silent tail is added on load.
  EXPECT_EQ((std::vector<int64_t>{b.length, b.lowKey, b.lowVelocity, b.highVelocity, b.rootKey}),
            (std::vector<int64_t>{2040, 64, 10, 120, 72}));
  for (int i = 0; i < 2000; ++i) ASSERT_NEAR(b.data[i], high[i], 1.0f / 32768.0f) << i;

  ToolRun shown = run("info '" + out + "'");
  EXPECT_EQ(shown.status, 0) << shown.output;
  EXPECT_NE(shown.output.find("2000 samples, keys 64-127, velocity 10-120, root 72, no loop"),
            std::string::npos) << shown.output;
}

}  // namespace
