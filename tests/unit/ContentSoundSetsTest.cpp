// Checks the generated factory sound sets file by file: layout over keys and
// velocities, and the quality of every wave (level, offset, pitch, loops).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "sound/VORNsnd.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRate = 44100.0;

using testfiles::buildDir;

fs::path soundsDir() { return buildDir() / "content/Sounds/Banks/Quillmark/Vellamor"; }

// The file read independently of the engine's reader: raw samples and fields.
struct RawWave {
  int32_t lowVel, highVel, lowKey, highKey, loopStart, loopEnd, root;
  std::vector<float> s;
  bool looped() const { return loopStart >= 0 && loopEnd != 0; }
};

std::vector<RawWave> readWaves(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, d.data() + at, 4);
    return v;
  };
  std::vector<RawWave> out;
  if (d.size() < 204) return out;
  const int32_t n = i32(200);
  size_t at = 204;
  for (int32_t w = 0; w < n && at + 44 <= d.size(); ++w) {
    RawWave r{};
    if (std::memcmp(d.data() + at, "chnk", 4) != 0) break;
    const int32_t len = i32(at + 4);
    r.lowVel = i32(at + 8);
    r.highVel = i32(at + 12);
    r.lowKey = i32(at + 16);
    r.highKey = i32(at + 20);
    r.loopStart = i32(at + 24);
    r.loopEnd = i32(at + 28);
    r.root = i32(at + 32);
    at += 44;
    if (len <= 0 || at + 4ull * len > d.size()) break;
    r.s.resize(len);
    std::memcpy(r.s.data(), d.data() + at, 4ull * len);
    at += 4ull * len;
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<fs::path> setFolders() {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(soundsDir(), ec)) {
    std::string n = e.path().filename().string();
    if (e.is_directory() && n.size() >= 3 && std::isdigit(static_cast<unsigned char>(n[0])) &&
        std::isdigit(static_cast<unsigned char>(n[1])))
      out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Magnitude of the Hann-windowed spectrum of x at hz.
double magnitudeAt(const std::vector<double>& x, double hz) {
  const double w = 2.0 * std::numbers::pi * hz / kRate;
  const double n = static_cast<double>(x.size());
  double re = 0, im = 0, cr = 1, ci = 0;
  const double sr = std::cos(w), si = std::sin(w);
  for (size_t i = 0; i < x.size(); ++i) {
    double win = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (n - 1));
    re += x[i] * win * cr;
    im -= x[i] * win * ci;
    double t = cr * sr - ci * si;
    ci = cr * si + ci * sr;
    cr = t;
  }
  return std::hypot(re, im);
}

// The frequency of the strongest component within +-60 cents of `expected`:
// a coarse scan, then a golden-section search around the best point.
double measurePitch(const std::vector<double>& x, double expected) {
  double bestCents = 0, best = -1;
  for (double c = -60; c <= 60; c += 4) {
    double m = magnitudeAt(x, expected * std::pow(2.0, c / 1200));
    if (m > best) best = m, bestCents = c;
  }
  double a = bestCents - 4, b = bestCents + 4;
  const double g = (std::sqrt(5.0) - 1) / 2;
  auto f = [&](double c) { return -magnitudeAt(x, expected * std::pow(2.0, c / 1200)); };
  double c1 = b - g * (b - a), c2 = a + g * (b - a), f1 = f(c1), f2 = f(c2);
  while (b - a > 0.02) {
    if (f1 < f2) b = c2, c2 = c1, f2 = f1, c1 = b - g * (b - a), f1 = f(c1);
    else a = c1, c1 = c2, f1 = f2, c2 = a + g * (b - a), f2 = f(c2);
  }
  return expected * std::pow(2.0, (a + b) / 2 / 1200);
}

// What the oscillator plays of a wave over about a second: the loop repeated,
// or the ringing part of a decaying wave.
std::vector<double> steadyPart(const RawWave& w) {
  std::vector<double> x;
  if (w.looped()) {
    const int len = w.loopEnd - w.loopStart + 1;
    while (x.size() < 0.8 * kRate)
      for (int i = 0; i < len; ++i) x.push_back(w.s[w.loopStart + i]);
  } else {
    size_t from = static_cast<size_t>(0.05 * kRate);
    size_t to = std::min(w.s.size(), from + static_cast<size_t>(1.0 * kRate));
    for (size_t i = from; i < to; ++i) x.push_back(w.s[i]);
  }
  return x;
}

double noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// The wave the oscillator picks: the last one whose ranges hold the request.
int pick(const std::vector<RawWave>& waves, int key, int velocity) {
  int found = -1;
  for (size_t i = 0; i < waves.size(); ++i)
    if (waves[i].lowKey <= key && key <= waves[i].highKey && waves[i].lowVel <= velocity &&
        velocity <= waves[i].highVel)
      found = static_cast<int>(i);
  return found;
}

class ContentSoundSetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folders = setFolders();
    ASSERT_GE(folders.size(), 3u) << "no generated sound sets in " << soundsDir();
  }
  std::vector<fs::path> folders;
};

