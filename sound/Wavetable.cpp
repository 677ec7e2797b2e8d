#include "sound/Wavetable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

constexpr float kNegativeFrequency = 1e-12f;
constexpr float kNegativeIncrement = 1e-8f;

int clampRange(int range) { return range < 0 ? 0 : (range > 127 ? 127 : range); }

// Exponent of the lowest set bit of a positive finite double.
int lowestBit(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int exponent = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (exponent != 0) mantissa |= std::uint64_t{1} << 52;
  return (exponent == 0 ? 1 : exponent) - 1075 + std::countr_zero(mantissa);
}

// True when position + k * increment is a double exactly for every value
// below limit: both lie on a grid of one power of two, fine enough, and
// limit spans no more of its steps than a double's mantissa holds. The
// running sum of the increments then never rounds, so the positions may be
// worked out in any order and still be the running sum's, bit for bit.
bool exactSums(double position, double increment, double limit) {
  int grid = lowestBit(increment);
  if (position != 0.0) grid = std::min(grid, lowestBit(position));
  int span = 0;
  std::frexp(limit, &span);  // limit < 2^span
  return span - grid <= 53 && limit < 2147483647.0;
}

}  // namespace

// n samples of Wavetable::between from position on, four at a time.
// Requires exactSums(position, increment, limit) with every position of
// the run below limit, and 1 <= position.
void Wavetable::betweenRun(const float* data, double position, double increment, float* out, int n) {
  int j = 0;
#if defined(__SSE2__) && defined(__x86_64__)
  const __m128d twoSteps = _mm_set1_pd(2.0 * increment);
  __m128d pos = _mm_set_pd(position + increment, position);
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 sixth = _mm_set1_ps(1.0f / 6.0f);
  const auto window = [data](std::int64_t packed, int shift) {
    return _mm_loadu_ps(data + static_cast<std::int32_t>(packed >> shift) - 1);
  };
  // Wavetable::cubic for four positions, operation for operation.
  for (; j + 4 <= n; j += 4) {
    const __m128d next = _mm_add_pd(pos, twoSteps);
    const __m128i low = _mm_cvttpd_epi32(pos);
    const __m128i high = _mm_cvttpd_epi32(next);
    const __m128 x = _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(pos, _mm_cvtepi32_pd(low))),
                                   _mm_cvtpd_ps(_mm_sub_pd(next, _mm_cvtepi32_pd(high))));
    const std::int64_t first = _mm_cvtsi128_si64(low);
    const std::int64_t second = _mm_cvtsi128_si64(high);
    // Rows of four samples around each position, turned into columns.
    __m128 a = window(first, 0);
    __m128 b = window(first, 32);
    __m128 c = window(second, 0);
    __m128 d = window(second, 32);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    const __m128 c2 = _mm_sub_ps(_mm_mul_ps(_mm_add_ps(a, c), half), b);
    const __m128 c3 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(d, a), sixth), _mm_mul_ps(_mm_sub_ps(b, c), half));
    const __m128 c1 = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(c, a), half), c3);
    const __m128 y = _mm_add_ps(
        _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(c3, x), c2), x), c1), x), b);
    _mm_storeu_ps(out + j, y);
    pos = _mm_add_pd(next, twoSteps);
  }
  position = _mm_cvtsd_f64(pos);
#endif
  for (; j < n; ++j) {
    out[j] = between(data, position);
    position += increment;
  }
}

Wavetable::Wavetable(VORNsnd* sound, SoundStatus* status) : sound_(sound), status_(status) {
  init();
  setWave();
}

Wavetable::~Wavetable() { isLoading(true); }

