#include "fx/DelayL.h"

#include <cmath>

namespace {
constexpr float kFill = 0.001f;
}

DelayL::Buffer* DelayL::makeBuffer(long maximum) {
  if (maximum < 0) maximum = 0;
  auto* b = new Buffer;
  b->length = static_cast<std::int64_t>(maximum) + 1;
  b->data = new float[static_cast<std::size_t>(b->length)];
  for (std::int64_t i = 0; i < b->length; ++i) b->data[i] = kFill;
  b->next = nullptr;
  return b;
}

void DelayL::freeBuffers(Buffer* list) {
  while (list != nullptr) {
    Buffer* next = list->next;
    delete[] list->data;
    delete list;
    list = next;
  }
}

DelayL::DelayL(float delay, long maximum) : buf_(makeBuffer(maximum)) {
  setDelay(delay);
  computeNext_ = true;
}

DelayL::~DelayL() {
  freeBuffers(buf_);
  freeBuffers(pending_.exchange(nullptr, std::memory_order_acquire));
  freeBuffers(retired_.exchange(nullptr, std::memory_order_acquire));
}

void DelayL::setDelay(float d) {
  requested_ = d;
  const float m = static_cast<float>(buf_->length - 1);
  float point;
  if (d > m) {
    point = static_cast<float>(write_ + 1);
    delay_ = m;
  } else if (d < 0.0f || !(d == d)) {  // NaN is treated like a negative delay
    point = static_cast<float>(write_);
    delay_ = 0.5f;
  } else {
    point = static_cast<float>(write_) - d;
    delay_ = d;
  }
  const float len = static_cast<float>(buf_->length);
  while (point < 0.0f) point += len;
  read_ = static_cast<std::int64_t>(point);
  if (read_ >= buf_->length) read_ -= buf_->length;  // write + 1 at the end
  fraction_ = point - static_cast<float>(read_);
  if (fraction_ < 0.0f || fraction_ >= 1.0f) fraction_ = 0.0f;
  oneMinusFraction_ = 1.0f - fraction_;
  allpassCoef_ = (1.0f - (fraction_ + 1.0f)) / ((fraction_ + 1.0f) + 1.0f);
}

void DelayL::newDelay(long maximum) {
  freeBuffers(retired_.exchange(nullptr, std::memory_order_acquire));
  Buffer* fresh = makeBuffer(maximum);
  // A buffer still waiting from an earlier call was never seen by the audio
  // thread (it takes buffers with an exchange), so it can go at once.
  freeBuffers(pending_.exchange(fresh, std::memory_order_acq_rel));
}

void DelayL::adopt() {
  Buffer* fresh = pending_.exchange(nullptr, std::memory_order_acquire);
  if (fresh == nullptr) return;
  Buffer* old = buf_;
  buf_ = fresh;
  if (write_ >= buf_->length) write_ = 0;
  lastOutput_ = 0.0f;
  computeNext_ = true;
  setDelay(requested_);
  // Hand the old buffer back; the control thread frees it.
  old->next = retired_.load(std::memory_order_relaxed);
  while (!retired_.compare_exchange_weak(old->next, old, std::memory_order_release, std::memory_order_relaxed)) {
  }
}

void DelayL::clear() {
  for (std::int64_t i = 0; i < buf_->length; ++i) buf_->data[i] = kFill;
  lastOutput_ = 0.0f;
}

float DelayL::ticktap(float x, long tap) {
  pickUp();
  write(x);
  advanceRead();
  lastOutput_ = buf_->data[wrap(read_ + tap)];
  return lastOutput_;
}

float DelayL::tickmodidle(float x) {
  pickUp();
  if (!idleGate(x)) return 0.0f;
  const float out = tickmod(x);
  countSilence(out);
  return out;
}

float DelayL::tickrawidle(float x) {
  pickUp();
  if (!idleGate(x)) return 0.0f;
  const float out = tickraw(x);
  countSilence(out);
  return out;
}

float DelayL::tickcubicidle(float x) {
  pickUp();
  if (!idleGate(x)) return 0.0f;
  write(x);
  const float* d = buf_->data;
  const float xm1 = d[wrap(read_ - 1)];
  const float x0 = d[read_];
  const float x1 = d[wrap(read_ + 1)];
  const float x2 = d[wrap(read_ + 2)];
  const float t = fraction_;
  const float c1 = (x1 - xm1) * 0.5f;
  const float c2 = xm1 + 2.0f * x1 - (5.0f * x0 + x2) * 0.5f;
  const float c3 = (3.0f * (x0 - x1) - xm1 + x2) * 0.5f;
  lastOutput_ = x0 + ((c3 * t + c2) * t + c1) * t;
  advanceRead();
  countSilence(lastOutput_);
  return lastOutput_;
}

float DelayL::tickmodidleA(float x) {
  pickUp();
  if (!idleGate(x)) return 0.0f;
  write(x);
  float out;
  if (modulated_) {
    out = nextOut();
    computeNext_ = true;
  } else {
    out = buf_->data[read_];
  }
  previousRaw_ = buf_->data[read_];
  lastOutput_ = out;
  if (++read_ >= buf_->length) read_ = 0;
  countSilence(out);
  return out;
}

float DelayL::nextOutA() {
  if (computeNext_) {
    nextOutput_ = allpassCoef_ * buf_->data[read_] + previousRaw_ - allpassCoef_ * lastOutput_;
    computeNext_ = false;
  }
  return nextOutput_;
}
