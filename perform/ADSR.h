// Per-voice envelope: attack, decay, sustain, release, plus a damp stage that
// fades a sounding voice before it is struck again, an optional one-pole
// output smoother, key tracking, a looped and a percussion mode.
//
// States (other classes compare getState() with kIdle):
//   0 attack, 1 decay, 2 sustain, 3 release, 4 idle, 5 damp, 6 fade (a
//   short linear fade to silence, see fadeOut()).
//
// Threads: keyOn, keyOff, tick, Reset and getState run on the audio thread.
// The setters (times, levels, velocity, tracking, modes, smoothing) may run on
// any thread: every value the audio thread reads from them is a relaxed atomic
// written in one store, so a concurrent change lands whole, possibly one
// sample late. updateValues() does the only transcendental maths; tick() has
// none.
#pragma once

#include <atomic>

#include "sound/FilterOneP.h"
#include "support/VornMain.h"

class ADSR : public VornMain {
 public:
  enum State { kAttack = 0, kDecay = 1, kSustain = 2, kRelease = 3, kIdle = 4, kDamp = 5, kFade = 6 };

  ADSR();
  ~ADSR() override;

  void keyOn(int velocity, int note);
  void keyOff();
  // Audio thread (or before audio runs): stage times and the smoother's
  // cut-off keep their length in seconds at the new rate.
  void setSampleRate(float rate) override;

  // The sustain stage, where a voice spends most of its time, is inline.
  float tick() {
    if (state_ == kSustain) return smoothing_.load(rlx) ? smoother_.ticklow(value_) : value_;
    return tickStage();
  }

  // Audio thread: count envelopes, all held in sustain (holds()), ticked n
  // times side by side; out[k][j] is what tick() would give.
  static void tickHeld(ADSR* const* envelopes, int count, float* const* out, int n);
  bool holds() const { return state_ == kSustain; }

  int getState() const { return state_; }
  // Silences at once; the smoother keeps its memory.
  void Reset() {
    value_ = 0.0f;
    state_ = kIdle;
  }

  // Audio thread: falls from the level it gives now to silence in a straight
  // line over kFadeSeconds, bypassing the smoother, then idle. Where a cut
  // would click. A fade under way runs on; a key-off does not stop it, a
  // key-on does (from the level reached).
  static constexpr double kFadeSeconds = 0.005;
  void fadeOut();

  // Times in seconds: attack and decay 10 x^2, release 14 x^2.
  void setAttackTime(float x);
  void setDecayTime(float x);
  void setReleaseTime(float x);
  // Below 0.001 counts as 0 unless looped; takes effect at the next update.
  void setSustainLevel(float x);
  // 0..1, applied at the next key-on.
  void setVelocity(float x);
  void setVelocitySmoth(bool on, long hz);
  void setMonoMode(bool on) { monoMode_.store(on, rlx); }
  // Audio thread: the smoother runs at hz until the first decay tick.
  void setFirstAttack(long hz);
  void updateValues();
  void setLoopedEnv(bool on) { looped_.store(on, rlx); }
  void setPercussionMode() { percussion_.store(true, rlx); }
  void setDecayLevel(float level);
  void setLowTrack(int n);
  void setHighTrack(int n);
  void setVolumeKeyTracking(float k);
  void setSpeedKeyTracking(float k);

  float getValue() const { return value_; }
  float getPeak() const { return peak_.load(rlx); }
  float getVelocityGain() const { return velocityGain_.load(rlx); }
  float getAttackIncrement() const { return attackInc_.load(rlx); }
  float getDecayDecrement() const { return decayDec_.load(rlx); }
  float getSustainTarget() const { return sustainTarget_.load(rlx); }
  float getReleaseTime() const { return releaseTime_.load(rlx); }
  float getEffectiveAttackTime() const { return effAttack_.load(rlx); }
  float getReleaseCoefficient() const { return releaseCoef_.load(rlx); }
  float getSmootherCoefficient() const { return smoother_.getCoefficient(); }

 private:
  static constexpr std::memory_order rlx = std::memory_order_relaxed;

  // tick() in the stages other than sustain.
  float tickStage();
  // (1 - x)^2 of the key tracking with amount k; 1 when there is none.
  float trackingFactor(float k) const;

  std::atomic<float> attackTime_{0.001f};
  std::atomic<float> decayTime_{0.0f};
  std::atomic<float> sustainLevel_{1.0f};
  std::atomic<float> releaseTime_{0.001f};
  std::atomic<float> attackInc_{0.01f};
  std::atomic<float> decayDec_{0.01f};
  std::atomic<float> effAttack_{0.01f};
  std::atomic<float> effDecay_{0.01f};
  std::atomic<float> effRelease_{0.01f};
  std::atomic<float> velocityGain_{1.27f};
  float value_ = 0.0f;
  std::atomic<bool> percussion_{false};
  bool keyOffPending_ = false;
  std::atomic<bool> looped_{false};
  int state_ = kIdle;
  std::atomic<float> velocitySens_{1.0f};
  std::atomic<double> sampleRate_;
  std::atomic<float> volumeTracking_{0.0f};
  std::atomic<float> speedTracking_{0.0f};
  std::atomic<int> lowTrack_{0};
  std::atomic<int> highTrack_{127};
  std::atomic<float> sustainTarget_{1.0f};
  std::atomic<float> peak_{1.0f};
  std::atomic<int> note_{60};
  std::atomic<bool> monoMode_{false};
  std::atomic<float> decayLevel_{1.0f};
  FilterOneP smoother_;
  std::atomic<bool> smoothing_{false};
  std::atomic<long> smoothFreq_{20};
  bool firstAttackPending_ = true;
  std::atomic<float> releaseCoef_{1.0f};
  std::atomic<float> releaseOffset_{0.0f};
  float fadeStep_ = 0.0f;  // per sample in the fade stage
};
