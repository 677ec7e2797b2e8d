#include "FactorySets.h"

#include <algorithm>
#include <cmath>

namespace {

std::uint64_t seedOf(const std::string& text, int a, int b) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  h = (h ^ static_cast<std::uint64_t>(a)) * 1099511628211ull;
  return (h ^ static_cast<std::uint64_t>(b)) * 1099511628211ull;
}

VORNsndWriter::Wave toWave(const RenderedWave& r, int root, int lowKey, int highKey, int lowVel,
                           int highVel) {
  VORNsndWriter::Wave w;
  w.samples = r.samples;
  w.loopStart = r.loopStart;
  w.loopEnd = r.loopEnd;
  w.rootKey = root;
  w.lowKey = lowKey;
  w.highKey = highKey;
  w.lowVelocity = lowVel;
  w.highVelocity = highVel;
  return w;
}

// A wave for `root` played up to key `highest`: partials under half of
// 44.1 kHz there, with room for fine tuning, deviations and scales. It is
// rendered at a rate high enough (the root key tag lowered by as many
// semitones) that reading it between samples leaves images well under the
// partials; the player then steps through it that much faster.
VORNsndWriter::Wave bandLimited(StringTone t, int root, int highest, int lowKey, int highKey,
                                int lowVel, int highVel) {
  constexpr double kPitchRoom = 2.0;       // semitones above the highest key
  constexpr double kHighestHz = 20950.0;   // 95 % of half of 44.1 kHz
  constexpr double kImageDb = -76.0;
  constexpr int kMostRaise = 52;           // keeps the player's table notes in range
  t.topHz = kHighestHz / std::pow(2.0, (highest + kPitchRoom - root) / 12.0);
  int raise = 0;
  auto rate = [](int r) { return StringModel::kSampleRate * std::pow(2.0, r / 12.0); };
  const int most = std::min(kMostRaise, root);
  while (raise < most && StringModel::interpolationImageDb(t, rate(raise)) > kImageDb) ++raise;
  // Still too loud at the highest rate: give up the partials that image
  // most, all but the fundamental.
  while (t.topHz > 1.5 * t.frequency && StringModel::interpolationImageDb(t, rate(raise)) > kImageDb)
    t.topHz = std::max(t.topHz * 0.94, 1.5 * t.frequency);
  return toWave(StringModel::render(t, rate(raise)), root - raise, lowKey, highKey, lowVel, highVel);
}

// Low notes keep their partials; high notes lose the body's low modes and
// sound a little thinner, as a real string does up the neck.
StringTone atNote(StringTone t, int note, std::uint64_t seed) {
  t.frequency = StringModel::noteHz(note);
  t.seed = seed;
  double above = std::max(0, note - 60) / 36.0;
  t.riseSeconds *= 1.0 - 0.5 * above;
  t.decaySeconds *= 1.0 - 0.45 * std::max(0, note - 36) / 60.0;
  return t;
}

SetDesign bowedGut() {
  SetDesign s;
  s.folder = "01-Bowed Gut";
  StringTone m;
  m.inharmonicity = 0.00004;
  m.slope = 1.0;
  m.excitePoint = 0.11;
  m.body = {{230, 1.4, 40}, {420, 2.0, 60}, {580, 1.0, 90}, {1100, 0.7, 220}, {2500, 1.3, 650}};
  m.attackSeconds = 0.45;
  m.loopSeconds = 0.3;
  m.shimmer = 0.05;
  m.noiseHz = 2600;
  m.noiseQ = 1.2;
  m.noiseSeconds = 0.06;
  s.mainSoft = m;
  s.mainSoft.rolloffHz = 3200;
  s.mainSoft.riseSeconds = 0.07;
  s.mainSoft.riseTilt = 0.25;
  s.mainSoft.noiseLevel = 0.05;
  s.mainSoft.hissLevel = 0.0008;
  s.mainSoft.peakDb = -3.0;
  s.mainLoud = m;
  s.mainLoud.rolloffHz = 5500;
  s.mainLoud.riseSeconds = 0.035;
  s.mainLoud.riseTilt = -0.15;
  s.mainLoud.noiseLevel = 0.14;
  s.mainLoud.hissLevel = 0.0012;
  s.mainLoud.peakDb = -1.0;

  StringTone y;
  y.body = m.body;
  y.slope = 1.15;
  y.excitePoint = 0.19;
  y.rolloffHz = 4000;
  y.attackSeconds = 2.6;
  y.riseSeconds = 0.02;
  y.decaySeconds = 1.5;
  y.decayTilt = 0.09;
  y.beatCents = 1.2;
  y.peakDb = -2.0;
  s.symp = y;

  StringTone d;
  d.body = {{180, 1.2, 40}, {400, 1.5, 80}, {1500, 0.6, 400}};
  d.slope = 0.9;
  d.excitePoint = 0.13;
  d.rolloffHz = 3000;
  d.maxPartials = 90;
  d.attackSeconds = 0.45;
  d.loopSeconds = 1.2;
  d.riseSeconds = 0.12;
  d.riseTilt = 0.2;
  d.shimmer = 0.08;
  d.sweepDepth = 0.8;
  d.sweepHz = 900;
  d.sweepOctaves = 0.6;
  d.noiseLevel = 0.03;
  d.noiseHz = 1800;
  d.hissLevel = 0.004;
  d.peakDb = -1.5;
  s.drone = d;
  return s;
}

