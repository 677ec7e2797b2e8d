// Scale files of any content: every pitch-class offset must come out finite
// and small enough that a retuned note still has a finite frequency.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzWorkspace.h"
#include "perform/MicroTuning.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWorkspace& workspace = FuzzWorkspace::instance();
  static MicroTuning tuning(workspace.scaleFolder().c_str());
  if (!FuzzWorkspace::writeFile(workspace.scaleFolder() + "Input.txt", data, size)) return 0;
  tuning.setTable("Input");
  for (long root = 0; root < 12; root += 5) {
    tuning.setRoot(root);
    for (long note = 0; note < 128; ++note) {
      float v = tuning.Tick(note);
      // Files may move a pitch class by an octave at most; more is damage
      // and, far enough, overflows the oscillator's frequency.
      if (!std::isfinite(v) || std::fabs(v) > 12.0f) std::abort();
    }
  }
  MicroTuning::Offsets all = tuning.snapshot();
  for (float v : all.semitones)
    if (!std::isfinite(v)) std::abort();
  return 0;
}
