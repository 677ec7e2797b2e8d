// Flushes denormals to zero while we render and gives the host its mode back.
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

class DenormalScope {
 public:
  DenormalScope() {
#if defined(__SSE__)
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | 0x8040u);  // FTZ | DAZ
#endif
  }
  ~DenormalScope() {
#if defined(__SSE__)
    _mm_setcsr(saved_);
#endif
  }
  DenormalScope(const DenormalScope&) = delete;
  DenormalScope& operator=(const DenormalScope&) = delete;

 private:
  unsigned int saved_ = 0;
};
