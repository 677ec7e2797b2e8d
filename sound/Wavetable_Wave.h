// One recorded wave of a sound: its samples and the note, velocity and loop
// data that decide when and how it is played.
#pragma once

#include <cstdint>
#include <memory>

struct Wavetable_Wave {
  // Owned samples; always some samples longer than `length` so the
  // oscillator can interpolate and loop without bounds tests.
  std::unique_ptr<float[]> data;
  int64_t allocated = 0;  // samples in data
  int64_t length = 0;
  int64_t loopStart = -1;
  int64_t loopEnd = 0;
  int64_t rootKey = 60;
  int64_t lowVelocity = 0;
  int64_t highVelocity = 127;
  int64_t lowKey = 0;
  int64_t highKey = 127;

  // Frees the samples and puts every field back to its default.
  void clear() { *this = Wavetable_Wave(); }
};
