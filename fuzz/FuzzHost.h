// One engine instance for a whole fuzzing process, driven the way a host
// drives it: a callback that answers the version, the sample rate and the
// transport, output buffers made once, and a check after every block that
// only finite samples came out (anything else aborts, which the fuzzer
// reports as a crash).
//
// Control and audio calls are made from the fuzzing thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/VstSynth.h"

class FuzzHost {
 public:
  static constexpr int kMaxFrames = 8192;

  static FuzzHost& instance();

  VstSynth& synth() { return *synth_; }
  // Back to the state right after construction: first program of the
  // built-in table, 44100 Hz, no sounding voices, nothing queued.
  void reset();
  // processReplacing with frames (any value; only up to kMaxFrames are
  // backed by memory, larger counts are sent as kMaxFrames), then the check.
  void render(int frames);
  // Renders a short phrase: note on, a block, note off, a block.
  void playPhrase(int note);

 private:
  FuzzHost();

  std::unique_ptr<VstSynth> synth_;
  std::vector<std::uint8_t> baseline_;
  std::vector<float> left_, right_;
};
