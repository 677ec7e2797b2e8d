// VstSynth: the renderer. Each block applies what other threads left for
// it, then renders voices, drone and sympathetic strings, and the effects.
//
// Threads: the audio thread only.
#include "plugin/VstSynth.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "plugin/AudioThreadScope.h"
#include "plugin/DenormalScope.h"
#include "plugin/SynthUtil.h"
#include "support/FloatLanes.h"
#include "support/VornMain.h"

using namespace vst;
using namespace synth_util;

// Rendering ------------------------------------------------------------------

void VstSynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
  if (!outputs || !outputs[0] || !outputs[1]) return;
  if (sampleFrames > 0) {
    std::memset(outputs[0], 0, sizeof(float) * static_cast<size_t>(sampleFrames));
    std::memset(outputs[1], 0, sizeof(float) * static_cast<size_t>(sampleFrames));
  }
  if (inInit) return;
  AudioThreadScope audio(audioThread_);
  DenormalScope denormals;
  DoProcess(nullptr, outputs, sampleFrames < 0 ? 0 : sampleFrames);
}

// The values the per-sample loop reads. Taken at the block start and again
// after every MIDI event (a learned controller or a program change acts at
// its own sample); a change from another thread acts from the next block.
void VstSynth::readRenderParams(RenderParams& r) const {
  r.pitchOffset = DmVal(0);
  r.pitchTime = DmVal(1);
  r.vibratoFx = DmVal(31) >= 0.5f;
  r.drone = DmVal(11);
  // A fading drone fades from the level it had: turned down to 0, it would
  // otherwise stop at once.
  if (droneEnv->getState() == ADSR::kFade)
    r.drone = heldDroneLevel_;
  else
    heldDroneLevel_ = r.drone;
  r.sympathetic = DmVal(12);
  r.volume = DmVal(13);
  r.followMain = modeOf(DmVal(3)) == 0;
  r.toneBand = DmVal(7) > 0.0f;
  r.flangerOn = DmVal(18) > 0.0f;
  r.flangerMix = DmVal(19);
  r.combined = DmVal(32) > 0.5f;
  r.reverbOn = DmVal(21) > 0.0f;
  r.gain = volumeFactor_.load(std::memory_order_relaxed);
}

