#include "support/VornMain.h"

#include <cmath>

std::atomic<float> VornMain::srate{44100.0f};
char VornMain::s_soundDataPath[VornMain::kPathSize] = {};
char VornMain::s_presetBankPath[VornMain::kPathSize] = {};

VornMain::VornMain() { srate.store(44100.0f, std::memory_order_relaxed); }

VornMain::~VornMain() = default;

void VornMain::setSampleRate(float rate) {
  if (std::isfinite(rate) && rate > 0.0f) srate.store(rate, std::memory_order_relaxed);
}
