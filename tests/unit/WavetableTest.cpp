#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sound/VORNsnd.h"
#include "sound/VORNsndWriter.h"
#include "sound/Wavetable.h"
#include "testsupport/TestFiles.h"

namespace {

using Wave = VORNsndWriter::Wave;

Wave constant(float value, int length, int lowKey = 0, int highKey = 127, int root = 60) {
  Wave w;
  w.samples.assign(length, value);
  w.loopStart = 10;
  w.loopEnd = length - 10;
  w.lowKey = lowKey;
  w.highKey = highKey;
  w.rootKey = root;
  return w;
}

class OscillatorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  std::unique_ptr<VORNsnd> sound(const std::vector<Wave>& waves) {
    const std::string path = dir + "/" + std::to_string(files++) + ".VORNsnd";
    std::string error;
    EXPECT_TRUE(VORNsndWriter::write(path, "test", waves, nullptr, &error)) << error;
    auto snd = std::make_unique<VORNsnd>();
    EXPECT_EQ(snd->loadVORNsnd(path.c_str()), 0);
    return snd;
  }
  testfiles::TempDir tmp{"wavetable_test"};
  std::string dir = tmp.str();
  int files = 0;
};

TEST_F(OscillatorTest, FrequencyTableMatchesMidiPitchesAndTheRootKeyWraps) {
  auto snd = sound({constant(0.5f, 1000)});
  Wavetable osc(snd.get());
  for (auto [key, hz] : {std::pair{0, 8.1757994f}, {12, 16.351599f}, {60, 261.62558f}, {69, 440.0f},
                         {127, 12543.8535f}})
    EXPECT_FLOAT_EQ(osc.frequencyTable(key), hz) << key;

  // The root key shifts the note, and the sum wraps modulo 128 (pitches at
  // root keys and rates are measured in the plug-in's import tests).
  auto low = sound({constant(0.5f, 1000, 0, 127, 30)});
  Wavetable wrap(low.get());
  wrap.setNote(127, 100, true, false);  // 127 + 60 - 30 = 157 -> 29
  EXPECT_EQ(wrap.getNote(), 157);
  EXPECT_FLOAT_EQ(wrap.frequency(), wrap.frequencyTable(29));
  auto high = sound({constant(0.5f, 1000, 0, 127, 127)});
  Wavetable down(high.get());
  down.setNote(0, 100, true, false);  // 0 + 60 - 127 = -67 -> 61
  EXPECT_FLOAT_EQ(down.frequency(), down.frequencyTable(61));
  EXPECT_TRUE(std::isfinite(down.tick()));

  // The last wave whose key and velocity ranges hold the note is chosen.
  Wave a = constant(0.25f, 500, 0, 70), b = constant(0.5f, 500, 60, 127), c = constant(0.75f, 500);
  c.lowVelocity = 120;
  auto layered = sound({a, b, c});
  Wavetable pick(layered.get());
  for (auto [note, velocity, wave] : {std::tuple{40, 100, 0}, {65, 100, 1}, {40, 127, 2}, {128, 100, 2}}) {
    pick.setNote(note, velocity, true, true);
    EXPECT_EQ(pick.currentWave(), wave) << note << " " << velocity;
  }
}

// Bend and scale offsets are measured through the plug-in; here the
// envelope and LFO deviations, which add in Hz.
TEST_F(OscillatorTest, PitchDeviationsAddInHertz) {
  auto snd = sound({constant(0.5f, 1000)});
  Wavetable osc(snd.get());
  osc.setNote(60, 100, true, false);
  const float f60 = osc.frequencyTable(60);
  osc.setPitchEnv(0.5f, 5);
  osc.setPitchLfo(-1.0f, 1);
  osc.setRate();
  const float expected = f60 + 0.5f * (osc.frequencyTable(65) - f60) -
                         (f60 - osc.frequencyTable(59));
  EXPECT_NEAR(osc.frequency(), expected, 1e-3f);
}

// A looped sine of u = 0.05 cycles per sample played a little above its root
// (through the loop seam several times): every output lies within the
// remainder bound of a cubic through four samples, max|f^(4)| / 4! times
// max|(x + 1) x (x - 1) (x - 2)| = 9/16 on 0..1, about -73 dB. A straight
// line between two samples misses by up to (2 pi u)^2 / 8, about -38 dB.
TEST_F(OscillatorTest, ReadsBetweenSamplesWithinTheCubicRemainder) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double u = 0.05;
  Wave sine = constant(0.0f, 4000);
  for (size_t i = 0; i < sine.samples.size(); ++i)
    sine.samples[i] = static_cast<float>(std::sin(2.0 * kPi * u * static_cast<double>(i)));
  sine.loopStart = 200;  // 3800 samples: a whole number of cycles
  sine.loopEnd = 3999;
  auto snd = sound({sine});
  Wavetable osc(snd.get());
  osc.setNote(61, 100, true, false);
  ASSERT_GT(std::fabs(osc.increment() - 1.0f), 0.05f);
  const double bound = std::pow(2.0 * kPi * u, 4.0) / 24.0 * (9.0 / 16.0);
  double worst = 0.0;
  for (int n = 0; n < 20000; ++n) {
    const double p = osc.position();
    worst = std::max(worst, std::fabs(osc.tick() - std::sin(2.0 * kPi * u * p)));
  }
  EXPECT_GT(osc.position(), 200.0);
  EXPECT_LT(worst, bound + 1e-6) << "worst error " << 20.0 * std::log10(worst) << " dB";
}

}  // namespace

