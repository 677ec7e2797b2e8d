#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "sound/SoundStatus.h"
#include "sound/VORNsnd.h"
#include "support/MessageBox.h"

namespace fs = std::filesystem;

namespace {

struct Recorder : MessageBoxHandler {
  std::vector<std::pair<std::string, std::string>> shown;
  Recorder() { installMessageBoxHandler(this); }
  ~Recorder() override { removeMessageBoxHandler(this); }
  bool show(const char* text, const char* title, int) override {
    shown.emplace_back(text, title);
    return true;
  }
};

// Builds sound files byte by byte, independently of the engine's writer.
struct Bytes {
  std::vector<unsigned char> b;
  void i32(int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<unsigned char>(uint32_t(v) >> (8 * k)));
  }
  void f32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    i32(static_cast<int32_t>(u));
  }
  void header(int32_t count) {
    b.insert(b.end(), 200, 'h');
    i32(count);
  }
  void chunk(const std::vector<float>& s, int32_t loopStart, int32_t loopEnd, int32_t root = 60,
             int32_t lowKey = 0, int32_t highKey = 127, int32_t lowVel = 0, int32_t highVel = 127,
             int32_t claimedLength = -1) {
    b.insert(b.end(), {'c', 'h', 'n', 'k'});
    i32(claimedLength >= 0 ? claimedLength : static_cast<int32_t>(s.size()));
    i32(lowVel);
    i32(highVel);
    i32(lowKey);
    i32(highKey);
    i32(loopStart);
    i32(loopEnd);
    i32(root);
    i32(7);
    i32(9);
    for (float v : s) f32(v);
  }
};

class SoundFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vornsnd_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string& rel, const Bytes& bytes) {
    fs::path p = fs::path(dir) / rel;
    fs::create_directories(p.parent_path());
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(bytes.b.data(), 1, bytes.b.size(), f);
    std::fclose(f);
    return p.string();
  }
  static std::vector<float> ramp(int n) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) s[i] = 0.001f * static_cast<float>(i % 500) - 0.25f;
    return s;
  }
  static void expectBlank(const VORNsnd& snd) {
    ASSERT_EQ(snd.waveCount(), 1);
    const Wavetable_Wave& w = snd.wave(0);
    EXPECT_EQ(w.length, 90);
    EXPECT_EQ(w.loopStart, -1);
    EXPECT_EQ(w.loopEnd, 0);
    EXPECT_EQ(w.rootKey, 60);
    EXPECT_EQ(w.lowKey, 0);
    EXPECT_EQ(w.highKey, 127);
    ASSERT_GE(w.allocated, 100);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(w.data[i], 0.0f);
    EXPECT_STREQ(snd.name(), "Initial");
  }
  std::string dir;
};

uint32_t bitsOf(float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  return u;
}

TEST_F(SoundFileTest, LooplessWaveGetsSilentTailAndInnerLoop) {
  Bytes f;
  f.header(1);
  std::vector<float> s = ramp(1000);
  f.chunk(s, -1, 0, 48, 10, 90, 5, 100);
  SoundStatus status;
  auto snd = std::make_unique<VORNsnd>(&status);
  ASSERT_EQ(snd->loadVORNsnd(write("07-Set/MainS.VORNsnd", f).c_str()), 0);
  const Wavetable_Wave& w = snd->wave(0);
  EXPECT_EQ(w.length, 1040);
  EXPECT_EQ(w.loopStart, 1002);
  EXPECT_EQ(w.loopEnd, 1038);
  EXPECT_EQ(w.rootKey, 48);
  EXPECT_EQ(w.lowKey, 10);
  EXPECT_EQ(w.highKey, 90);
  EXPECT_EQ(w.lowVelocity, 5);
  EXPECT_EQ(w.highVelocity, 100);
  ASSERT_GE(w.allocated, 1060);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(w.data[i], s[i]) << i;
  for (int i = 1000; i < 1060; ++i) ASSERT_EQ(bitsOf(w.data[i]), 0x1E3CE508u) << i;
  EXPECT_FALSE(status.noWave());
}

