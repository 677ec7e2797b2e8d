// Four floats worked as one: GCC vector types with the same IEEE operations
// per lane as the scalar code, so a loop turned into lanes gives bit-identical
// results. Plain x86-64 has no fused multiply-add, so none are formed.
#pragma once

#include <cstdint>
#include <cstring>

namespace lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));

inline F4 load(const float* p) {
  F4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }

// out[0..n) = v.
inline void fill(float* out, float v, int n) {
  const F4 vs = {v, v, v, v};
  int i = 0;
  for (; i + 4 <= n; i += 4) store(out + i, vs);
  for (; i < n; ++i) out[i] = v;
}

// sum[0..n) += a[i] * b[i], each sum as in the scalar loop.
inline void addProducts(float* sum, const float* a, const float* b, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) store(sum + i, load(sum + i) + load(a + i) * load(b + i));
  for (; i < n; ++i) sum[i] += a[i] * b[i];
}

// Zero where a lane is zero or subnormal, as FilterOneP::isZeroOrSubnormal
// flushes a single value.
inline F4 flush(F4 v) {
  const I4 bits = reinterpret_cast<I4>(v);
  const I4 normal = (bits & 0x7f800000) != 0;
  return reinterpret_cast<F4>(bits & normal);
}

// Lanes of a where mask is set, of b elsewhere.
inline F4 select(I4 mask, F4 a, F4 b) {
  return reinterpret_cast<F4>((reinterpret_cast<I4>(a) & mask) |
                              (reinterpret_cast<I4>(b) & ~mask));
}

// Picks lanes of (a, b) numbered 0..7.
#if defined(__clang__)
#define LANES_SHUFFLE(a, b, i, j, k, l) __builtin_shufflevector(a, b, i, j, k, l)
#else
#define LANES_SHUFFLE(a, b, i, j, k, l) __builtin_shuffle(a, b, I4{i, j, k, l})
#endif

// Rows a..d of four samples each become four samples of four rows each.
inline void transpose(F4& a, F4& b, F4& c, F4& d) {
  const F4 ab0 = LANES_SHUFFLE(a, b, 0, 4, 1, 5);
  const F4 ab1 = LANES_SHUFFLE(a, b, 2, 6, 3, 7);
  const F4 cd0 = LANES_SHUFFLE(c, d, 0, 4, 1, 5);
  const F4 cd1 = LANES_SHUFFLE(c, d, 2, 6, 3, 7);
  a = LANES_SHUFFLE(ab0, cd0, 0, 1, 4, 5);
  b = LANES_SHUFFLE(ab0, cd0, 2, 3, 6, 7);
  c = LANES_SHUFFLE(ab1, cd1, 0, 1, 4, 5);
  d = LANES_SHUFFLE(ab1, cd1, 2, 3, 6, 7);
}

#undef LANES_SHUFFLE

}  // namespace lanes