SetDesign brightSteel() {
  SetDesign s;
  s.folder = "02-Bright Steel";
  StringTone m;
  m.inharmonicity = 0.00018;
  m.slope = 0.8;
  m.excitePoint = 0.07;
  m.body = {{290, 1.2, 50}, {520, 1.5, 80}, {2900, 2.4, 700}, {4600, 1.0, 900}};
  m.attackSeconds = 0.4;
  m.loopSeconds = 0.3;
  m.shimmer = 0.09;
  m.noiseHz = 4000;
  m.noiseQ = 1.0;
  m.noiseSeconds = 0.04;
  s.mainSoft = m;
  s.mainSoft.rolloffHz = 6000;
  s.mainSoft.riseSeconds = 0.045;
  s.mainSoft.riseTilt = 0.15;
  s.mainSoft.noiseLevel = 0.06;
  s.mainSoft.hissLevel = 0.001;
  s.mainSoft.peakDb = -3.0;
  s.mainLoud = m;
  s.mainLoud.rolloffHz = 10000;
  s.mainLoud.riseSeconds = 0.018;
  s.mainLoud.riseTilt = -0.2;
  s.mainLoud.noiseLevel = 0.16;
  s.mainLoud.hissLevel = 0.0014;
  s.mainLoud.peakDb = -1.0;

  StringTone y;
  y.body = m.body;
  y.inharmonicity = 0.0002;
  y.slope = 0.9;
  y.excitePoint = 0.09;
  y.rolloffHz = 8000;
  y.attackSeconds = 3.0;
  y.riseSeconds = 0.012;
  y.decaySeconds = 1.5;
  y.decayTilt = 0.06;
  y.beatCents = 1.4;
  y.peakDb = -2.0;
  s.symp = y;

  // A bright, buzzing drone whose formant wanders once per loop.
  StringTone d;
  d.inharmonicity = 0.0001;
  d.body = {{300, 1.0, 60}, {2800, 1.5, 800}};
  d.slope = 0.55;
  d.excitePoint = 0.05;
  d.rolloffHz = 7000;
  d.maxPartials = 110;
  d.attackSeconds = 0.4;
  d.loopSeconds = 1.2;
  d.riseSeconds = 0.03;
  d.pluck = 1.2;
  d.pluckSeconds = 0.2;
  d.shimmer = 0.1;
  d.sweepDepth = 2.0;
  d.sweepHz = 2200;
  d.sweepOctaves = 1.0;
  d.noiseLevel = 0.05;
  d.noiseHz = 3500;
  d.peakDb = -1.5;
  s.drone = d;
  return s;
}

