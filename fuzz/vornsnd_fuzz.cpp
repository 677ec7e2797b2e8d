// Sound files of any content: the reader must refuse or repair them, and an
// oscillator playing whatever it kept must stay inside the samples and
// produce finite output.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz/FuzzWorkspace.h"
#include "sound/SoundStatus.h"
#include "sound/VORNsnd.h"
#include "sound/Wavetable.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWorkspace& workspace = FuzzWorkspace::instance();
  const std::string path = workspace.root() + "/input.VORNsnd";
  if (!FuzzWorkspace::writeFile(path, data, size)) return 0;

  static SoundStatus status;
  static auto sound = std::make_unique<VORNsnd>(&status);
  int error = sound->loadVORNsnd(path.c_str());
  require(sound->waveCount() >= 1 && sound->waveCount() <= Wavetable_Main::kMaxWaves);
  if (error != VORNsnd::kLoadOk) require(sound->waveCount() == 1);
  for (std::int64_t w = 0; w < sound->waveCount(); ++w) {
    const Wavetable_Wave& wave = sound->wave(w);
    require(wave.length > 0 && wave.allocated > wave.length);
    require(wave.loopEnd <= wave.length);
    for (std::int64_t i = 0; i < wave.allocated; ++i) require(std::isfinite(wave.data[i]));
  }

  // Play a few notes across keys and velocities, gliding once.
  static SoundStatus playStatus;
  Wavetable oscillator(sound.get(), &playStatus);
  const int notes[] = {0, 36, 60, 127};
  for (int n = 0; n < 4; ++n) {
    oscillator.setGlider(n == 2 ? 0.5f : 0.0f);
    oscillator.setNote(notes[n], 1 + 42 * n, true, n == 0);
    oscillator.setRate();
    for (int i = 0; i < 700; ++i) require(std::isfinite(oscillator.tick()));
  }
  return 0;
}