void Wavetable::init() {
  rateKnown_ = false;
  const float rate = sampleRate();
  semitoneRatio_ = kSemitoneRatio;
  silent_ = true;
  data_ = nullptr;
  allocated_ = 0;
  output_ = 0.0f;
  end_ = 0;
  rateScale_ = kRateConstant / rate;
  position_ = 0.0;
  increment_ = 0.0f;
  tableNote_ = 0;
  lastNote_ = 0;
  transpose_ = 0;
  fine_ = fine1_ = fine2_ = fine3_ = 1.0f;
  deviation_ = 0.0f;
  pitchEnvOffset_ = 0.0f;
  bend_ = 0.0f;
  bendOffset_ = 0.0f;
  bendRange_ = 2;
  modOffset_ = 0.0f;
  glideCurrent_ = 0.0f;
  glideStep_ = 0.0f;
  frequency_ = 0.0f;
  looping_ = false;
  loopStart_ = -1;
  loopEnd_ = 0;
  glideTarget_ = 0.0f;
  glideTime_ = 0.0f;
  deviationOffset_ = 0.0f;
  currentWave_ = 0;
  lastRootKey_ = -1;
  restart_ = false;
  pendingWave_ = -2;
  pendingNote_ = -1;
  glideReset_ = true;
  fadeGain_ = 1.0f;
  fadeTime_ = kFadeTime;
  fadeStep_ = 1.0f / (rate * fadeTime_);
  scaledRate_ = rate;
  previousNote_ = 0;
  legato_ = false;
  firstNote_ = true;

  // 8.1757994 Hz for note 0, then equal-tempered steps from a double seed.
  uint32_t bits = 0x4102D013u;
  std::memcpy(&freq_[0], &bits, sizeof bits);
  double f = 8.661957218017596;
  for (int k = 1; k < 128; ++k) {
    freq_[k] = static_cast<float>(f);
    f *= semitoneRatio_;
  }
}

void Wavetable::beginBlock() {
  if (inBlock_) return;
  blockReady_ = enterAlone();
  inBlock_ = true;
}

void Wavetable::endBlock() {
  if (!inBlock_) return;
  inBlock_ = false;
  if (blockReady_) busy_.store(false, std::memory_order_release);
  blockReady_ = false;
}

bool Wavetable::enterAlone() {
  // Pairs with isLoading(true): either we see the loading mark, or the
  // loader sees us busy and waits (both sides sequentially consistent).
  busy_.store(true, std::memory_order_seq_cst);
  int state = loadState_.load(std::memory_order_seq_cst);
  if (state == kLoading) {
    leaveAudio();
    return false;
  }
  if (state == kRestart) {
    setWave();
    if (!loadState_.compare_exchange_strong(state, kReady, std::memory_order_seq_cst)) {
      leaveAudio();  // a new load began meanwhile
      return false;
    }
  }
  return true;
}

void Wavetable::isLoading(bool loading) {
  if (loading) {
    loadState_.store(kLoading, std::memory_order_seq_cst);
    while (busy_.load(std::memory_order_seq_cst)) std::this_thread::yield();
  } else {
    loadState_.store(kRestart, std::memory_order_seq_cst);
  }
}

void Wavetable::setSound(VORNsnd* sound) {
  sound_ = sound;
  setWave();
}

void Wavetable::setWave() {
  rateKnown_ = false;
  if (!sound_ || sound_->waveCount() < 1) return;
  silent_ = true;
  looping_ = false;
  currentWave_ = -1;
  pendingNote_ = lastNote_;
  pendingWave_ = 0;
  restart_ = true;
  glideCurrent_ = 0.0f;
  glideTarget_ = 0.0f;
  glideReset_ = true;

  const Wavetable_Wave& w = sound_->wave(0);
  end_ = w.length - 1;
  loopStart_ = w.loopStart;
  loopEnd_ = w.loopEnd;
  looping_ = loopStart_ >= 0 && loopEnd_ >= 1;

  position_ = 0.0;
  output_ = 0.0f;
  fadeGain_ = 0.0f;

  setNextWaveform();
  pendingWave_ = -2;
  firstNote_ = true;
  silent_ = end_ <= 0;
}