// A stretch ticked in one call gives the same samples as tick() one by one:
// looping, fading in, cross-fading, gliding and running off a one-shot wave.
TEST_F(OscillatorTest, BlockTickingMatchesTickingOneByOne) {
  Wave once;
  once.samples.resize(3000);
  for (size_t i = 0; i < once.samples.size(); ++i)
    once.samples[i] = std::sin(0.05f * static_cast<float>(i));
  once.loopStart = 0;
  once.loopEnd = 0;
  once.lowKey = 0;
  once.highKey = 40;
  Wave looped = constant(0.0f, 2000, 41, 127);
  for (size_t i = 0; i < looped.samples.size(); ++i)
    looped.samples[i] = std::cos(0.013f * static_cast<float>(i * i % 977));
  auto snd = sound({once, looped});
  Wavetable single(snd.get()), block(snd.get());
  auto both = [&](auto&& f) {
    f(single);
    f(block);
  };
  both([](Wavetable& o) {
    o.setGlider(0.05f);
    o.setLegatoMode(true);
    o.setNote(60, 100, true, false);
  });
  const int lengths[] = {1, 7, 128, 64, 3, 128, 128, 100};
  std::vector<float> out(128);
  auto compare = [&](const char* what) {
    SCOPED_TRACE(what);
    for (int n : lengths) {
      both([](Wavetable& o) { o.beginBlock(); });
      for (int j = 0; j < n; ++j) out[j] = single.tick();
      std::vector<float> got(128);
      block.tickBlock(got.data(), n);
      both([](Wavetable& o) { o.endBlock(); });
      for (int j = 0; j < n; ++j) ASSERT_EQ(got[j], out[j]) << "sample " << j << " of " << n;
      ASSERT_EQ(block.position(), single.position());
    }
  };
  compare("fade-in after the first note");
  both([](Wavetable& o) { o.setNote(67, 100, false, false); });
  compare("legato glide");
  both([](Wavetable& o) { o.setNote(30, 90, true, false); });
  compare("cross-fade to a wave played once");
  for (int i = 0; i < 12; ++i) compare("running off its end");
  both([](Wavetable& o) { o.setNote(80, 90, true, true); });
  compare("forced change back to the loop");

  // A crawl far into a long wave: there the running sum of the positions
  // rounds at every step, and the block must round as tick() does.
  Wave wide = constant(0.0f, 6000);
  for (size_t i = 0; i < wide.samples.size(); ++i)
    wide.samples[i] = std::sin(0.002f * static_cast<float>(i));
  auto slowSound = sound({wide});
  Wavetable slow(slowSound.get()), slowBlock(slowSound.get());
  // The block ends before the oscillators go, however the test leaves.
  struct Blocks {
    Wavetable *a, *b;
    ~Blocks() {
      a->endBlock();
      b->endBlock();
    }
  } blocks{&slow, &slowBlock};
  std::vector<float> expected(128), got(128);
  for (Wavetable* o : {&slow, &slowBlock}) {
    o->setNote(60, 100, true, false);
    o->beginBlock();
    for (int j = 0; j < 2500; ++j) o->tick();
  }
  // About a millionth of the pitch, fine enough that the sum rounds.
  const double p = slow.position();
  ASSERT_GT(p, 2048.0);
  float fine = -16.35157f;
  for (int k = 0; k < 64; ++k, fine = std::nextafter(fine, 0.0f)) {
    slow.setFine1(fine);
    slow.setRate();
    const double step = slow.increment();
    if (p + step - p != step) break;
  }
  ASSERT_NE(p + slow.increment() - p, static_cast<double>(slow.increment()));
  slowBlock.setFine1(fine);
  slowBlock.setRate();
  for (int b = 0; b < 4; ++b) {
    for (int j = 0; j < 128; ++j) expected[j] = slow.tick();
    slowBlock.tickBlock(got.data(), 128);
    for (int j = 0; j < 128; ++j) ASSERT_EQ(got[j], expected[j]) << "crawl, sample " << j;
    ASSERT_EQ(slowBlock.position(), slow.position()) << "crawl, block " << b;
  }
}
