// Circular delay line with a fractional delay, resolved by linear
// interpolation (tickmod, tick), cubic interpolation (tickcubicidle) or
// first-order allpass interpolation (tickmodidleA/nextOutA). The buffer is
// filled with 0.001, not 0, so a fresh line reads the silence level.
//
// Threads: every tick, setDelay, setModulated, clear, nextOut/nextOutA, Idle,
// notIdle and setNotIdle run on the audio thread (or on any one thread while
// nobody ticks). newDelay may run on a control thread while the audio thread
// ticks; the contract is:
//   - newDelay builds and fills the new buffer completely, then publishes it
//     with one atomic pointer exchange (release). Until the audio thread picks
//     it up, ticks keep using the old buffer.
//   - The audio thread picks it up at the start of its next tick (acquire),
//     brings the positions inside the new length, re-applies the last
//     requested delay, and pushes the old buffer onto a lock-free retire list.
//   - The control thread frees retired buffers on its next newDelay call and
//     in the destructor, never a buffer the audio thread can still read.
//     A buffer published but superseded before pickup is freed by newDelay.
//   - newDelay itself must not be called from two threads at once, and the
//     destructor only once no thread ticks.
#pragma once

#include <atomic>
#include <cstdint>

#include "support/VornMain.h"

class DelayL : public VornMain {
 public:
  DelayL(float delay, long maximum);
  ~DelayL() override;
  DelayL(const DelayL&) = delete;
  DelayL& operator=(const DelayL&) = delete;

  // Delays beyond length - 1 clamp to it, negative delays become 0.5.
  void setDelay(float d);
  void setModulated(bool on) { modulated_ = on; }
  // Control thread: replaces the buffer by one of maximum + 1 samples.
  void newDelay(long maximum);
  float getDelay() const { return delay_; }
  // Fills the buffer with the silence level and clears the last output.
  void clear();

  bool Idle() const { return static_cast<float>(silentCount_) > delay_; }
  bool notIdle() const { return !Idle(); }
  void setNotIdle() { silentCount_ = 0; }

  float tickmod(float x) {
    pickUp();
    write(x);
    lastOutput_ = interpolated();
    advanceRead();
    return lastOutput_;
  }

  float tick(float x) {
    pickUp();
    write(x);
    float out;
    if (modulated_) {
      out = nextOut();
      computeNext_ = true;
    } else {
      out = buf_->data[read_];
    }
    lastOutput_ = out;
    advanceRead();
    return out;
  }

  float tickraw(float x) {
    pickUp();
    write(x);
    lastOutput_ = buf_->data[read_];
    advanceRead();
    return lastOutput_;
  }

  // The read position moves first; the tap is taken circularly.
  float ticktap(float x, long tap);
  float tickmodidle(float x);
  float tickrawidle(float x);
  float tickcubicidle(float x);
  float tickmodidleA(float x);

  float nextOut() {
    if (computeNext_) {
      nextOutput_ = interpolated();
      computeNext_ = false;
    }
    return nextOutput_;
  }
  float nextOutA();

  long getLength() const { return static_cast<long>(buf_->length); }
  float getLastOutput() const { return lastOutput_; }

 private:
  struct Buffer {
    float* data;
    std::int64_t length;
    Buffer* next;  // link in the retire list
  };
  static Buffer* makeBuffer(long maximum);
  static void freeBuffers(Buffer* list);

  void pickUp() {
    if (pending_.load(std::memory_order_relaxed) != nullptr) adopt();
  }
  void adopt();
  void write(float x) {
    buf_->data[write_] = x;
    if (++write_ >= buf_->length) write_ = 0;
  }
  std::int64_t wrap(std::int64_t i) const {
    const std::int64_t n = buf_->length;
    i %= n;
    return i < 0 ? i + n : i;
  }
  float interpolated() const {
    std::int64_t next = read_ + 1;
    if (next >= buf_->length) next = 0;
    return buf_->data[read_] * oneMinusFraction_ + buf_->data[next] * fraction_;
  }
  void advanceRead() {
    if (++read_ >= buf_->length) read_ -= buf_->length;
  }
  // Idle rule shared by the *idle variants; true when the tick may run.
  bool idleGate(float x) {
    if (x > 0.001f) silentCount_ = 0;
    return !(static_cast<float>(silentCount_) > delay_);
  }
  void countSilence(float out) {
    if (out > 0.001f) silentCount_ = 0;
    else ++silentCount_;
  }

  float fraction_ = 0.0f;
  float oneMinusFraction_ = 1.0f;
  float nextOutput_ = 0.0f;
  bool computeNext_ = true;
  std::int64_t write_ = 0;
  std::int64_t read_ = 0;
  float delay_ = 0.0f;
  float requested_ = 0.0f;  // last delay asked for, re-applied after a resize
  float lastOutput_ = 0.0f;
  Buffer* buf_ = nullptr;  // owned by the audio side
  bool modulated_ = false;
  std::int32_t silentCount_ = 10000;
  float allpassCoef_ = 0.0f;
  float previousRaw_ = 0.0f;
  std::atomic<Buffer*> pending_{nullptr};  // control -> audio
  std::atomic<Buffer*> retired_{nullptr};  // audio -> control
};