void Wavetable::setNextWaveform() {
  rateKnown_ = false;
  if (pendingWave_ < 0 || (status_ && status_->noWave())) return;
  if (!sound_ || pendingWave_ >= sound_->waveCount()) return;

  if (pendingWave_ != currentWave_) {
    currentWave_ = pendingWave_;
    const Wavetable_Wave& w = sound_->wave(currentWave_);
    data_ = w.data.get();
    allocated_ = w.allocated;
    end_ = w.length - 1;
    loopStart_ = w.loopStart;
    loopEnd_ = w.loopEnd;
    looping_ = loopEnd_ > 0;
    // The reader refuses such waves; no dialog may come from the audio thread.
    if (end_ <= 0 || !data_) silent_ = true;
    if (position_ >= static_cast<double>(end_))
      position_ = static_cast<double>(looping_ ? loopEnd_ : end_);
  }
  previousNote_ = pendingNote_;
  if (restart_) {
    position_ = 0.0;
    output_ = 0.0f;
    restart_ = false;
  }
  const int64_t rootKey = sound_->wave(currentWave_).rootKey;
  lastNote_ = static_cast<int>(pendingNote_);
  tableNote_ = static_cast<int>(pendingNote_ + 60 - rootKey);

  if (glideTime_ > 0.0f) {
    if (glideReset_) {
      glideCurrent_ = 0.0f;
      glideTarget_ = 0.0f;
      glideReset_ = false;
    } else if (rootKey != lastRootKey_) {
      // Carry the glide over into the new wave's table notes.
      int64_t k = 0;
      for (int64_t i = 0; i < 128; ++i)
        if (atWrapped(i + transpose_) >= glideCurrent_) {
          k = i;
          break;
        }
      glideCurrent_ = glideTarget_ = atWrapped(k + lastRootKey_ - rootKey + transpose_);
    }
    lastRootKey_ = rootKey;
    Glider(atWrapped(static_cast<int64_t>(tableNote_) + transpose_));
  }
  setRate();
  pendingNote_ = -1;
  pendingWave_ = -1;
}

void Wavetable::setNote(int note, int velocity, bool restart, bool force) {
  rateKnown_ = false;
  if (!enterAudio()) return;
  if (silenced() || !sound_) {
    leaveAudio();
    return;
  }
  if (!restart && !looping_ && position_ >= static_cast<double>(end_)) {
    leaveAudio();
    return;
  }
  const int64_t count = sound_->waveCount();
  if (count < 2) {
    pendingWave_ = 0;
  } else {
    for (int64_t i = 0; i < count; ++i) {
      const Wavetable_Wave& w = sound_->wave(i);
      if (w.lowKey <= note && note <= w.highKey && w.lowVelocity <= velocity &&
          velocity <= w.highVelocity)
        pendingWave_ = i;
    }
  }
  restart_ = restart;
  pendingNote_ = note;

  if (firstNote_) {
    setNextWaveform();
    pendingWave_ = -2;
    fadeGain_ = 1.0f;
    firstNote_ = false;
  } else if (legato_ && !restart) {
    pendingWave_ = currentWave_;
    setNextWaveform();
    pendingWave_ = -2;
  } else if (force) {
    setNextWaveform();
    pendingWave_ = -2;
  }
  leaveAudio();
}

float Wavetable::tickFull() {
  if (!enterAudio()) return 0.0f;
  if (silenced() || !data_ || currentWave_ < 0) {
    leaveAudio();
    return 0.0f;
  }
  wrapLoop(position_);
  if (!looping_ && position_ >= static_cast<double>(end_)) {
    if (pendingWave_ != -2) {
      setNextWaveform();
      pendingWave_ = -2;
    }
    leaveAudio();
    return 0.0f;
  }
  if (glideTime_ > 0.0f && !rateHolds()) setRate();
  output_ = interpolate(position_);
  position_ += increment_;

  float out = output_;
  if (pendingWave_ == -2) {
    if (fadeGain_ < 1.0f) {
      fadeGain_ += fadeStep_;
      if (fadeGain_ < 0.0f) fadeGain_ = 0.0f;
      if (fadeGain_ > 1.0f) fadeGain_ = 1.0f;
      out = output_ * fadeGain_;
    }
  } else if (pendingWave_ == -1) {
    fadeGain_ += fadeStep_;
    if (fadeGain_ < 0.0f) fadeGain_ = 0.0f;
    if (fadeGain_ >= 1.0f) {
      fadeGain_ = 1.0f;
      pendingWave_ = -2;
    }
    out = output_ * fadeGain_;
  } else if (pendingWave_ == currentWave_ && !restart_ &&
             (fadeGain_ <= 0.0f || fadeGain_ >= 1.0f)) {
    setNextWaveform();
    pendingWave_ = -2;
  } else {
    fadeGain_ -= fadeStep_;
    if (fadeGain_ > 1.0f) fadeGain_ = 1.0f;
    if (fadeGain_ <= 0.0f) {
      fadeGain_ = 0.0f;
      setNextWaveform();
    }
    out = output_ * fadeGain_;
  }
  leaveAudio();
  return out;
}