TEST_F(ContentSoundSetsTest, FoldersFollowTheNamingRulesAndHoldThreeSounds) {
  std::vector<int> numbers;
  for (const fs::path& f : folders) {
    const std::string n = f.filename().string();
    size_t i = 0;
    int number = 0;
    while (i < n.size() && std::isdigit(static_cast<unsigned char>(n[i]))) number = number * 10 + (n[i++] - '0');
    EXPECT_TRUE(i < n.size() && n[i] == '-') << n;
    EXPECT_GE(number, 1) << n;
    EXPECT_LE(number, 99) << n;
    EXPECT_LE(n.size(), 250u);
    numbers.push_back(number);
    for (const char* kind : {"MainS", "Symp", "Drone"}) {
      fs::path p = f / (std::string(kind) + ".VORNsnd");
      ASSERT_TRUE(fs::is_regular_file(p)) << p;
      VORNsnd sound;
      EXPECT_EQ(sound.loadVORNsnd(p.c_str()), 0) << p;
      EXPECT_STREQ(sound.setName(), n.substr(0, VORNsnd::kNameSize - 1).c_str());
      EXPECT_GT(sound.waveCount(), 0);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end()) << "two sets share a number";
}

TEST_F(ContentSoundSetsTest, MainStringIsMultiSampledWithVelocityLayersAndLoops) {
  for (const fs::path& f : folders) {
    SCOPED_TRACE(f.filename().string());
    auto waves = readWaves(f / "MainS.VORNsnd");
    ASSERT_FALSE(waves.empty());
    std::vector<int> roots;
    for (const RawWave& w : waves) {
      roots.push_back(w.root);
      EXPECT_TRUE(w.looped()) << "root " << w.root << " has no sustain loop";
      EXPECT_LE(w.lowKey, w.root + 2);
      EXPECT_GE(w.highKey, w.root - 2);
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    ASSERT_LE(roots.front(), 36);
    ASSERT_GE(roots.back(), 96);
    for (size_t i = 1; i < roots.size(); ++i)
      if (roots[i] > 36 && roots[i - 1] < 96) {
        EXPECT_LE(roots[i] - roots[i - 1], 4) << "gap after " << roots[i - 1];
      }
    int layered = 0;
    for (int key = 36; key <= 96; ++key) {
      for (int vel = 1; vel <= 127; ++vel) {
        int w = pick(waves, key, vel);
        ASSERT_GE(w, 0) << "key " << key << " velocity " << vel << " has no wave";
        EXPECT_LE(std::abs(waves[w].root - key), 2) << "key " << key << " is played too far from its root";
      }
      if (pick(waves, key, 1) != pick(waves, key, 127)) ++layered;
    }
    EXPECT_EQ(layered, 61) << "every key needs a soft and a loud wave";
  }
}

TEST_F(ContentSoundSetsTest, SympatheticStringsRingAndDecayOverTheirOctave) {
  for (const fs::path& f : folders) {
    SCOPED_TRACE(f.filename().string());
    auto waves = readWaves(f / "Symp.VORNsnd");
    for (int key = 36; key <= 47; ++key) {
      int w = pick(waves, key, 100);
      ASSERT_GE(w, 0) << "key " << key;
      EXPECT_LE(std::abs(waves[w].root - key), 1);
    }
    for (const RawWave& w : waves) {
      EXPECT_FALSE(w.looped()) << "a ringing string must die away";
      EXPECT_GE(w.s.size(), static_cast<size_t>(1.5 * kRate)) << "rings for at least 1.5 s";
      auto rms = [&](size_t from, size_t n) {
        double e = 0;
        for (size_t i = from; i < from + n; ++i) e += double(w.s[i]) * w.s[i];
        return std::sqrt(e / n);
      };
      const size_t tenth = w.s.size() / 10;
      double early = rms(0, tenth), middle = rms(4 * tenth, tenth), late = rms(w.s.size() - tenth, tenth);
      EXPECT_LT(middle, 0.8 * early);
      EXPECT_LT(late, 0.1 * early);
      EXPECT_EQ(w.s.back(), 0.0f) << "ends in silence, without a click";
    }
  }
}

TEST_F(ContentSoundSetsTest, DroneHoldsARichLoopedToneOverTheDroneRange) {
  for (const fs::path& f : folders) {
    SCOPED_TRACE(f.filename().string());
    auto waves = readWaves(f / "Drone.VORNsnd");
    // Drone notes: 36 moved by -5..+6, or a key below the split an octave down.
    for (int key = 24; key <= 59; ++key) ASSERT_GE(pick(waves, key, 100), 0) << "key " << key;
    for (const RawWave& w : waves) {
      ASSERT_TRUE(w.looped());
      EXPECT_GE(w.loopEnd - w.loopStart + 1, static_cast<int>(0.5 * kRate)) << "a drone loop of at least 0.5 s";
      std::vector<double> x = steadyPart(w);
      double f0 = noteHz(w.root);
      std::vector<double> level;
      // Strings are a little inharmonic: look for each partial near k f0.
      for (int k = 1; k <= 20; ++k) {
        double m = 0;
        for (int step = -12; step <= 12; ++step) m = std::max(m, magnitudeAt(x, k * f0 * (1 + 0.0025 * step)));
        level.push_back(m);
      }
      double top = *std::max_element(level.begin(), level.end());
      int strong = std::count_if(level.begin(), level.end(), [&](double m) { return m > top * 0.01; });
      EXPECT_GE(strong, 10) << "root " << w.root << ": only " << strong << " harmonics within 40 dB";
    }
  }
}

TEST_F(ContentSoundSetsTest, EveryWaveIsCleanInTuneAndLoopsWithoutASeam) {
  uintmax_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(soundsDir())) if (e.is_regular_file()) total += e.file_size();
  EXPECT_LT(total, 40u * 1000 * 1000) << "content too large";

  int checked = 0;
  for (const fs::path& f : folders) {
    for (const char* kind : {"MainS", "Symp", "Drone"}) {
      auto waves = readWaves(f / (std::string(kind) + ".VORNsnd"));
      for (const RawWave& w : waves) {
        SCOPED_TRACE(f.filename().string() + "/" + kind + " root " + std::to_string(w.root) + " vel " +
                     std::to_string(w.lowVel) + "-" + std::to_string(w.highVel));
        double peak = 0, sum = 0;
        bool finite = true;
        for (float v : w.s) {
          finite = finite && std::isfinite(v);
          peak = std::max(peak, double(std::fabs(v)));
          sum += v;
        }
        ASSERT_TRUE(finite);
        double peakDb = 20 * std::log10(peak);
        EXPECT_GE(peakDb, -6.0);
        EXPECT_LE(peakDb, -0.1);
        EXPECT_LT(std::fabs(sum / w.s.size()), 0.005) << "DC offset";

        double hz = measurePitch(steadyPart(w), noteHz(w.root));
        EXPECT_NEAR(1200 * std::log2(hz / noteHz(w.root)), 0.0, 2.0) << "measured " << hz << " Hz";

        if (w.looped()) {
          ASSERT_LT(w.loopStart, w.loopEnd);
          ASSERT_LT(w.loopEnd, static_cast<int>(w.s.size()));
          // Inside the loop: the largest step and the largest bend of the line.
          double maxStep = 0, maxBend = 0, steps = 0;
          for (int i = w.loopStart + 1; i <= w.loopEnd; ++i) {
            double d = std::fabs(w.s[i] - w.s[i - 1]);
            maxStep = std::max(maxStep, d);
            steps += d * d;
            if (i > w.loopStart + 1) maxBend = std::max(maxBend, double(std::fabs(w.s[i] - 2 * w.s[i - 1] + w.s[i - 2])));
          }
          double rmsStep = std::sqrt(steps / (w.loopEnd - w.loopStart));
          // The oscillator goes from the loop end back to the loop start.
          double seam = std::fabs(w.s[w.loopStart] - w.s[w.loopEnd]);
          double bend = std::fabs(w.s[w.loopStart] - 2 * w.s[w.loopEnd] + w.s[w.loopEnd - 1]);
          EXPECT_LE(seam, maxStep);
          EXPECT_LE(seam, 4 * rmsStep);
          EXPECT_LE(bend, maxBend);
        }
        ++checked;
      }
    }
  }
  EXPECT_GE(checked, 3 * (32 + 6 + 3));
}

}  // namespace
