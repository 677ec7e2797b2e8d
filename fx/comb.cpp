#include "fx/comb.h"

void comb::setdamp(float v) {
  damp1_.store(v, std::memory_order_relaxed);
  damp2_.store(1.0f - v, std::memory_order_relaxed);
}
