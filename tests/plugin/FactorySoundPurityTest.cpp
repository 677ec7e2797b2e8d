// Held notes of every generated factory set, played dry through the plug-in
// across the keyboard: besides the tone's own partials nothing may come
// within 70 dB of the fundamental. A fold-back of partials past half the
// output rate, or images left by reading a wave at a stretched rate, shows
// as a line between the partials.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/VstSynth.h"
#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBound = -70.0;  // dB below the fundamental

fs::path factorySounds() {
  return testfiles::buildDir() / "content/Sounds/Banks/Quillmark/Vellamor";
}

std::vector<std::string> factorySetFolders() {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(factorySounds(), ec))
    if (fs::exists(entry.path() / "MainS.VORNsnd")) out.push_back(entry.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

double equalTempered(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// In-place radix-2 FFT; the size is a power of two.
void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j |= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1.0;
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

// Magnitudes in dB of a 4-term Blackman-Harris windowed stretch (sidelobes
// near -92 dB, main lobe 4 bins each side).
std::vector<double> spectrumDb(const std::vector<float>& x, size_t from, size_t n) {
  std::vector<std::complex<double>> a(n);
  for (size_t i = 0; i < n; ++i) {
    const double p = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
    const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
    a[i] = w * x[from + i];
  }
  fft(a);
  std::vector<double> db(n / 2);
  for (size_t k = 0; k < n / 2; ++k) db[k] = 20.0 * std::log10(std::abs(a[k]) + 1e-30);
  return db;
}

struct Purity {
  double fundamentalHz = 0.0;
  double worstDb = 0.0;  // strongest line off the partials, relative to the fundamental
  double worstHz = 0.0;
};

// The fundamental is the strongest bin within a quarter tone of the expected
// pitch. The partials are then followed upwards one by one from the spacing
// of the last two, so a slightly stretched series is still recognised; bins
// near each of them are left out, and so is everything below 20 Hz.
Purity purity(const std::vector<double>& db, double binHz, double expectedHz) {
  const auto bin = [&](double hz) { return static_cast<long>(std::lround(hz / binHz)); };
  const long last = static_cast<long>(db.size()) - 1;
  const auto strongest = [&](long lo, long hi) {
    lo = std::clamp(lo, 1L, last);
    hi = std::clamp(hi, 1L, last);
    long best = lo;
    for (long k = lo; k <= hi; ++k)
      if (db[k] > db[best]) best = k;
    return best;
  };
  Purity p;
  const long k1 = strongest(bin(expectedHz * 0.9715), bin(expectedHz * 1.0293));
  p.fundamentalHz = static_cast<double>(k1) * binHz;
  const double reference = db[k1];

  std::vector<bool> masked(db.size(), false);
  for (long k = 0; k <= std::min(last, bin(20.0)); ++k) masked[k] = true;
  // Main lobe plus the slow level changes inside the loop (a few Hz).
  const long half = 4 + bin(16.0);
  const auto mask = [&](long centre) {
    for (long k = std::max(0L, centre - half); k <= std::min(last, centre + half); ++k) masked[k] = true;
  };
  double previous = 0.0, current = p.fundamentalHz;
  mask(k1);
  while (true) {
    const double spacing = current - previous;
    const double predicted = current + spacing;
    if (bin(predicted) - half > last) break;
    const long found = strongest(bin(predicted - spacing / 4), bin(predicted + spacing / 4));
    const bool isPeak = db[found] > reference - 110.0 && found > 0 && found < last &&
                        db[found] >= db[found - 1] && db[found] >= db[found + 1];
    previous = current;
    current = isPeak ? static_cast<double>(found) * binHz : predicted;
    mask(bin(current));
  }
  p.worstDb = -300.0;
  for (long k = 1; k < last; ++k) {
    if (masked[k] || db[k] < db[k - 1] || db[k] < db[k + 1]) continue;
    if (db[k] - reference > p.worstDb) {
      p.worstDb = db[k] - reference;
      p.worstHz = static_cast<double>(k) * binHz;
    }
  }
  return p;
}

class FactorySoundPurity : public SoundSetFixture {
 protected:
  // Every factory set in the data folder.
  void SetUp() override {
    SoundSetFixture::SetUp();
    for (const std::string& folder : factorySetFolders())
      fs::copy(factorySounds() / folder, fs::path(soundFolder()) / folder, fs::copy_options::recursive);
  }

  // A held note of velocity `velocity`, analysed once the loop plays; all
  // notes off afterwards so the next note starts alone.
  static Purity heldNote(VstSynth& synth, int note, int velocity, double rate) {
    const size_t n = rate > 60000.0 ? 32768 : 16384;
    const size_t from = static_cast<size_t>(0.6 * rate);
    host::MidiEventList on;
    on.noteOn(0, 0, note, velocity);
    const std::vector<float> out = process(synth, on, static_cast<int>(from + n), 0, 256);
    host::MidiEventList off;
    off.controller(0, 0, 123, 0);
    process(synth, off, 512, 0, 256);
    EXPECT_TRUE(measure::allFinite(out));
    return purity(spectrumDb(out, from, n), rate / static_cast<double>(n), equalTempered(note));
  }

  // Every third key from the lowest root of the main sound to the top of
  // the keyboard, and the top three keys.
  static std::vector<int> keys() {
    std::vector<int> out{36};
    for (int note = 38; note < 125; note += 3) out.push_back(note);
    for (int note : {125, 126, 127}) out.push_back(note);
    return out;
  }

  void expectPure(int row, double rate, const std::vector<int>& notes,
                  const std::vector<int>& velocities) {
    const std::string folder = factorySetFolders().at(static_cast<size_t>(row));
    // The engine dry at `rate`, playing the set of `row` once the worker loaded it.
    VstSynth synth(nullptr);
    synth.setSampleRate(static_cast<float>(rate));
    for (auto [index, value] : dryParameters()) synth.setParameter(index, value);
    synth.setParameter(kSoundSetRow, static_cast<float>(row));
    const host::MidiEventList none;
    process(synth, none, 256);
    synth.waitForLoads();
    process(synth, none, 256);
    ASSERT_EQ(synth.currentSoundSet(), std::stol(folder.substr(0, 2)) - 1) << folder;
    for (int velocity : velocities) {
      for (int note : notes) {
        const Purity p = heldNote(synth, note, velocity, rate);
        const double cents = 1200.0 * std::log2(p.fundamentalHz / equalTempered(note));
        EXPECT_LT(std::fabs(cents), 30.0) << folder << " note " << note << " at " << p.fundamentalHz << " Hz";
        EXPECT_LT(p.worstDb, kBound) << folder << " note " << note << " velocity " << velocity << ": "
                                     << p.worstHz << " Hz against " << p.fundamentalHz << " Hz";
      }
    }
  }
};

}  // namespace

TEST_F(FactorySoundPurity, EverySetHoldsCleanNotesAcrossTheKeyboard) {
  const std::vector<std::string> folders = factorySetFolders();
  ASSERT_FALSE(folders.empty()) << "no generated sound sets below " << factorySounds();
  for (size_t row = 0; row < folders.size(); ++row)
    expectPure(static_cast<int>(row), 44100.0, keys(), {100, 60});
}

TEST_F(FactorySoundPurity, HighNotesStayCleanAtOtherRates) {
  ASSERT_FALSE(factorySetFolders().empty());
  for (double rate : {48000.0, 96000.0})
    expectPure(0, rate, {72, 84, 91, 96, 98, 103, 108, 115, 120, 124, 127}, {100});
}