void VstSynth::DoProcess(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
  // Rendering to a file, a load asked for by an earlier block (a program
  // change) is waited for, so that the new set always takes over at this
  // block start and the file comes out the same every time.
  const auto waiting = [this] {
    return worker_->busy() || (pendingSounds_.load(std::memory_order_acquire) &&
                               retiredSounds_.load(std::memory_order_acquire));
  };
  if (waiting() && getCurrentProcessLevel() == kVstProcessLevelOffline)
    while (waiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Block start: changes made on other threads reach the voices here.
  applyPendingParameters();
  adoptPendingSounds();

  if (static_cast<double>(getSampleRate()) != appliedSampleRate) {
    appliedSampleRate = getSampleRate();
    applyEngineRate(static_cast<float>(appliedSampleRate));
    updateValues();
    setProgram(currentProgram());
  }

  if (modeOf(DmVal(16)) == 1) {
    VstTimeInfo* time = getTimeInfo(0xE00);
    // A host without time information counts as a stopped transport.
    if (!time || time->samplePos == lastSamplePos) {
      droneEnv->keyOff();
    } else {
      lastSamplePos = time->samplePos;
      droneWave->setNote(36, 127, false, true);
      idle = false;
    }
  }

  RenderParams r;
  readRenderParams(r);
  // One busy mark per oscillator for the rest of the block, taken at the
  // first sample that may touch an oscillator; a silent block takes none.
  Wavetable* waves[kSympSlots + 2];
  int waveCount = 0;
  float left = 0.0f, right = 0.0f;
  float* outL = outputs[0];
  float* outR = outputs[1];
  int i = 1;
  while (i <= sampleFrames) {
    if (idle && !events.pending()) {
      // Silence to the end of the block (the outputs are zero already); only
      // the vibrato runs on.
      vibratoLfo->advance(sampleFrames - i + 1);
      left = right = 0.0f;
      break;
    }
    if (waveCount == 0) {
      waves[waveCount++] = mainWave.get();
      waves[waveCount++] = droneWave.get();
      for (auto& wave : sympWaves) waves[waveCount++] = wave.get();
      for (int k = 0; k < waveCount; ++k) waves[k]->beginBlock();
    }
    float l = vibratoLfo->tick();
    left = right = 0.0f;
    if (events.pending()) {
      eventHandled_ = false;
      EventsTick(i);
      if (eventHandled_) readRenderParams(r);
    }
    if (idle) {
      outL[i - 1] = outR[i - 1] = 0.0f;
      ++i;
      continue;
    }
    // A stretch that no event, block end or idle effect interrupts, worked
    // one part at a time: strings, main voice, mix and tone band, flanger,
    // reverb.
    int frames = stretchLength(i, sampleFrames, r);
    const int stringsActive = renderStrings(frames);
    const int mainActive = renderMain(frames, l, r);
    if (mainActive < frames) {
      // Without effects the first sample with nothing sounding turns the
      // instrument idle and ends the stretch.
      int end = frames;
      if (!r.flangerOn && !r.reverbOn) end = std::min(frames, std::max(mainActive, stringsActive) + 1);
      // The vibrato has run up to the sample the main voice stopped at.
      if (end - mainActive - 1 > 0) vibratoLfo->advance(end - mainActive - 1);
      lanes::fill(stretch_.main + mainActive, 0.0f, end - mainActive);
      frames = end;
    }
    const int active = std::min(frames, std::max(mainActive, stringsActive));
    const int first = i;
    float* dryL = r.reverbOn ? stretch_.left : outL + first - 1;
    float* dryR = r.reverbOn ? stretch_.right : outR + first - 1;
    mixStretch(dryL, active, r);
    lanes::fill(dryL + active, 0.0f, frames - active);
    const int last = frames - 1;
    mainSum = stretch_.main[last];
    sympSum = stretch_.sympathetic[last];
    droneSum = stretch_.drone[last];
    voiceActive = last < active;
    if (r.flangerOn) {
      flanger->tickBlock(dryL, dryL, dryR, frames, r.combined, r.flangerMix);
    } else {
      std::memcpy(dryR, dryL, sizeof(float) * static_cast<size_t>(frames));
    }
    i += frames;
    if (r.reverbOn) {
      reverb->processBlock(stretch_.left, stretch_.right, outL + first - 1, outR + first - 1, frames);
      idle = reverb->Idle();
    } else {
      idle = r.flangerOn ? flanger->Idle() : last >= active;
    }
    left = outL[i - 2];
    right = outR[i - 2];
  }
  frame[0] = left;
  frame[1] = right;
  events.clear();
  for (int k = 0; k < waveCount; ++k) waves[k]->endBlock();
}

int VstSynth::stretchLength(int i, int sampleFrames, const RenderParams& r) const {
  std::int64_t n = std::min(sampleFrames - i + 1, kStretch);
  n = std::min<std::int64_t>(n, static_cast<std::int64_t>(events.nextDueAfter(i)) - i);
  // Strings rendered ahead must not outrun an effect that turns the
  // instrument idle: that would stop them at its own sample.
  if (r.flangerOn) n = std::min(n, flanger->ticksBeforeIdle() + 1);
  if (r.reverbOn) n = std::min(n, reverb->framesBeforeIdle() + 1);
  return static_cast<int>(n < 1 ? 1 : n);
}

int VstSynth::renderStrings(int frames) {
  StretchBuffers& b = stretch_;
  lanes::fill(b.sympathetic, 0.0f, frames);
  lanes::fill(b.drone, 0.0f, frames);
  // Envelopes first, all strings side by side; each string's oscillator then
  // runs for as many samples as its envelope sounded.
  ADSR* envelope[kSympSlots + 1];
  int sounding[kSympSlots + 1] = {};
  int live[kSympSlots + 1];
  int liveCount = 0;
  const int strings = sympatheticCount;
  for (int k = 0; k < strings; ++k) {
    envelope[k] = sympEnvs[k].get();
    if (envelope[k]->getState() != ADSR::kIdle) live[liveCount++] = k;
  }
  const int drone = strings;
  envelope[drone] = droneEnv.get();
  // Without a wave the drone's envelope holds still, and keeps the
  // instrument awake.
  const bool droneHeld = soundStatus_.noWave() && droneEnv->getState() != ADSR::kIdle;
  if (!droneHeld && droneEnv->getState() != ADSR::kIdle) live[liveCount++] = drone;
  // Envelopes held in sustain stay there for the stretch (only an event
  // moves them) and tick side by side; the others tick one by one.
  ADSR* held[kSympSlots + 1] = {};
  float* heldOut[kSympSlots + 1] = {};
  int heldCount = 0;
  for (int q = 0; q < liveCount;) {
    const int k = live[q];
    if (envelope[k]->holds()) {
      held[heldCount] = envelope[k];
      heldOut[heldCount++] = b.envelope[k];
      sounding[k] = frames;
      live[q] = live[--liveCount];
    } else {
      ++q;
    }
  }
  ADSR::tickHeld(held, heldCount, heldOut, frames);
  int j = 0;
  for (; j < frames && liveCount > 0; ++j) {
    for (int q = 0; q < liveCount;) {
      const int k = live[q];
      ADSR& env = *envelope[k];
      if (env.getState() == ADSR::kIdle) {
        sounding[k] = j;
        live[q] = live[--liveCount];
        continue;
      }
      b.envelope[k][j] = env.tick();
      ++q;
    }
  }
  for (int q = 0; q < liveCount; ++q) sounding[live[q]] = j;
  int active = droneHeld ? frames : 0;
  for (int k = 0; k <= drone; ++k) {
    const int n = sounding[k];
    if (n == 0) continue;
    active = std::max(active, n);
    Wavetable& osc = k == drone ? *droneWave : *sympWaves[k];
    osc.tickBlock(b.wave, n);
    lanes::addProducts(k == drone ? b.drone : b.sympathetic, b.wave, b.envelope[k], n);
  }
  return active;
}

int VstSynth::renderMain(int frames, float l, const RenderParams& r) {
  Wavetable& osc = *mainWave;
  ADSR& envelope = *mainEnv;
  float* out = stretch_.main;
  float* wave = stretch_.wave;
  // Samples j.. up to `until`, or up to the one the envelope falls idle at,
  // whose index is returned.
  const auto sound = [&](int j, int until) {
    int m = j;
    for (; m < until && envelope.getState() != ADSR::kIdle; ++m) out[m] = envelope.tick();
    osc.tickBlock(wave + j, m - j);
    for (int k = j; k < m; ++k) out[k] = wave[k] * out[k];
    return m;
  };
  // The pitch moves on every twelfth sample (pitchModCounter cycles through
  // 0..11); without pitch modulation the oscillator runs the whole stretch.
  if (r.pitchOffset == 0.5f || !(r.pitchTime > 0.0f)) {
    const int j = sound(0, frames);
    pitchModCounter = (pitchModCounter + j) % 12;
    if (j > 0) vibratoLfo->advance(j < frames ? j : frames - 1);
    return j;
  }
  const float o = 2.0f * r.pitchOffset - 1.0f;
  int ticked = 0;  // the vibrato has run through this sample
  int j = 0;
  while (j < frames && envelope.getState() != ADSR::kIdle) {
    if (pitchModCounter <= 10) {
      ++pitchModCounter;
    } else {
      pitchModCounter = 0;
      if (j > ticked) {
        if (j - ticked > 1) vibratoLfo->advance(j - ticked - 1);
        l = vibratoLfo->tick();
        ticked = j;
      }
      const float e = pitchEnv->tick();
      if (!r.vibratoFx) {
        osc.setPitchEnv(o * e, 5);
      } else {
        const float a = aftertouchDepth;
        osc.setPitchLfo((1.0f + e + a) * 0.5f * l * (2.0f * a + o), 1);
      }
      osc.setRate();
    }
    // This sample (its envelope sounds) and those up to the next pitch step.
    const int m = sound(j, std::min(frames, j + 12 - pitchModCounter));
    pitchModCounter += m - j - 1;
    j = m;
  }
  // The vibrato runs through the sample the voice stopped at, or the last.
  const int through = j < frames ? j : frames - 1;
  if (through > ticked) vibratoLfo->advance(through - ticked);
  return j;
}

namespace {

// One-pole steps of the tone band and the level follower with their states
// in registers; the same arithmetic as FilterOneP::tick.
struct Poles {
  float state[5];
  float coefficient[5];
};

template <bool kFollow, bool kTone>
void mixVoices(float* out, const float* mainVoice, const float* sympathetic, const float* drone,
               int n, float s, float d, float g, float gain, Poles& p) {
  float follow = p.state[4], a = p.state[0], b = p.state[1], c = p.state[2], e = p.state[3];
  const float cf = p.coefficient[4], ca = p.coefficient[0], cb = p.coefficient[1],
              cc = p.coefficient[2], ce = p.coefficient[3];
  for (int j = 0; j < n; ++j) {
    const float m = mainVoice[j];
    float mix;
    if (kFollow) {
      const float level = FilterOneP::step(std::fabs(m), follow, cf, false);
      mix = g * (m + 0.5f * (level + 0.04f) * sympathetic[j] * s + 0.5f * drone[j] * d);
    } else {
      mix = g * (m + 0.5f * sympathetic[j] * s + 0.5f * drone[j] * d);
    }
    float x = mix * gain;
    if (kTone) {
      const float y = FilterOneP::step(
          FilterOneP::step(FilterOneP::step(FilterOneP::step(x, a, ca, false), b, cb, false), c, cc, true),
          e, ce, true);
      x = x - y;
    }
    out[j] = x;
  }
  p.state[0] = a;
  p.state[1] = b;
  p.state[2] = c;
  p.state[3] = e;
  p.state[4] = follow;
}

}  // namespace

void VstSynth::mixStretch(float* out, int n, const RenderParams& r) {
  if (n <= 0) return;
  FilterOneP* filters[5] = {toneFilterA.get(), toneFilterB.get(), toneFilterC.get(), toneFilterD.get(),
                            followFilter.get()};
  Poles p;
  for (int k = 0; k < 5; ++k) {
    p.state[k] = filters[k]->getState();
    p.coefficient[k] = filters[k]->getCoefficient();
  }
  const StretchBuffers& b = stretch_;
  const float s = r.sympathetic, d = r.drone, g = r.volume, gain = r.gain;
  if (r.followMain) {
    if (r.toneBand) mixVoices<true, true>(out, b.main, b.sympathetic, b.drone, n, s, d, g, gain, p);
    else mixVoices<true, false>(out, b.main, b.sympathetic, b.drone, n, s, d, g, gain, p);
  } else {
    if (r.toneBand) mixVoices<false, true>(out, b.main, b.sympathetic, b.drone, n, s, d, g, gain, p);
    else mixVoices<false, false>(out, b.main, b.sympathetic, b.drone, n, s, d, g, gain, p);
  }
  for (int k = 0; k < 5; ++k) filters[k]->setState(p.state[k]);
}