void Wavetable::tickBlock(float* out, int n) {
  int j = 0;
  // Fades and wave changes tick by tick, until the wave plays on steadily.
  while (j < n && !steady()) out[j++] = tickFull();
  if (j == n) return;
  // Steady to the end of the block: the state lives in locals, since stores
  // through out could otherwise alias every float member.
  const double end = static_cast<double>(end_);
  double position = position_;
  float last = output_;
  if (glideTime_ > 0.0f) {
    for (; j < n && !rateHolds(); ++j) {
      wrapLoop(position);
      if (!looping_ && position >= end) break;
      setRate();
      last = interpolate(position);
      out[j] = last;
      position += static_cast<double>(increment_);
    }
  }
  const bool looping = looping_;
  const double loopEnd = static_cast<double>(loopEnd_);
  const double loopLength = static_cast<double>(loopEnd_ - loopStart_) + 1.0;
  const float* data = data_;
  const int64_t allocated = allocated_;
  const double increment = static_cast<double>(increment_);
  // Up to this position neither the loop end, the wave's end nor the last
  // samples can be reached, so runs below it need no checks.
  const double bound = std::min(looping ? loopEnd : end, static_cast<double>(allocated - 2));
  const bool runs = increment > 1e-6 && position >= 0.0;
  while (j < n) {
    if (looping) {
      wrap(position, loopEnd, loopLength, end);
    } else if (position >= end) {
      break;
    }
    last = interpolate(data, allocated, position);
    out[j++] = last;
    position += increment;
    // Two steps' margin for the rounding of the running sum.
    if (!runs || !(position < bound) || position < 1.0) continue;
    const double steps = (bound - position) / increment - 2.0;
    int run = steps < static_cast<double>(n - j) ? static_cast<int>(steps) : n - j;
    if (run >= 8 && exactSums(position, increment, bound)) {
      betweenRun(data, position, increment, out + j, run);
      j += run;
      last = out[j - 1];
      position += static_cast<double>(run) * increment;
      continue;
    }
    for (; run > 0; --run) {
      last = between(data, position);
      out[j++] = last;
      position += increment;
    }
  }
  for (; j < n; ++j) out[j] = 0.0f;  // past the end of a wave played once
  position_ = position;
  output_ = last;
}

float Wavetable::Glider(float f) {
  rateKnown_ = false;
  const float d = glideCurrent_ != 0.0f ? std::fabs(f - glideCurrent_) : 0.0f;
  if (glideTarget_ == 0.0f)
    glideCurrent_ = f;
  else
    glideStep_ = d / (sampleRate() * glideTime_);
  glideTarget_ = f;
  if (glideTime_ == 0.0f) return f;
  glideStep();
  return glideCurrent_;
}

void Wavetable::glideStep() {
  if (glideTarget_ != glideCurrent_) {
    if (glideTarget_ > glideCurrent_) glideCurrent_ += glideStep_;
    if (glideCurrent_ > glideTarget_) glideCurrent_ -= glideStep_;
  }
}

