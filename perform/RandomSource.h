// Uniform random numbers for the audio thread. The C library's rand() takes a
// lock; this generator is per owner and lock-free. next() gives 0..2^31-1 like
// rand() on this platform, so callers scale by 2^-31 as before.
#pragma once

#include <cstdint>

class RandomSource {
 public:
  explicit RandomSource(std::uint64_t seed = 0x9E3779B97F4A7C15ull) : state_(seed | 1u) {}
  std::int32_t next() {
    // xorshift64*: fast, and good enough for per-note deviations.
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<std::int32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 33);
  }
  // Uniform in [0, 1).
  float unit() { return static_cast<float>(next()) * 4.656613e-10f; }

 private:
  std::uint64_t state_;
};
