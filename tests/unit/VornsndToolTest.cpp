#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/VORNsnd.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Minimal WAV writer, so the test does not share code with the tool.
void writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels,
              bool asFloat) {
  std::vector<unsigned char> data;
  auto put = [&](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) data.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  const int bytesPerSample = asFloat ? 4 : 2;
  const uint32_t payload = static_cast<uint32_t>(samples.size() * bytesPerSample);
  data.insert(data.end(), {'R', 'I', 'F', 'F'});
  put(36 + payload, 4);
  data.insert(data.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(asFloat ? 3 : 1, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * bytesPerSample, 4);
  put(channels * bytesPerSample, 2);
  put(bytesPerSample * 8, 2);
  data.insert(data.end(), {'d', 'a', 't', 'a'});
  put(payload, 4);
  for (float s : samples) {
    if (asFloat) {
      uint32_t u;
      std::memcpy(&u, &s, 4);
      put(u, 4);
    } else {
      put(static_cast<uint16_t>(static_cast<int16_t>(std::lround(s * 32767.0f))), 2);
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
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

class VornsndToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef VORNSND_TOOL_PATH
    GTEST_SKIP() << "vornsnd tool not built";
#endif
    ASSERT_TRUE(tmp.ok());
  }
  testfiles::TempDir tmp{"vornsnd_tool"};
  std::string dir = tmp.str();
};

std::vector<float> tone(int n, float amplitude, int period) {
  std::vector<float> s(n);
  for (int i = 0; i < n; ++i)
    s[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * i / period));
  return s;
}

TEST_F(VornsndToolTest, AudioToSoundFileAndBack) {
  const std::vector<float> low = tone(3000, 0.5f, 100);
  const std::vector<float> high = tone(2000, 0.25f, 50);
  writeWav(dir + "/low.wav", low, 44100, 1, true);
  writeWav(dir + "/high.wav", high, 44100, 1, false);
  FILE* m = std::fopen((dir + "/set.txt").c_str(), "w");
  std::fputs("# two waves\nlow.wav keys=0-63 root=48 loop=100-2900\n"
             "\"high.wav\" keys=64-127 vel=10-120 root=72\r\n\n", m);
  std::fclose(m);

  const std::string out = dir + "/01-Test/MainS.VORNsnd";
  fs::create_directories(dir + "/01-Test");
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
