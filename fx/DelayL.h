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

  // The part of the line a modulated tick moves, held by a caller that
  // ticks many times in a row (see cursor() and keep()): in locals, the
  // compiler need not reload it after every sample written.
  struct Cursor {
    float* data;
    std::int64_t length, write, read;
    float fraction, oneMinusFraction, delay, requested, lastOutput;

    // Delays beyond length - 1 clamp to it, negative delays become 0.5.
    void setDelay(float d) {
      requested = d;
      const float m = static_cast<float>(length - 1);
      float point;
      if (d > m) {
        point = static_cast<float>(write + 1);
        delay = m;
      } else if (d < 0.0f || !(d == d)) {  // NaN is treated like a negative delay
        point = static_cast<float>(write);
        delay = 0.5f;
      } else {
        point = static_cast<float>(write) - d;
        delay = d;
      }
      const float len = static_cast<float>(length);
      while (point < 0.0f) point += len;
      read = static_cast<std::int64_t>(point);
      if (read >= length) read -= length;  // write + 1 at the end
      fraction = point - static_cast<float>(read);
      if (fraction < 0.0f || fraction >= 1.0f) fraction = 0.0f;
      oneMinusFraction = 1.0f - fraction;
    }
    // tickmod().
    float tick(float x) {
      data[write] = x;
      if (++write >= length) write = 0;
      std::int64_t next = read + 1;
      if (next >= length) next = 0;
      lastOutput = data[read] * oneMinusFraction + data[next] * fraction;
      if (++read >= length) read -= length;
      return lastOutput;
    }
  };
  // Audio thread: the line's state after taking up a new buffer, and back.
  Cursor cursor() {
    pickUp();
    return {data_, length_, write_, read_, fraction_, oneMinusFraction_, delay_, requested_, lastOutput_};
  }
  void keep(const Cursor& c) {
    write_ = c.write;
    read_ = c.read;
    fraction_ = c.fraction;
    oneMinusFraction_ = c.oneMinusFraction;
    delay_ = c.delay;
    requested_ = c.requested;
    lastOutput_ = c.lastOutput;
  }

  void setDelay(float d) {
    Cursor c{data_, length_, write_, read_, fraction_, oneMinusFraction_, delay_, requested_, lastOutput_};
    c.setDelay(d);
    keep(c);
    // The allpass coefficient follows from the fraction; it is worked out where
    // the allpass variant needs it, keeping the division off the common path.
  }
  void setModulated(bool on) { modulated_ = on; }
  // Control thread: replaces the buffer by one of maximum + 1 samples.
  void newDelay(long maximum);
  // Audio thread: the line uses maximum + 1 samples of its buffer (at most
  // all of it) and starts again from the silence level. Allocates nothing.
  void setLength(long maximum);
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
      out = data_[read_];
    }
    lastOutput_ = out;
    advanceRead();
    return out;
  }

  float tickraw(float x) {
    pickUp();
    write(x);
    lastOutput_ = data_[read_];
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

  long getLength() const { return static_cast<long>(length_); }
  // (1 - D) / (1 + D) with D = fraction + 1, used by the allpass variant.
  float getAllpassCoefficient() const { return allpassCoefficient(); }
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
    data_[write_] = x;
    if (++write_ >= length_) write_ = 0;
  }
  std::int64_t wrap(std::int64_t i) const {
    const std::int64_t n = length_;
    i %= n;
    return i < 0 ? i + n : i;
  }
  float interpolated() const {
    std::int64_t next = read_ + 1;
    if (next >= length_) next = 0;
    return data_[read_] * oneMinusFraction_ + data_[next] * fraction_;
  }
  void advanceRead() {
    if (++read_ >= length_) read_ -= length_;
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

  float allpassCoefficient() const { return (1.0f - (fraction_ + 1.0f)) / ((fraction_ + 1.0f) + 1.0f); }

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
  float* data_ = nullptr;  // buf_->data and buf_->length, read every tick
  std::int64_t length_ = 0;
  bool modulated_ = false;
  std::int32_t silentCount_ = 10000;
  float previousRaw_ = 0.0f;
  std::atomic<Buffer*> pending_{nullptr};  // control -> audio
  std::atomic<Buffer*> retired_{nullptr};  // audio -> control
};
