// Small helpers the plug-in core's files share: relaxed atomic access to the
// parameter block (hosts set values from any thread while the audio thread
// reads them), and safe conversions of values that files and hosts supply.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace synth_util {

inline float loadValue(const float& slot) {
  return std::atomic_ref<float>(const_cast<float&>(slot)).load(std::memory_order_relaxed);
}
inline void storeValue(float& slot, float value) {
  std::atomic_ref<float>(slot).store(value, std::memory_order_relaxed);
}
inline std::int32_t loadCC(const std::int32_t& slot) {
  return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(slot))
      .load(std::memory_order_relaxed);
}
inline void storeCC(std::int32_t& slot, std::int32_t value) {
  std::atomic_ref<std::int32_t>(slot).store(value, std::memory_order_relaxed);
}

// Copies a fixed-size field that a loaded bank may have left unterminated.
inline void copyField(char* out, const char* field, std::size_t fieldSize, std::size_t maxChars) {
  std::size_t n = strnlen(field, fieldSize);
  if (n > maxChars) n = maxChars;
  std::memcpy(out, field, n);
  out[n] = 0;
}

// Whole part, defined for every float.
inline int trunc32(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483520.0f) return 2147483520;
  if (v <= -2147483520.0f) return -2147483520;
  return static_cast<int>(v);
}

}  // namespace synth_util