SetDesign pluckedNylon() {
  SetDesign s;
  s.folder = "03-Plucked Nylon";
  StringTone m;
  m.inharmonicity = 0.00008;
  m.slope = 1.2;
  m.excitePoint = 0.16;
  m.body = {{105, 1.5, 15}, {210, 1.8, 30}, {400, 1.0, 60}, {1000, 0.5, 250}};
  m.attackSeconds = 0.6;
  m.loopSeconds = 0.3;
  m.riseSeconds = 0.0015;
  m.pluckSeconds = 0.22;
  m.shimmer = 0.04;
  m.noiseHz = 1500;
  m.noiseQ = 0.8;
  m.noiseSeconds = 0.012;
  s.mainSoft = m;
  s.mainSoft.rolloffHz = 2600;
  s.mainSoft.pluck = 2.0;
  s.mainSoft.noiseLevel = 0.15;
  s.mainSoft.peakDb = -3.0;
  s.mainLoud = m;
  s.mainLoud.rolloffHz = 4500;
  s.mainLoud.pluck = 3.0;
  s.mainLoud.noiseLevel = 0.3;
  s.mainLoud.peakDb = -1.0;

  StringTone y;
  y.body = m.body;
  y.slope = 1.25;
  y.excitePoint = 0.2;
  y.rolloffHz = 3000;
  y.attackSeconds = 2.4;
  y.riseSeconds = 0.006;
  y.decaySeconds = 1.1;
  y.decayTilt = 0.12;
  y.beatCents = 0.8;
  y.peakDb = -2.0;
  s.symp = y;

  // A soft, round drone, like a bowed bass string far from the bridge.
  StringTone d;
  d.body = {{110, 1.2, 20}, {220, 1.0, 40}, {700, 0.4, 200}};
  d.slope = 1.3;
  d.excitePoint = 0.25;
  d.rolloffHz = 1800;
  d.maxPartials = 60;
  d.attackSeconds = 0.5;
  d.loopSeconds = 1.2;
  d.riseSeconds = 0.15;
  d.shimmer = 0.12;
  d.sweepDepth = 0.5;
  d.sweepHz = 500;
  d.sweepOctaves = 0.5;
  d.hissLevel = 0.003;
  d.noiseHz = 1200;
  d.peakDb = -1.5;
  s.drone = d;
  return s;
}

}  // namespace

std::vector<SetDesign> FactorySets::designs() { return {bowedGut(), brightSteel(), pluckedNylon()}; }

std::vector<VORNsndWriter::Wave> FactorySets::waves(const SetDesign& set, const std::string& kind) {
  std::vector<VORNsndWriter::Wave> out;
  if (kind == "MainS") {
    for (int root = kMainLow; root <= kMainHigh; root += kMainStep) {
      int low = root == kMainLow ? 0 : root - kMainStep / 2;
      int high = root == kMainHigh ? 127 : root + kMainStep / 2 - 1;
      out.push_back(bandLimited(atNote(set.mainSoft, root, seedOf(set.folder, root, 1)), root, high,
                                low, high, 0, kSoftTop));
      out.push_back(bandLimited(atNote(set.mainLoud, root, seedOf(set.folder, root, 2)), root, high,
                                low, high, kSoftTop + 1, 127));
    }
  } else if (kind == "Symp") {
    for (int root = kSympLow; root <= kSympHigh; root += 2) {
      int low = root == kSympLow ? 0 : root;
      int high = root + 2 > kSympHigh ? 127 : root + 1;
      out.push_back(bandLimited(atNote(set.symp, root, seedOf(set.folder, root, 3)), root,
                                std::min(high, kSympHigh), low, high, 0, 127));
    }
  } else if (kind == "Drone") {
    // The drone plays note 36 moved by up to kDroneRaise semitones either
    // way, or, below a split key, the played key an octave down: up to
    // kDroneTop, moved the same way.
    out.push_back(bandLimited(atNote(set.drone, 31, seedOf(set.folder, 31, 4)), 31, 33 + kDroneRaise,
                              0, 33, 0, 127));
    out.push_back(bandLimited(atNote(set.drone, 36, seedOf(set.folder, 36, 4)), 36, 39 + kDroneRaise,
                              34, 39, 0, 127));
    for (int root = 43; root <= kDroneTop; root += kDroneStep) {
      int low = root - kDroneStep / 2, high = root + kDroneStep / 2 - 1 + kDroneStep % 2;
      if (root + kDroneStep > kDroneTop) high = 127;
      out.push_back(bandLimited(atNote(set.drone, root, seedOf(set.folder, root, 4)), root,
                                std::min(high, kDroneTop) + kDroneRaise, low, high, 0, 127));
    }
  }
  return out;
}
