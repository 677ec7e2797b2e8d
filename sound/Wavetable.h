// Sample oscillator: plays the waves of one VORNsnd at any pitch, picks the
// wave per note by key and velocity, loops inside sustain loops, cross-fades
// between waves and can glide between notes.
//
// Pitch = note frequency (or the gliding frequency) x four fine factors
//         + pitch-envelope, modulation, bend and deviation offsets (Hz).
//
// Hand-over with a sound load: the oscillator reads the sound only inside
// tick() and setNote(), each bracketed by an atomic "busy" mark. isLoading(true)
// raises the loading mark and then waits until a tick that had already begun
// has left, so once it returns the sound may be rewritten or freed.
// isLoading(false) only asks for a restart; the audio thread performs it at
// its next tick()/setNote(), so every other field is touched by the audio
// thread alone. A renderer can bracket a whole block with beginBlock() and
// endBlock(): the calls inside then share that one mark instead of paying
// for a full fence each, and a load waits at most for the block. A sound-set switch that loads into a fresh VORNsnd can
// instead hand the new object over with setSound() on the audio thread
// between blocks and retire the old one afterwards off the audio thread.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#include "sound/SoundStatus.h"
#include "sound/VORNsnd.h"
#include "support/VornMain.h"

class Wavetable : public VornMain {
 public:
  static constexpr double kSemitoneRatio = 1.059463094359;
  static constexpr float kFadeTime = 0.006f;
  static constexpr float kRateConstant = 4045.476f;

  // Not yet shared with the audio thread: any thread.
  explicit Wavetable(VORNsnd* sound, SoundStatus* status = nullptr);
  // Control thread; waits for a running tick to finish.
  ~Wavetable() override;
  Wavetable(const Wavetable&) = delete;
  Wavetable& operator=(const Wavetable&) = delete;

  // Audio thread (or before the oscillator is shared): every field back to
  // its initial value, frequency table rebuilt, sample rate read.
  void init();
  // Audio thread (or before sharing): restart on wave 0, fading in from silence.
  void setWave();
  // Control thread. true: silence the oscillator and wait until no tick is
  // reading the sound. false: restart on the (new) sound at the next tick.
  void isLoading(bool loading);
  // Audio thread between blocks (or a control thread while loading is
  // marked): play from another sound, restarting on its wave 0.
  void setSound(VORNsnd* sound);
  VORNsnd* sound() const { return sound_; }
  void setStatus(SoundStatus* status) { status_ = status; }

  // Audio thread. Every tick() and setNote() between the two shares one busy
  // mark; the block is silent if a load was under way at its start.
  void beginBlock();
  void endBlock();

  // Audio thread.
  void setNote(int note, int velocity, bool restart, bool force);
  // Inside a block, a wave that plays on at full level (no fade, no change
  // of wave pending) takes the short way; everything else goes through
  // tickFull(), with the same arithmetic.
  [[gnu::always_inline]] float tick() {
    if (!steady()) return tickFull();
    wrapLoop(position_);
    if (!looping_ && position_ >= static_cast<double>(end_)) return 0.0f;
    if (glideTime_ > 0.0f && !rateHolds()) setRate();
    output_ = interpolate(position_);
    position_ += increment_;
    return output_;
  }
  // Audio thread: n ticks into out, the same values tick() would give.
  void tickBlock(float* out, int n);
  void setRate();
  void setTuning(int transpose, float fine);
  void setFine1(float v);
  void setFine2(float v);
  void setFine3(float v);
  void setFine4(float v);
  void setPitchEnv(float e, int range);
  void setPitchLfo(float m, int range);
  void setPitchBend(float b, int range);
  void setGlider(float v);
  void resetGlider() { glideReset_ = true; }
  void setLegatoMode(bool on) { legato_ = on; }
  int getLastNote() const { return lastNote_; }
  int getNote() const { return tableNote_; }
  void reset();
  void setOneShoot() { looping_ = false; }

  // Read-outs for tests and displays (audio thread or while not running).
  float frequencyTable(int k) const { return freq_[k & 127]; }
  float increment() const { return increment_; }
  float frequency() const { return frequency_; }
  float glideCurrent() const { return glideCurrent_; }
  float fadeGain() const { return fadeGain_; }
  double position() const { return position_; }
  int64_t currentWave() const { return currentWave_; }
  int64_t pendingWave() const { return pendingWave_; }

 private:
  enum LoadState : int { kReady = 0, kLoading = 1, kRestart = 2 };