void Wavetable::setRate() {
  const int64_t k = static_cast<int64_t>(tableNote_) + transpose_;
  const int n = bendRange_;
  if (bend_ > 0.0f)
    bendOffset_ = bend_ * at(k + n) - bend_ * at(k);
  else if (bend_ < 0.0f)
    bendOffset_ = bend_ * at(k) - bend_ * at(k - n);
  else
    bendOffset_ = 0.0f;

  const float d = deviation_;
  if (d > 0.0f)
    deviationOffset_ = d * at(k + 12) - d * at(k);
  else if (d < 0.0f)
    deviationOffset_ = d * at(k) - d * at(k - 12);
  else
    deviationOffset_ = 0.0f;

  // Two divisions that change only with the rate: skipped while it stands.
  const float rate = sampleRate();
  if (rate != scaledRate_) {
    rateScale_ = kRateConstant / rate;
    fadeStep_ = 1.0f / (rate * fadeTime_);
    scaledRate_ = rate;
  }

  float base = atWrapped(k);
  if (glideTime_ > 0.0f) {
    glideStep();
    base = glideCurrent_;
  }
  float f = base * fine_ * fine1_ * fine2_ * fine3_ + modOffset_ + pitchEnvOffset_ + bendOffset_ +
            deviationOffset_;
  if (!(f >= 0.0f)) f = kNegativeFrequency;  // also catches NaN
  if (f > freq_[127]) f = freq_[127];
  frequency_ = f;
  increment_ = frequency_ * rateScale_ / 24.0f;
  if (!(increment_ >= 0.0f)) increment_ = kNegativeIncrement;
  rateKnown_ = true;
}

float Wavetable::offset(float x, int range) const {
  const int64_t k = static_cast<int64_t>(tableNote_) + transpose_;
  if (x > 0.0f) return x * at(k + range) - x * at(k);
  if (x < 0.0f) return x * at(k) - x * at(k - range);
  return 0.0f;
}

void Wavetable::setTuning(int transpose, float fine) {
  rateKnown_ = false;
  if (!std::isfinite(fine)) return;
  transpose_ = transpose < -127 ? -127 : (transpose > 127 ? 127 : transpose);
  fine_ = 1.0f + fine / freq_[12];
  if (glideTime_ > 0.0f) {
    Glider(atWrapped(static_cast<int64_t>(tableNote_) + transpose_));
    setRate();
  }
}

void Wavetable::setFine1(float v) {
  rateKnown_ = false;
  if (std::isfinite(v)) fine1_ = 1.0f + v / freq_[12];
}
void Wavetable::setFine2(float v) {
  rateKnown_ = false;
  if (std::isfinite(v)) fine2_ = 1.0f + v / freq_[12];
}
void Wavetable::setFine3(float v) {
  rateKnown_ = false;
  if (std::isfinite(v)) fine3_ = 1.0f + v / freq_[12];
}
void Wavetable::setFine4(float v) {
  rateKnown_ = false;
  if (std::isnan(v)) return;
  deviation_ = v < -12.0f ? -12.0f : (v > 12.0f ? 12.0f : v);
}

void Wavetable::setPitchEnv(float e, int range) {
  rateKnown_ = false;
  if (std::isfinite(e)) pitchEnvOffset_ = offset(e, clampRange(range));
}

void Wavetable::setPitchLfo(float m, int range) {
  rateKnown_ = false;
  if (std::isfinite(m)) modOffset_ = offset(m, clampRange(range));
}

void Wavetable::setPitchBend(float b, int range) {
  rateKnown_ = false;
  if (std::isnan(b)) return;
  bend_ = b < -1.0f ? -1.0f : (b > 1.0f ? 1.0f : b);
  bendRange_ = clampRange(range);
}

void Wavetable::setGlider(float v) {
  rateKnown_ = false;
  if (!std::isfinite(v)) return;
  glideTime_ = v * v;
  if (glideTime_ == 0.0f) glideCurrent_ = glideTarget_ = 0.0f;
}

void Wavetable::reset() {
  position_ = 0.0;
  output_ = 0.0f;
}