TEST_F(SoundFileTest, LoopedWaveCopiesLoopStartBehindLoopEnd) {
  Bytes f;
  f.header(2);
  std::vector<float> s = ramp(1000);
  f.chunk(s, 100, 900, 60, 0, 63);
  f.chunk(ramp(50), 3, -4, 72, 64, 127);  // loop start but negative end: one-shot
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("a/b.VORNsnd", f).c_str()), 0);
  ASSERT_EQ(snd.waveCount(), 2);
  const Wavetable_Wave& w = snd.wave(0);
  EXPECT_EQ(w.length, 1000);
  EXPECT_EQ(w.loopStart, 100);
  EXPECT_EQ(w.loopEnd, 900);
  EXPECT_EQ(w.data[901], s[100]);
  EXPECT_EQ(w.data[900], s[900]);
  EXPECT_EQ(w.data[902], s[902]);
  for (int i = 1000; i < 1012; ++i) EXPECT_EQ(w.data[i], 0.0f);
  const Wavetable_Wave& oneShot = snd.wave(1);
  EXPECT_EQ(oneShot.length, 50);
  EXPECT_EQ(oneShot.loopStart, 3);
  EXPECT_EQ(oneShot.loopEnd, -4);
  for (int i = 50; i < 62; ++i) EXPECT_EQ(oneShot.data[i], 0.0f);
}

TEST_F(SoundFileTest, LoopEndBeyondWaveFailsWithCode52AndLeavesSilentWave) {
  Bytes f;
  f.header(1);
  f.chunk(ramp(1000), 100, 1001);
  SoundStatus status;
  auto snd = std::make_unique<VORNsnd>(&status);
  const std::string path = write("x/MainS.VORNsnd", f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(snd->loadVORNsnd(path.c_str()), 52);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Error loading VORNsnd file! Code 52 - file " + path + "\n"), std::string::npos)
      << err;
  EXPECT_TRUE(status.noWave());
  expectBlank(*snd);
}

TEST_F(SoundFileTest, LoopEndAtLengthIsStillValid) {
  Bytes f;
  f.header(1);
  f.chunk(ramp(100), 10, 100);
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("x/y.VORNsnd", f).c_str()), 0);
  EXPECT_EQ(snd.wave(0).data[101], snd.wave(0).data[10]);
}

TEST_F(SoundFileTest, NamesComeFromThePath) {
  Bytes f;
  f.header(1);
  f.chunk(ramp(10), -1, 0);
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("03-Bright Harp/Symp.VORNsnd", f).c_str()), 0);
  EXPECT_STREQ(snd.name(), "Symp");
  EXPECT_STREQ(snd.setName(), "03-Bright Harp");
  // Longer names keep their last 24 characters.
  const std::string longSet = "04-abcdefghijklmnopqrstuvwxyz";
  const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  ASSERT_EQ(snd.loadVORNsnd(write(longSet + "/" + longName + ".VORNsnd", f).c_str()), 0);
  EXPECT_EQ(std::string(snd.name()), longName.substr(longName.size() - 24));
  EXPECT_EQ(std::string(snd.setName()), longSet.substr(longSet.size() - 24));
}

TEST_F(SoundFileTest, AlternativeExtensionLoadsButKeepsInstanceSilent) {
  Bytes f;
  f.header(1);
  f.chunk(ramp(200), -1, 0);
  write("05-Alt/Drone.FernoSND", f);
  SoundStatus status;
  Recorder messages;
  VORNsnd snd(&status);
  const std::string requested = dir + "/05-Alt/Drone.VORNsnd";
  EXPECT_EQ(snd.loadVORNsnd(requested.c_str()), 0);
  EXPECT_EQ(snd.wave(0).length, 240);
  EXPECT_STREQ(snd.name(), "Drone");
  EXPECT_STREQ(snd.setName(), "05-Alt");
  EXPECT_TRUE(status.noWave());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SoundFileTest, MissingFileWarnsOnceAndLeavesSilentWave) {
  SoundStatus status;
  Recorder messages;
  VORNsnd snd(&status);
  testing::internal::CaptureStderr();
  EXPECT_EQ(snd.loadVORNsnd((dir + "/nothing/MainS.VORNsnd").c_str()), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Code 1 - file "), std::string::npos);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].first, "Selected file is missing");
  EXPECT_EQ(messages.shown[0].second, "Warning!");
  EXPECT_TRUE(status.noWave());
  expectBlank(snd);
  // Paths too short for the alternative form, or no path at all.
  EXPECT_EQ(snd.loadVORNsnd("abc"), 1);
  EXPECT_EQ(snd.loadVORNsnd(nullptr), 1);
  expectBlank(snd);
}

TEST_F(SoundFileTest, PictureRowsAreStoredRightToLeft) {
  Bytes f;
  f.header(1);
  f.chunk(ramp(20), -1, 0);
  f.i32(12345);
  for (int r = 0; r < 20; ++r)
    for (int j = 0; j < 129; ++j) {
      f.b.push_back(static_cast<unsigned char>(r));
      f.b.push_back(static_cast<unsigned char>(j));
      f.b.push_back(static_cast<unsigned char>(j == 0 ? 200 : 1));
    }
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("p/q.VORNsnd", f).c_str()), 0);
  EXPECT_TRUE(snd.hasPicture());
  for (int r = 0; r < 20; ++r) {
    EXPECT_EQ(snd.pixel(r, 128)[0], r);
    EXPECT_EQ(snd.pixel(r, 128)[1], 0);
    EXPECT_EQ(snd.pixel(r, 128)[2], 200);
    EXPECT_EQ(snd.pixel(r, 0)[1], 128);
    EXPECT_EQ(snd.pixel(r, 100)[1], 28);
  }
}

