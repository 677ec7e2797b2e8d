// Stereo reverb: per channel eight lowpass-feedback combs in parallel, then
// four allpasses in series; the right channel's lines are 23 samples longer.
// All delay lines live inside the object (about 680 kB), so processing never
// allocates. After one second of near-silent output the reverb reports idle.
//
// Threads: processmix, processreplace, Idle and setNotIdle on the audio
// thread, and updateSamplerate where audio runs or before. The setters,
// update and mute may run on any thread: values are relaxed atomic stores, and mute() only posts a request
// that the audio thread carries out at the start of its next frame, so the
// lines are never cleared under a running frame.
#pragma once

#include <atomic>
#include <cstdint>

#include "fx/ReverbTuning.h"
#include "fx/allpass.h"
#include "fx/comb.h"

class revmodel {
 public:
  revmodel();
  revmodel(const revmodel&) = delete;
  revmodel& operator=(const revmodel&) = delete;

  // One frame: in[0] left, in[1] right. count and skip are ignored. Returns
  // the output frame (left, right).
  float* processmix(float* in, long count, int skip) {
    (void)count;
    (void)skip;
    if (muteRequested_.load(std::memory_order_acquire)) muteLines();
    float outL = 0.0f;
    float outR = 0.0f;
    const float x = (in[0] + in[1]) * gain_.load(rlx);
    if (x > 0.1f || x < -0.1f) idleCount_ = 0;
    for (int i = 0; i < reverbtuning::kCombs; ++i) {
      outL += combL_[i].process(x);
      outR += combR_[i].process(x);
    }
    for (int i = 0; i < reverbtuning::kAllpasses; ++i) {
      outL = allpassL_[i].process(outL);
      outR = allpassR_[i].process(outR);
    }
    const float wet1 = wet1_.load(rlx);
    const float wet2 = wet2_.load(rlx);
    const float dry = dry_.load(rlx);
    frame_[0] = outL * wet1 + outR * wet2 + in[0] * dry;
    frame_[1] = outR * wet1 + outL * wet2 + in[1] * dry;
    if (frame_[0] > 0.0001f || frame_[0] < -0.0001f) idleCount_ = 0;
    else ++idleCount_;
    return frame_;
  }

  // Audio thread: n frames, the same output and idle tracking as n calls of
  // processmix, worked line by line over stretches instead of frame by frame.
  void processBlock(const float* inL, const float* inR, float* outL, float* outR, int n);

  // count frames, every skip-th float of each array; no idle tracking.
  void processreplace(float* inputL, float* inputR, float* outputL, float* outputR, long count, int skip);

  // Clears every line unless frozen (carried out by the audio thread).
  void mute();
  // Line lengths, idle time and damping follow the rate. Audio thread (or
  // before audio runs): the lines change length.
  void updateSamplerate(bool mute, float rate);
  void update();
  void setroomsize(float v);
  float getroomsize() const;
  void setdamp(float v);
  float getdamp() const;
  void setwet(float v);
  float getwet() const;
  void setdry(float v);
  float getdry() const;
  void setwidth(float v);
  float getwidth() const;
  void setmode(float v);
  float getmode() const;

  bool Idle() const { return idleCount_ > idleLimit_.load(rlx); }
  // Frames that can pass with Idle() still false afterwards.
  std::int64_t framesBeforeIdle() const {
    const std::int64_t left = idleLimit_.load(rlx) - idleCount_;
    return left < 0 ? 0 : left;
  }
  void setNotIdle() { idleCount_ = 0; }

  int getLength(int line) const { return lengths_[line]; }
  int combLength(int channel, int i) const { return (channel == 0 ? combL_[i] : combR_[i]).getlength(); }
  int allpassLength(int channel, int i) const { return (channel == 0 ? allpassL_[i] : allpassR_[i]).getlength(); }
  float getCombFeedback() const { return combL_[0].getfeedback(); }
  float getCombDamp() const { return combL_[0].getdamp(); }
  float getInputGain() const { return gain_.load(rlx); }

 private:
  static constexpr std::memory_order rlx = std::memory_order_relaxed;
  static bool finite(float v);
  void muteLines();

  std::atomic<float> gain_{0.0f};
  std::atomic<float> roomsize_{0.0f};
  std::atomic<float> roomsize1_{0.0f};
  std::atomic<float> damp_{0.0f};
  std::atomic<float> damp1_{0.0f};
  std::atomic<float> wet_{0.0f};
  std::atomic<float> wet1_{0.0f};
  std::atomic<float> wet2_{0.0f};
  std::atomic<float> dry_{0.0f};
  std::atomic<float> width_{0.0f};
  std::atomic<float> mode_{0.0f};
  std::atomic<float> rate_{44100.0f};
  float frame_[2] = {0.0f, 0.0f};
  void recurCombs(int n);
  comb* combs_[2 * reverbtuning::kCombs] = {};  // left, then right
  int stretchLimit_ = 1;
  static constexpr int kStretch = 128;
  struct Stretch {
    float input[kStretch];
    float delayed[2 * reverbtuning::kCombs][kStretch];  // left combs, then right
    float filtered[2 * reverbtuning::kCombs][kStretch];
    float left[kStretch];
    float right[kStretch];
  } stretch_;
  comb combL_[reverbtuning::kCombs];
  comb combR_[reverbtuning::kCombs];
  allpass allpassL_[reverbtuning::kAllpasses];
  allpass allpassR_[reverbtuning::kAllpasses];
  float buffers_[reverbtuning::kLines][reverbtuning::kLineSize];
  int lengths_[reverbtuning::kLines] = {};
  std::int64_t idleCount_ = 0;
  std::atomic<std::int64_t> idleLimit_{44100};
  std::atomic<bool> muteRequested_{false};
};