  // Enters the region in which the sound may be read; false when loading.
  bool enterAudio() { return inBlock_ ? blockReady_ : enterAlone(); }
  bool enterAlone();
  void leaveAudio() {
    if (!inBlock_) busy_.store(false, std::memory_order_release);
  }
  bool silenced() const { return silent_ || (status_ && status_->noWave()); }
  // Nothing setRate() reads has changed since it last ran, and a glide step
  // would leave the gliding frequency as it is (a glide that has arrived, or
  // one stepping up and back by the same amount): setRate() would give the
  // same rate again.
  bool rateHolds() const {
    if (!rateKnown_ || sampleRate() != scaledRate_) return false;
    float c = glideCurrent_;
    if (glideTarget_ != c) {
      if (glideTarget_ > c) c += glideStep_;
      if (c > glideTarget_) c -= glideStep_;
    }
    return std::bit_cast<std::uint32_t>(c) == std::bit_cast<std::uint32_t>(glideCurrent_);
  }
  // Nothing but the position moves: no fade, no wave change, no load.
  bool steady() const {
    return inBlock_ && blockReady_ && pendingWave_ == -2 && !(fadeGain_ < 1.0f) && !silent_ &&
           data_ && currentWave_ >= 0 && !(status_ && status_->noWave());
  }
  // Back by the loop's length once the position reaches the loop end.
  static void wrap(double& position, double loopEnd, double loopLength, double end) {
    if (position >= loopEnd) {
      position -= loopLength;
      if (position < 0.0) position = 0.0;
      if (position >= end) position = end;
    }
  }
  void wrapLoop(double& position) const {
    if (looping_)
      wrap(position, static_cast<double>(loopEnd_),
           static_cast<double>(loopEnd_ - loopStart_) + 1.0, static_cast<double>(end_));
  }
  // Four-point cubic through the samples at i - 1 .. i + 2 (i the whole
  // part of position, fraction x): it passes through every sample and leaves
  // images of a partial at u cycles per sample about u^4 below it, where a
  // straight line between two samples leaves u^2. Float is ample for float
  // samples; the block reader repeats these operations in this order, four
  // positions at a time, so both give the same bits.
  static float cubic(float a, float b, float c, float d, float x) {
    const float c2 = (a + c) * 0.5f - b;
    const float c3 = (d - a) * (1.0f / 6.0f) + (b - c) * 0.5f;
    const float c1 = (c - a) * 0.5f - c3;
    return ((c3 * x + c2) * x + c1) * x + b;
  }
  // The fraction is worked out in double, then rounded once.
  static float fraction(double position, int64_t i) {
    return static_cast<float>(position - static_cast<double>(i));
  }
  // The caller keeps 1 <= position and position + 2 inside the data.
  static float between(const float* data, double position) {
    const int64_t i = static_cast<int64_t>(position);
    return cubic(data[i - 1], data[i], data[i + 1], data[i + 2], fraction(position, i));
  }
  // Anywhere: samples outside the data count as silence.
  static float interpolate(const float* data, int64_t allocated, double position) {
    const int64_t i = static_cast<int64_t>(position);
    if (i < 0 || i + 1 >= allocated) return 0.0f;
    if (i >= 1 && i + 2 < allocated) return between(data, position);
    const float a = i >= 1 ? data[i - 1] : 0.0f;
    const float d = i + 2 < allocated ? data[i + 2] : 0.0f;
    return cubic(a, data[i], data[i + 1], d, fraction(position, i));
  }
  // n values of between() from position on, four at a time; every position
  // of the run lies where between() may read (see tickBlock).
  static void betweenRun(const float* data, double position, double increment, float* out, int n);
  float interpolate(double position) const { return interpolate(data_, allocated_, position); }
  float tickFull();
  void setNextWaveform();
  float Glider(float f);
  void glideStep();
  float offset(float x, int range) const;
  float at(int64_t k) const { return freq_[k < 0 ? 0 : (k > 127 ? 127 : k)]; }
  // k modulo 128 into 0..127, negative k included.
  float atWrapped(int64_t k) const { return freq_[k & 127]; }

  double semitoneRatio_ = kSemitoneRatio;
  VORNsnd* sound_ = nullptr;
  SoundStatus* status_ = nullptr;
  std::atomic<int> loadState_{kReady};
  std::atomic<bool> busy_{false};
  bool silent_ = true;  // set while no playable wave is in place
  bool inBlock_ = false;     // audio thread: between beginBlock and endBlock
  bool blockReady_ = false;  // the block's mark was taken without a load
  const float* data_ = nullptr;  // samples of the current wave
  int64_t allocated_ = 0;

  float output_ = 0.0f;
  int64_t end_ = 0;
  float rateScale_ = 0.0f;
  double position_ = 0.0;
  float increment_ = 0.0f;
  int tableNote_ = 0;
  int lastNote_ = 0;
  int transpose_ = 0;
  float fine_ = 1.0f;
  float fine1_ = 1.0f, fine2_ = 1.0f, fine3_ = 1.0f;
  float deviation_ = 0.0f;
  float pitchEnvOffset_ = 0.0f;
  float bend_ = 0.0f;
  float bendOffset_ = 0.0f;
  int bendRange_ = 2;
  float modOffset_ = 0.0f;
  float freq_[128] = {};
  float glideCurrent_ = 0.0f;
  float glideStep_ = 0.0f;
  float frequency_ = 0.0f;
  bool looping_ = false;
  int64_t loopStart_ = -1, loopEnd_ = 0;
  float glideTarget_ = 0.0f;
  float glideTime_ = 0.0f;
  float deviationOffset_ = 0.0f;
  int64_t currentWave_ = 0;
  int64_t lastRootKey_ = -1;
  bool restart_ = false;
  int64_t pendingWave_ = -2;
  int64_t pendingNote_ = -1;
  bool glideReset_ = true;
  float fadeGain_ = 1.0f;
  float fadeStep_ = 0.0f;
  float fadeTime_ = kFadeTime;
  float scaledRate_ = 0.0f;  // the rate rateScale_ and fadeStep_ were worked out for
  bool rateKnown_ = false;   // setRate() has run since its inputs last changed
  int64_t previousNote_ = 0;
  bool legato_ = false;
  bool firstNote_ = true;
};