TEST_F(SoundFileTest, FileEndingAfterLastChunkHasNoPictureAndDrawsOne) {
  Bytes f;
  f.header(1);
  f.chunk(std::vector<float>(1000, -0.5f), -1, 0);
  VORNsnd snd;
  snd.setColor({200, 100, 50, 0}, {1, 2, 3, 0});
  ASSERT_EQ(snd.loadVORNsnd(write("d/Wave.VORNsnd", f).c_str()), 0);
  EXPECT_FALSE(snd.hasPicture());
  // A constant negative wave normalises to -1: row 0 dimmed, rows 1..9
  // full, the lower half and column 128 background.
  for (int c = 0; c < 128; ++c) {
    EXPECT_EQ(snd.pixel(0, c)[0], 120);
    EXPECT_EQ(snd.pixel(0, c)[1], 60);
    EXPECT_EQ(snd.pixel(0, c)[2], 30);
    for (int r = 1; r < 10; ++r) EXPECT_EQ(snd.pixel(r, c)[0], 200);
    for (int r = 10; r < 20; ++r) EXPECT_EQ(snd.pixel(r, c)[2], 3);
  }
  for (int r = 0; r < 20; ++r) EXPECT_EQ(snd.pixel(r, 128)[0], 1);
}

TEST_F(SoundFileTest, SilenceSoundWithoutPictureStaysBlack) {
  Bytes f;
  f.header(1);
  f.chunk(std::vector<float>(300, 0.7f), -1, 0);
  VORNsnd snd;
  snd.setColor({200, 100, 50, 0}, {9, 9, 9, 0});
  ASSERT_EQ(snd.loadVORNsnd(write("s/SilenceA.VORNsnd", f).c_str()), 0);
  EXPECT_FALSE(snd.hasPicture());
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 129; ++c)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(snd.pixel(r, c)[k], 0);
}

