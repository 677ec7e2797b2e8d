// The host's transport as a plug-in sees it through audioMasterGetTime:
// play/stop, sample position, tempo and time signature. The position moves
// only while the transport plays, as in a DAW.
// Threads: any; every member takes the timeline's own lock.
#pragma once

#include <mutex>

#include "vst/AEffect.h"

namespace host {

class HostTimeline {
 public:
  explicit HostTimeline(double sampleRate = 44100.0, double tempo = 120.0);

  // Non-finite or non-positive values are refused (returns false).
  bool setSampleRate(double rate);
  bool setTempo(double bpm);
  // Denominator must be a power of two up to 64, numerator 1..64.
  bool setTimeSignature(int numerator, int denominator);
  // Starting or stopping flags the next reported time info as changed.
  void setPlaying(bool playing);
  // Locates the transport (samples from the song start); negative is refused.
  bool setPosition(double samplePos);

  double sampleRate() const;
  double tempo() const;
  bool playing() const;
  double position() const;

  // Called after every rendered block: moves the position when playing and
  // ends the "transport changed" report.
  void advance(int frames);

  // Everything the host knows, with its validity flags.
  vst::VstTimeInfo snapshot() const;

 private:
  mutable std::mutex mutex_;
  double sampleRate_;
  double tempo_;
  int numerator_ = 4;
  int denominator_ = 4;
  bool playing_ = false;
  bool changed_ = false;
  double position_ = 0.0;
};

}  // namespace host
