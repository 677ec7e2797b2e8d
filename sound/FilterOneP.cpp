#include "sound/FilterOneP.h"

#include <cmath>

namespace {
// Coefficient per hertz, divided in double and rounded once to float.
float coefficientPerHz(float rate) { return static_cast<float>(6.28319 / static_cast<double>(rate)); }
}  // namespace

FilterOneP::FilterOneP() { init(); }

FilterOneP::~FilterOneP() = default;

void FilterOneP::init() {
  state_ = 0.0f;
  ceiling_ = coefficientPerHz(sampleRate()) * 6500.0f;
  coef_.store(1.0f, std::memory_order_relaxed);
  type_ = 0;
}

void FilterOneP::setPureFreq(float hz) {
  if (!std::isfinite(hz)) return;
  float a = static_cast<float>(static_cast<double>(hz) * (6.28319 / static_cast<double>(sampleRate())));
  // Between 1 and 2 the state overshoots but settles; from 2 on it would grow
  // without bound, so such a cut-off (beyond what the rate can carry) passes
  // the input through unfiltered. A negative cut-off would diverge as well.
  if (a < 0.0f) a = 0.0f;
  if (!(a < 2.0f)) a = 1.0f;
  coef_.store(a, std::memory_order_relaxed);
}

void FilterOneP::setFreq(float x) {
  if (!std::isfinite(x)) return;
  ceiling_ = coefficientPerHz(sampleRate()) * 6500.0f;
  const double xd = x;
  float a = static_cast<float>(static_cast<double>(ceiling_) * (xd * xd * xd + 0.03));
  if (a > 1.0f) a = 1.0f;
  if (a < 0.02f) a = 0.02f;
  coef_.store(a, std::memory_order_relaxed);
}
