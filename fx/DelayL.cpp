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

DelayL::DelayL(float delay, long maximum) : buf_(makeBuffer(maximum)), data_(buf_->data), length_(buf_->length) {
  setDelay(delay);
  computeNext_ = true;
}

DelayL::~DelayL() {
  freeBuffers(buf_);
  freeBuffers(pending_.exchange(nullptr, std::memory_order_acquire));
  freeBuffers(retired_.exchange(nullptr, std::memory_order_acquire));
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
  data_ = fresh->data;
  length_ = fresh->length;
  if (write_ >= length_) write_ = 0;
  lastOutput_ = 0.0f;
  computeNext_ = true;
  setDelay(requested_);
  // Hand the old buffer back; the control thread frees it.
  old->next = retired_.load(std::memory_order_relaxed);
  while (!retired_.compare_exchange_weak(old->next, old, std::memory_order_release, std::memory_order_relaxed)) {
  }
}

void DelayL::setLength(long maximum) {
  pickUp();
  std::int64_t n = static_cast<std::int64_t>(maximum < 0 ? 0 : maximum) + 1;
  if (n > buf_->length) n = buf_->length;
  length_ = n;
  if (write_ >= length_) write_ = 0;
  clear();
  computeNext_ = true;
  setDelay(requested_);
}

void DelayL::clear() {
  for (std::int64_t i = 0; i < length_; ++i) data_[i] = kFill;
  lastOutput_ = 0.0f;
}

float DelayL::ticktap(float x, long tap) {
  pickUp();
  write(x);
  advanceRead();
  lastOutput_ = data_[wrap(read_ + tap)];
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
  const float* d = data_;
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
    out = data_[read_];
  }
  previousRaw_ = data_[read_];
  lastOutput_ = out;
  if (++read_ >= length_) read_ = 0;
  countSilence(out);
  return out;
}

float DelayL::nextOutA() {
  if (computeNext_) {
    const float c = allpassCoefficient();
    nextOutput_ = c * data_[read_] + previousRaw_ - c * lastOutput_;
    computeNext_ = false;
  }
  return nextOutput_;
}
