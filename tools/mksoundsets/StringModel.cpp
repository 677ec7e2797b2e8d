#include "StringModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kControlStep = 16;  // samples between envelope points

// Small deterministic generator, so the content is the same on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0); }  // 0..1
  double bipolar() { return 2.0 * uniform() - 1.0; }

 private:
  std::uint64_t state_;
};

// Two-pole filter (direct form I) with the cookbook's coefficients.
class Biquad {
 public:
  // Band-pass with constant peak gain, for the onset and hiss noise.
  static Biquad bandPass(double hz, double q, double rate) {
    const double w = angle(hz, rate), alpha = std::sin(w) / (2.0 * q);
    return Biquad(alpha, 0.0, -alpha, std::cos(w), alpha);
  }
  // Low-pass (Butterworth Q) keeping the noise under the partials' limit.
  static Biquad lowPass(double hz, double rate) {
    const double w = angle(hz, rate), c = std::cos(w);
    return Biquad(0.5 * (1.0 - c), 1.0 - c, 0.5 * (1.0 - c), c, std::sin(w) / std::numbers::sqrt2);
  }
  double tick(double x) {
    double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  static double angle(double hz, double rate) { return kTwoPi * std::min(hz, 0.45 * rate) / rate; }
  Biquad(double b0, double b1, double b2, double cosW, double alpha) {
    const double a0 = 1.0 + alpha;
    b0_ = b0 / a0;
    b1_ = b1 / a0;
    b2_ = b2 / a0;
    a1_ = -2.0 * cosW / a0;
    a2_ = (1.0 - alpha) / a0;
  }
  double b0_, b1_, b2_, a1_, a2_;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// Band-passed white noise, steeply cut above `topHz`; its level in the band
// does not depend on the rate it is made at.
class Noise {
 public:
  Noise(double hz, double q, double topHz, double rate)
      : band_(Biquad::bandPass(hz, q, rate)), cut1_(Biquad::lowPass(topHz, rate)),
        cut2_(Biquad::lowPass(topHz, rate)),
        gain_(std::sqrt(rate / StringModel::kSampleRate)) {}
  double tick(Random& rnd) { return gain_ * cut2_.tick(cut1_.tick(band_.tick(rnd.bipolar()))); }

 private:
  Biquad band_, cut1_, cut2_;
  double gain_;
};

double bodyGain(const std::vector<Resonance>& body, double hz) {
  double g = 1.0;
  for (const Resonance& r : body) {
    double d = (hz - r.hz) / r.width;
    g += r.gain / (1.0 + d * d);
  }
  return g;
}

// 1 until the blend begins, then a raised-cosine fall to exactly 0 at the end.
double blendOut(double n, double start, double end) {
  if (n <= start) return 1.0;
  if (n >= end) return 0.0;
  return 0.5 + 0.5 * std::cos(std::numbers::pi * (n - start) / (end - start));
}

double partialLevel(const StringTone& t, int k, double hz) {
  double comb = std::max(0.08, std::fabs(std::sin(std::numbers::pi * k * t.excitePoint)));
  double roll = 1.0 / std::sqrt(1.0 + std::pow(hz / t.rolloffHz, 4.0));
  return std::pow(k, -t.slope) * comb * roll * bodyGain(t.body, hz);
}

double partialLimit(const StringTone& t, double sr) { return std::min({15000.0, t.topHz, 0.42 * sr}); }

// Response at f (cycles per sample) of the player's reader: the cubic through
// the four samples around the position, as a kernel over -2..2.
double readerGain(double f) {
  const auto kernel = [](double t) {
    return t < 1.0 ? ((0.5 * t - 1.0) * t - 0.5) * t + 1.0
                   : ((-t / 6.0 + 1.0) * t - 11.0 / 6.0) * t + 1.0;
  };
  constexpr int kSteps = 256;
  double sum = 0.0;
  for (int i = 0; i < kSteps; ++i) {
    const double t = 2.0 * (i + 0.5) / kSteps;
    sum += kernel(t) * std::cos(2.0 * std::numbers::pi * f * t);
  }
  return 4.0 * sum / kSteps;
}

struct Partial {
  double hz;
  long cycles;  // per loop, looped tones only
  double level;
  double rise, pluckTime, decay;
  double shimmerPhase;
  int shimmerRate;  // cycles per loop
  double phase;
};

}  // namespace

double StringModel::noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

double StringModel::interpolationImageDb(const StringTone& t, double sampleRate) {
  const double stretch0 = std::sqrt(1.0 + t.inharmonicity);
  // Level changes inside the loop and the level scatter between partials
  // (at most 15 %) at their highest.
  const double swing = (1.0 + t.shimmer) * (1.0 + t.sweepDepth) * 1.15;
  double fundamental = 0.0, worst = 0.0;
  for (int k = 1; k <= t.maxPartials; ++k) {
    double hz = k * t.frequency * std::sqrt(1.0 + t.inharmonicity * k * k) / stretch0;
    if (hz > partialLimit(t, sampleRate)) break;
    double level = partialLevel(t, k, hz);
    if (k == 1) {
      fundamental = std::max(level / 1.15, 0.35);
      level = fundamental * 1.15;
    }
    // A partial at u cycles per sample leaves images at k -+ u, the
    // strongest next to the sample rate.
    double u = hz / sampleRate;
    double image = 0.0;
    for (double f : {1.0 - u, 1.0 + u, 2.0 - u, 2.0 + u}) image = std::max(image, std::fabs(readerGain(f)));
    worst = std::max(worst, level * swing * image / std::fabs(readerGain(u)));
  }
  return fundamental > 0.0 ? 20.0 * std::log10(std::max(worst, 1e-30) / fundamental) : -300.0;
}

RenderedWave StringModel::render(const StringTone& t, double sampleRate) {
  const double sr = sampleRate;
  const bool looped = t.loopSeconds > 0.0;
  Random rnd(t.seed);

  // A looped tone holds a whole number of cycles of every partial in its
  // loop; the fundamental then differs from the wanted one by less than half
  // a sample over the loop length (well under a tenth of a cent).
  double f1 = t.frequency;
  long loopLength = 0;
  long cyclesOfFundamental = 0;
  if (looped) {
    cyclesOfFundamental = std::max(1L, std::lround(t.loopSeconds * t.frequency));
    loopLength = std::lround(cyclesOfFundamental * sr / t.frequency);
    f1 = cyclesOfFundamental * sr / loopLength;
  }
  const long attack = std::lround(t.attackSeconds * sr);
  const long total = looped ? attack + loopLength : attack;

  std::vector<Partial> partials;
  const double stretch0 = std::sqrt(1.0 + t.inharmonicity);
  long lastCycles = 0;
  for (int k = 1; k <= t.maxPartials; ++k) {
    double hz = k * f1 * std::sqrt(1.0 + t.inharmonicity * k * k) / stretch0;
    if (hz > partialLimit(t, sr)) break;
    Partial p{};
    if (looped) {
      p.cycles = std::lround(hz * loopLength / sr);
      if (k == 1) p.cycles = cyclesOfFundamental;
      if (p.cycles <= lastCycles) continue;
      lastCycles = p.cycles;
      p.hz = p.cycles * sr / loopLength;
    } else {
      p.hz = hz;
    }
    double jitter = 1.0 + 0.15 * rnd.bipolar();
    p.level = partialLevel(t, k, p.hz) * jitter;
    if (k == 1) p.level = std::max(p.level, 0.35);  // keep the fundamental audible
    p.rise = t.riseSeconds * std::pow(k, t.riseTilt);
    p.pluckTime = t.pluckSeconds / (1.0 + 0.12 * (k - 1));
    p.decay = t.decaySeconds / (1.0 + t.decayTilt * (k - 1));
    p.shimmerPhase = kTwoPi * rnd.uniform();
    p.shimmerRate = 1 + static_cast<int>(rnd.next() % 3);
    p.phase = kTwoPi * rnd.uniform();
    partials.push_back(p);
  }

  std::vector<double> out(total, 0.0);
  const double blendStart = std::max(0.0, attack - 0.25 * sr);
  std::vector<double> env(total / kControlStep + 2);

  for (const Partial& p : partials) {
    // Envelope at control points, interpolated linearly between them.
    for (std::size_t c = 0; c < env.size(); ++c) {
      double n = static_cast<double>(c) * kControlStep;
      double time = n / sr;
      double e;
      if (looped) {
        double onset = (1.0 - std::exp(-time / p.rise)) * (1.0 + t.pluck * std::exp(-time / p.pluckTime));
        double w = blendOut(n, blendStart, attack);
        e = 1.0 + (onset - 1.0) * w;
        double loopPhase = kTwoPi * p.shimmerRate * std::fmod(n, static_cast<double>(loopLength)) / loopLength;
        e *= 1.0 + t.shimmer * std::sin(loopPhase + p.shimmerPhase);
        if (t.sweepDepth > 0.0) {
          double centre = t.sweepHz * std::pow(2.0, t.sweepOctaves * std::sin(loopPhase / p.shimmerRate));
          double d = std::log2(p.hz / centre) * 3.0;
          e *= 1.0 + t.sweepDepth / (1.0 + d * d);
        }
      } else {
        e = (1.0 - std::exp(-time / p.rise)) * std::exp(-time / p.decay);
        e *= blendOut(n, 0.88 * total, total - 1);
      }
      env[c] = e * p.level;
    }
    // Each partial is resynchronised to its exact phase every block, so the
    // loop stays exactly periodic however long the recurrence runs.
    const double w = kTwoPi * p.hz / sr;
    const double cw = std::cos(w), sw = std::sin(w);
    const double beatW = w * std::pow(2.0, t.beatCents / 1200.0);
    const long block = 1024;
    for (long start = 0; start < total; start += block) {
      double ph;
      if (looped) {
        long m = (p.cycles * (start % loopLength)) % loopLength;
        ph = kTwoPi * static_cast<double>(m) / loopLength + p.phase;
      } else {
        ph = w * start + p.phase;
      }
      double re = std::cos(ph), im = std::sin(ph);
      long end = std::min(total, start + block);
      for (long n = start; n < end; ++n) {
        long c = n / kControlStep;
        double frac = static_cast<double>(n % kControlStep) / kControlStep;
        double e = env[c] + (env[c + 1] - env[c]) * frac;
        double s = im;
        if (!looped && t.beatCents != 0.0) s += 0.3 * std::sin(beatW * n + p.phase + 1.0);
        out[n] += e * s;
        double nre = re * cw - im * sw;
        im = re * sw + im * cw;
        re = nre;
      }
    }
  }

  // Onset noise: filtered, quick rise, dies away before the loop begins.
  double fundamentalLevel = partials.empty() ? 1.0 : partials.front().level;
  if (t.noiseLevel > 0.0) {
    Noise noise(t.noiseHz, t.noiseQ, partialLimit(t, sr), sr);
    long n1 = std::min(total, looped ? attack : total);
    for (long n = 0; n < n1; ++n) {
      double time = n / sr;
      double e = std::min(1.0, time / 0.004) * std::exp(-time / t.noiseSeconds);
      if (looped) e *= blendOut(n, blendStart, attack);
      out[n] += fundamentalLevel * t.noiseLevel * 4.0 * e * noise.tick(rnd);
    }
  }
  // Bow hiss inside the loop: one loop length of noise made circular by an
  // equal-power cross-fade with the stretch that follows it.
  if (looped && t.hissLevel > 0.0) {
    Noise noise(t.noiseHz, 0.7, partialLimit(t, sr), sr);
    std::vector<double> raw(3 * loopLength);
    for (double& v : raw) v = noise.tick(rnd);
    std::vector<double> hiss(loopLength);
    for (long i = 0; i < loopLength; ++i) {
      double x = static_cast<double>(i) / loopLength;
      hiss[i] = raw[loopLength + i] * std::sin(0.5 * std::numbers::pi * x) +
                raw[2 * loopLength + i] * std::cos(0.5 * std::numbers::pi * x);
    }
    for (long n = 0; n < total; ++n) {
      double fadeIn = 1.0 - blendOut(n, blendStart * 0.5, attack);
      out[n] += fundamentalLevel * t.hissLevel * 4.0 * fadeIn * hiss[n % loopLength];
    }
  }

  // Remove what little offset the onset leaves: a smooth bump over the part
  // before the loop (or the whole decaying tone), so the loop stays untouched.
  const long span = looped ? attack : total;
  if (span > 1) {
    double sum = 0.0, windowSum = 0.0;
    for (double v : out) sum += v;
    std::vector<double> window(span);
    for (long n = 0; n < span; ++n) {
      double s = std::sin(std::numbers::pi * n / (span - 1));
      window[n] = s * s;
      windowSum += window[n];
    }
    for (long n = 0; n < span; ++n) out[n] -= sum / windowSum * window[n];
  }

  double peak = 0.0;
  for (double v : out) peak = std::max(peak, std::fabs(v));
  double gain = peak > 0.0 ? std::pow(10.0, t.peakDb / 20.0) / peak : 0.0;

  RenderedWave wave;
  wave.samples.resize(total);
  for (long n = 0; n < total; ++n) wave.samples[n] = static_cast<float>(out[n] * gain);
  // A decaying tone ends in true silence; the reader appends silence too.
  if (!looped && total > 0) wave.samples[total - 1] = 0.0f;
  if (looped) {
    wave.loopStart = static_cast<int>(attack);
    wave.loopEnd = static_cast<int>(attack + loopLength - 1);
  }
  return wave;
}