// Every damaged or hostile file ends in the blank wave with the flag up.
TEST_F(SoundFileTest, DamagedAndHostileFilesAreRefused) {
  struct Case {
    const char* what;
    Bytes file;
    int code;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, int code, auto build) {
    Case c{what, {}, code};
    build(c.file);
    cases.push_back(std::move(c));
  };
  add("short header", 23, [](Bytes& b) { b.b.assign(150, 0); });
  add("count missing", 25, [](Bytes& b) { b.b.assign(202, 0); });
  add("no waves", 26, [](Bytes& b) { b.header(0); });
  add("negative count", 26, [](Bytes& b) { b.header(-3); });
  add("too many waves", 26, [](Bytes& b) { b.header(4025); });
  add("chunk header cut", 32, [](Bytes& b) {
    b.header(1);
    b.b.insert(b.b.end(), {'c', 'h', 'n', 'k', 1, 0});
  });
  add("second chunk missing", 32, [](Bytes& b) {
    b.header(2);
    b.chunk({0.1f, 0.2f}, -1, 0);
  });
  add("bad tag", 33, [](Bytes& b) {
    b.header(1);
    b.chunk({0.1f, 0.2f}, -1, 0);
    b.b[204] = 'C';
  });
  add("zero length", 34, [](Bytes& b) {
    b.header(1);
    b.chunk({}, -1, 0);
  });
  add("negative length", 34, [](Bytes& b) {
    b.header(1);
    b.chunk({0.5f}, -1, 0, 60, 0, 127, 0, 127, -1);
    std::memset(&b.b[208], 0xff, 4);
  });
  add("absurd length", 35, [](Bytes& b) {
    b.header(1);
    b.chunk({0.5f, 0.5f}, -1, 0, 60, 0, 127, 0, 127, 0x7fffffff);
  });
  add("samples cut short", 35, [](Bytes& b) {
    b.header(1);
    b.chunk(std::vector<float>(100, 0.5f), 10, 50, 60, 0, 127, 0, 127, 101);
  });
  add("root key out of range", 36, [](Bytes& b) {
    b.header(1);
    b.chunk({0.1f, 0.2f}, -1, 0, 200);
  });
  add("loop start beyond wave", 53, [](Bytes& b) {
    b.header(1);
    b.chunk(std::vector<float>(100, 0.5f), 100, -1);
  });
  add("loop start after loop end", 53, [](Bytes& b) {
    b.header(1);
    b.chunk(std::vector<float>(100, 0.5f), 60, 50);
  });
  add("picture cut short", 54, [](Bytes& b) {
    b.header(1);
    b.chunk({0.1f, 0.2f}, -1, 0);
    b.i32(1);
    b.b.insert(b.b.end(), 7739, 3);
  });
  add("looped single sample", 55, [](Bytes& b) {
    b.header(1);
    b.chunk({0.5f}, 0, 1);
  });

  Bytes good;
  good.header(1);
  good.chunk(ramp(64), 4, 40);
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    SoundStatus status;
    Recorder messages;
    auto snd = std::make_unique<VORNsnd>(&status);
    ASSERT_EQ(snd->loadVORNsnd(write("ok/Good.VORNsnd", good).c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(snd->loadVORNsnd(write("bad/Bad.VORNsnd", c.file).c_str()), c.code);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Code " + std::to_string(c.code) + " - file "), std::string::npos);
    EXPECT_TRUE(status.noWave());
    expectBlank(*snd);
    if (c.code == 55) {
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_EQ(messages.shown[0].first, "File Size Error!");
      EXPECT_EQ(messages.shown[0].second, "Error!");
    } else {
      EXPECT_TRUE(messages.shown.empty());
    }
  }
}

TEST_F(SoundFileTest, NonFiniteSamplesAreZeroedAndVolumeScalesPlayableSamples) {
  Bytes f;
  f.header(1);
  f.chunk({0.5f, NAN, INFINITY, -0.25f, 1e30f}, 0, 4);
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("n/n.VORNsnd", f).c_str()), 0);
  const Wavetable_Wave& w = snd.wave(0);
  EXPECT_EQ(w.data[0], 0.5f);
  EXPECT_EQ(w.data[1], 0.0f);
  EXPECT_EQ(w.data[2], 0.0f);
  EXPECT_TRUE(std::isfinite(w.data[4]));
  snd.VolumeChange(2.0f);
  EXPECT_EQ(w.data[0], 1.0f);
  EXPECT_EQ(w.data[3], -0.5f);
  EXPECT_EQ(w.data[5], 0.5f);  // the loop copy lies behind the playable samples
  snd.VolumeChange(NAN);
  EXPECT_EQ(w.data[0], 1.0f);
}

TEST_F(SoundFileTest, SilenceFlagBelongsToOneInstanceAndClearsWithNextSet) {
  Bytes good;
  good.header(1);
  good.chunk(ramp(64), -1, 0);
  Bytes bad;
  bad.header(1);
  bad.chunk(ramp(64), 0, 65);
  SoundStatus first, second;
  VORNsnd a(&first), b(&second);
  testing::internal::CaptureStderr();
  EXPECT_EQ(a.loadVORNsnd(write("1/a.VORNsnd", bad).c_str()), 52);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(b.loadVORNsnd(write("1/b.VORNsnd", good).c_str()), 0);
  EXPECT_TRUE(first.noWave());
  EXPECT_FALSE(second.noWave());
  // A good file within the same set does not lift the flag...
  EXPECT_EQ(a.loadVORNsnd(write("1/c.VORNsnd", good).c_str()), 0);
  EXPECT_TRUE(first.noWave());
  // ...a new set does.
  first.beginSoundSet();
  EXPECT_EQ(a.loadVORNsnd(write("2/c.VORNsnd", good).c_str()), 0);
  EXPECT_FALSE(first.noWave());
  EXPECT_EQ(a.wave(0).length, 104);
}

TEST_F(SoundFileTest, ForgetAndBlank) {
  Bytes f;
  f.header(3);
  for (int i = 0; i < 3; ++i) f.chunk(ramp(30), -1, 0);
  VORNsnd snd;
  ASSERT_EQ(snd.loadVORNsnd(write("f/f.VORNsnd", f).c_str()), 0);
  ASSERT_EQ(snd.waveCount(), 3);
  snd.forget();
  EXPECT_EQ(snd.waveCount(), 0);
  EXPECT_STREQ(snd.name(), "Initial");
  EXPECT_STREQ(snd.setName(), "Initial");
  snd.blank();
  expectBlank(snd);
}

}  // namespace
