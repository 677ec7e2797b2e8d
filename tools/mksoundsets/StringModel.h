// Additive model of one string tone: harmonic partials with a little
// inharmonicity, shaped by the excitation point and a body of resonances,
// with an onset (bow noise or pluck), and either a decay (ringing strings) or
// a sustain loop that is exactly periodic, so it repeats without a seam.
//
// Threads: offline tool only.
#pragma once

#include <cstdint>
#include <vector>

struct Resonance {
  double hz;
  double gain;   // added to the flat response at the centre
  double width;  // half width in Hz
};

struct StringTone {
  double frequency = 261.6255653;  // wanted fundamental in Hz
  double inharmonicity = 0.0;      // B in f_k = k f sqrt(1 + B k^2) / sqrt(1 + B)
  double slope = 1.0;              // partial amplitude ~ k^-slope
  double rolloffHz = 6000.0;       // corner of the steep high cut
  double excitePoint = 0.12;       // relative bow/pluck position (comb)
  std::vector<Resonance> body;
  int maxPartials = 80;
  // No partial above this (Hz): a wave played up to some interval above its
  // root keeps its partials under half the output rate there.
  double topHz = 15000.0;

  double attackSeconds = 0.4;  // part before the loop, or the whole tone without loop
  double loopSeconds = 0.0;    // 0: no loop, the tone decays

  double riseSeconds = 0.03;  // onset time constant of the fundamental
  double riseTilt = 0.0;      // tau_k = rise * k^tilt
  double pluck = 0.0;         // extra level at the start that dies away to the sustain
  double pluckSeconds = 0.3;  // how fast that extra level dies (fundamental)
  double decaySeconds = 2.0;  // no loop: amplitude time constant of the fundamental
  double decayTilt = 0.05;    // higher partials decay faster: T_k = T / (1 + tilt (k - 1))

  double noiseLevel = 0.0;  // onset noise, relative to the fundamental
  double noiseHz = 2500.0;
  double noiseQ = 1.0;
  double noiseSeconds = 0.05;
  // Steady noise inside the loop (bow hiss). It repeats with the loop, so it
  // is a dense comb of lines: about 0.0015 keeps them 70 dB under the
  // fundamental.
  double hissLevel = 0.0;

  double shimmer = 0.0;        // depth of slow loop-periodic level changes per partial
  double beatCents = 0.0;      // no loop: second polarisation, detuned, for beating
  double sweepDepth = 0.0;     // a formant that moves once per loop (drones)
  double sweepHz = 2500.0;
  double sweepOctaves = 1.0;

  double peakDb = -1.0;
  std::uint64_t seed = 1;
};

struct RenderedWave {
  std::vector<float> samples;
  int loopStart = -1;  // first sample of the loop, -1 without
  int loopEnd = 0;     // last sample of the loop, 0 without
};

class StringModel {
 public:
  static constexpr double kSampleRate = 44100.0;
  // At `sampleRate`, which may be above the rate the player assumes: the wave
  // is then tagged with a lower root key and read faster.
  static RenderedWave render(const StringTone& tone, double sampleRate = kSampleRate);
  // The strongest image, in dB against the fundamental, that reading the
  // tone rendered at `sampleRate` between samples with the player's
  // four-point cubic leaves (largest near the sample rate minus each partial).
  static double interpolationImageDb(const StringTone& tone, double sampleRate);
  // Frequency of a MIDI note, A4 (69) = 440 Hz.
  static double noteHz(int note);
};
