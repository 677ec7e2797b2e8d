#include "host/HostTimeline.h"

#include <chrono>
#include <cmath>
#include <cstring>

using namespace vst;

namespace host {

namespace {
bool positiveFinite(double v) { return std::isfinite(v) && v > 0.0; }
}  // namespace

HostTimeline::HostTimeline(double sampleRate, double tempo)
    : sampleRate_(positiveFinite(sampleRate) ? sampleRate : 44100.0),
      tempo_(positiveFinite(tempo) ? tempo : 120.0) {}

bool HostTimeline::setSampleRate(double rate) {
  if (!positiveFinite(rate)) return false;
  std::lock_guard lock(mutex_);
  sampleRate_ = rate;
  return true;
}

bool HostTimeline::setTempo(double bpm) {
  if (!positiveFinite(bpm)) return false;
  std::lock_guard lock(mutex_);
  tempo_ = bpm;
  return true;
}

bool HostTimeline::setTimeSignature(int numerator, int denominator) {
  bool powerOfTwo = denominator > 0 && (denominator & (denominator - 1)) == 0;
  if (numerator < 1 || numerator > 64 || !powerOfTwo || denominator > 64) return false;
  std::lock_guard lock(mutex_);
  numerator_ = numerator;
  denominator_ = denominator;
  return true;
}

void HostTimeline::setPlaying(bool playing) {
  std::lock_guard lock(mutex_);
  if (playing_ != playing) changed_ = true;
  playing_ = playing;
}

bool HostTimeline::setPosition(double samplePos) {
  if (!std::isfinite(samplePos) || samplePos < 0.0) return false;
  std::lock_guard lock(mutex_);
  position_ = samplePos;
  changed_ = true;
  return true;
}

double HostTimeline::sampleRate() const {
  std::lock_guard lock(mutex_);
  return sampleRate_;
}

double HostTimeline::tempo() const {
  std::lock_guard lock(mutex_);
  return tempo_;
}

bool HostTimeline::playing() const {
  std::lock_guard lock(mutex_);
  return playing_;
}

double HostTimeline::position() const {
  std::lock_guard lock(mutex_);
  return position_;
}

void HostTimeline::advance(int frames) {
  std::lock_guard lock(mutex_);
  if (playing_ && frames > 0) position_ += frames;
  changed_ = false;
}

VstTimeInfo HostTimeline::snapshot() const {
  VstTimeInfo info;
  std::memset(&info, 0, sizeof(info));
  std::lock_guard lock(mutex_);
  info.samplePos = position_;
  info.sampleRate = sampleRate_;
  info.nanoSeconds = static_cast<double>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count());
  info.tempo = tempo_;
  info.ppqPos = position_ / sampleRate_ * tempo_ / 60.0;
  // A bar is numerator notes of 1/denominator; in quarter notes:
  double barLength = numerator_ * 4.0 / denominator_;
  info.barStartPos = std::floor(info.ppqPos / barLength + 1e-9) * barLength;
  info.timeSigNumerator = numerator_;
  info.timeSigDenominator = denominator_;
  info.flags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
               kVstTimeSigValid;
  if (playing_) info.flags |= kVstTransportPlaying;
  if (changed_) info.flags |= kVstTransportChanged;
  return info;
}

}  // namespace host
