#include "fx/allpass.h"

void allpass::mute() {
  for (int i = 0; i < length_; ++i) buffer_[i] = 0.0f;
}
