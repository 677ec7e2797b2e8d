// The waves of one sound.
#pragma once

#include <cstdint>

#include "sound/Wavetable_Wave.h"

struct Wavetable_Main {
  static constexpr int64_t kMaxWaves = 4024;
  int64_t count = 0;
  Wavetable_Wave waves[kMaxWaves];
};
