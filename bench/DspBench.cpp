// One tick of each DSP class in the configuration the instrument uses.
// Each iteration runs a block of kBlock ticks; "per_sample" is the time of one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "fx/Flanger.h"
#include "fx/LFOx.h"
#include "fx/revmodel.h"
#include "perform/ADSR.h"
#include "sound/FilterOneP.h"

namespace {

constexpr int kBlock = 256;

struct Signal {
  float v[kBlock];
  Signal() {
    for (int i = 0; i < kBlock; ++i) v[i] = 0.5f * std::sin(0.05f * static_cast<float>(i)) + 0.01f;
  }
};
const Signal kSignal;

void perSample(benchmark::State& state) {
  state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FilterOnePToneLowPass(benchmark::State& state) {
  FilterOneP f;
  f.setType(0);
  f.setFreq(0.8f);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(f.tick(kSignal.v[i]));
  }
  perSample(state);
}
BENCHMARK(BM_FilterOnePToneLowPass);

void BM_FilterOnePToneHighPass(benchmark::State& state) {
  FilterOneP f;
  f.setType(1);
  f.setFreq(0.3f);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(f.tick(kSignal.v[i]));
  }
  perSample(state);
}
BENCHMARK(BM_FilterOnePToneHighPass);

void BM_LFOxVibrato(benchmark::State& state) {
  LFOx lfo;
  lfo.setPureRate(5.0f);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(lfo.tick());
  }
  perSample(state);
}
BENCHMARK(BM_LFOxVibrato);

void BM_LFOxRoundedTriangle(benchmark::State& state) {
  LFOx lfo;
  lfo.setWaveform(4);
  lfo.setPureRate(0.238f);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(lfo.tick());
  }
  perSample(state);
}
BENCHMARK(BM_LFOxRoundedTriangle);

// Main-string envelope: mono, smoothing at 20 Hz.
std::unique_ptr<ADSR> mainEnvelope(float attack, float release) {
  auto env = std::make_unique<ADSR>();
  env->setMonoMode(true);
  env->setVelocitySmoth(true, 20);
  env->setVelocity(1.0f);
  env->setAttackTime(attack);
  env->setReleaseTime(release);
  env->setFirstAttack(10000);
  env->keyOn(100, 60);
  return env;
}

void BM_ADSRAttack(benchmark::State& state) {
  auto env = mainEnvelope(100.0f, 0.3f);  // an attack that never ends here
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(env->tick());
  }
  if (env->getState() != ADSR::kAttack) state.SkipWithError("left the attack stage");
  perSample(state);
}
BENCHMARK(BM_ADSRAttack);

void BM_ADSRSustain(benchmark::State& state) {
  auto env = mainEnvelope(0.0f, 0.3f);
  env->tick();
  env->tick();
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(env->tick());
  }
  if (env->getState() != ADSR::kSustain) state.SkipWithError("left the sustain stage");
  perSample(state);
}
BENCHMARK(BM_ADSRSustain);

void BM_ADSRRelease(benchmark::State& state) {
  auto env = mainEnvelope(0.0f, 100.0f);  // a release that never ends here
  env->tick();
  env->tick();
  env->keyOff();
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(env->tick());
  }
  if (env->getState() != ADSR::kRelease) state.SkipWithError("left the release stage");
  perSample(state);
}
BENCHMARK(BM_ADSRRelease);

void BM_FlangerTick(benchmark::State& state) {
  Flanger flanger;
  flanger.setRate(0.2f);
  const bool combined = false;
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) benchmark::DoNotOptimize(flanger.tick(kSignal.v[i], combined));
  }
  if (flanger.Idle()) state.SkipWithError("flanger went idle");
  perSample(state);
}
BENCHMARK(BM_FlangerTick);

// The reverb as the instrument sets it up for a mix of 0.3.
std::unique_ptr<revmodel> instrumentReverb() {
  auto reverb = std::make_unique<revmodel>();
  reverb->setwet(0.3f * 0.3f);
  reverb->setdry(1.0f - 0.3f * 0.3f);
  reverb->setdamp(0.5f);
  reverb->setroomsize(0.5f);
  return reverb;
}

void BM_RevmodelProcessmix(benchmark::State& state) {
  auto reverb = instrumentReverb();
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) {
      float frame[2] = {kSignal.v[i], kSignal.v[i]};
      benchmark::DoNotOptimize(reverb->processmix(frame, 1, 1));
    }
  }
  perSample(state);
}
BENCHMARK(BM_RevmodelProcessmix);

// The same frames a stretch at a time, as the instrument runs it.
void BM_RevmodelProcessBlock(benchmark::State& state) {
  auto reverb = instrumentReverb();
  float left[kBlock], right[kBlock];
  for (auto _ : state) {
    reverb->processBlock(kSignal.v, kSignal.v, left, right, kBlock);
    benchmark::DoNotOptimize(left);
    benchmark::ClobberMemory();
  }
  perSample(state);
}
BENCHMARK(BM_RevmodelProcessBlock);

}  // namespace
