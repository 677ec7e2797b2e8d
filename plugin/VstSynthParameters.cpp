// VstSynth: the parameter table, setting and reading parameter values, and
// what each value does to the engine.
//
// Threads: setParameter/getParameter and the display calls from any host
// thread (automation, GUI, audio); applyParameter on the audio thread only.
#include "plugin/VstSynth.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "plugin/AudioThreadScope.h"
#include "plugin/SynthUtil.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"

using namespace vst;
using namespace synth_util;

// Parameter table ------------------------------------------------------------

void VstSynth::SetVstP(long index, const char* name, float value, bool perProgram,
                       bool unclamped, bool storedDefault) {
  VstParams& p = params_.params[index];
  p.perProgram = perProgram;
  p.unclamped = unclamped;
  p.storedDefault = storedDefault;
  p.value = value;
  // At most 16 characters; the rest of the field keeps its zero bytes.
  std::memcpy(p.name, name, strnlen(name, 16));
}

void VstSynth::VstParametersInit() {
  struct Row {
    const char* name;
    float value;
    bool perProgram, unclamped, storedDefault;
  };
  static const Row rows[33] = {
      {"PitchEnveOffset ", 0.5f, true, false, false},
      {"PitchEnvTime    ", 0.0f, true, false, false},
      {"PitchEnvVelocity", 0.0f, true, false, false},
      {"MonoType        ", 1.0f, true, true, true},
      {"Fine Tune       ", 0.5f, true, false, false},
      {"Pitch Tune      ", 0.5f, true, false, false},
      {"Release         ", 0.1f, true, false, false},
      {"ToneSwitch      ", 0.0f, true, false, false},
      {"ToneFreq        ", 0.0f, true, false, false},
      {"ToneBand        ", 0.0f, true, false, false},
      {"Velocity        ", 0.5f, true, false, false},
      {"Drone           ", 0.2f, true, false, false},
      {"Sympathetic     ", 0.2f, true, false, false},
      {"Volume          ", 1.0f, true, false, false},
      {"DroneFine       ", 0.5f, true, false, false},
      {"DroneTone       ", 0.5f, true, false, false},
      {"DroneType       ", 0.0f, true, true, true},
      {"DroneSplitNote  ", 0.0f, true, true, true},
      {"FlangerOn       ", 1.0f, true, false, false},
      {"FlangerMix      ", 0.2f, true, false, false},
      {"FlangerDepth    ", 0.2f, true, false, false},
      {"ReverberOn      ", 1.0f, true, false, false},
      {"ReverberMix     ", 0.1f, true, false, false},
      {"ReverberSpace   ", 0.6f, true, false, false},
      {"SoundSet        ", 0.0f, true, true, false},
      {"Pitch Deviation ", 2.0f, true, true, true},
      {"Tone  Deviation ", 3.0f, true, true, true},
      {"MicroTuningRoot ", 0.0f, true, true, true},
      {"PitchBend       ", 1.0f, true, false, false},
      {"Glide           ", 0.0f, true, false, false},
      {"VolumeType      ", 1.0f, false, true, true},
      {"Vib FX       ", 0.0f, true, false, false},
      {"Combi Fx        ", 0.0f, true, false, false},
  };
  for (long i = 0; i < kNumParams; ++i) {
    if (i < 33) {
      const Row& r = rows[i];
      SetVstP(i, r.name, r.value, r.perProgram, r.unclamped, r.storedDefault);
    } else {
      SetVstP(i, "not used        ", 0.0f, true, false, false);
    }
  }
  for (int i = 0; i < kNumParams; ++i) defaults_[i] = params_.params[i].value;
  for (VstProgram& program : params_.programs)
    for (int i = 0; i < kNumParams; ++i) program.values[i].value = params_.params[i].value;
}

void VstSynth::builtInParameters(VstParams (&table)[kNumParams], MessageBoxHandler* messages) {
  // The engine finds no sound sets where tools run; the table does not
  // depend on them.
  struct Quiet : MessageBoxHandler {
    bool show(const char*, const char*, int) override { return false; }
  } quiet;
  MessageBoxHandler* handler = messages ? messages : &quiet;
  installMessageBoxHandler(handler);
  {
    VstSynth synth(nullptr);
    std::memcpy(table, synth.parameterBlock().params, sizeof table);
  }
  removeMessageBoxHandler(handler);
}

int VstSynth::currentProgram() const {
  int p = std::atomic_ref<VstInt32>(const_cast<VstInt32&>(curProgram))
              .load(std::memory_order_relaxed);
  return (p >= 0 && p < kNumPrograms) ? p : 0;
}

int VstSynth::modeOf(float value) { return trunc32(3.0f * value); }

float* VstSynth::valueSlot(long index) {
  if (index < 0 || index >= kNumParams) return nullptr;
  if (params_.params[index].perProgram)
    return &params_.programs[currentProgram()].values[index].value;
  return &params_.params[index].value;
}

const float* VstSynth::valueSlot(long index) const {
  return const_cast<VstSynth*>(this)->valueSlot(index);
}

float VstSynth::DmVal(long index) const {
  const float* slot = valueSlot(index);
  return slot ? loadValue(*slot) : 0.0f;
}

int VstSynth::getMidiCC(long index) const {
  if (index < 0 || index >= kNumParams) return 0;
  return loadCC(params_.params[index].midiCC);
}

void VstSynth::setParameter(VstInt32 index, float value) {
  if (inInit) return;
  // A NaN or infinity would stay in the program and reach the audio for good.
  if (!std::isfinite(value)) return;

  // Programs may hold the play and drone modes as plain numbers 1 or 2.
  VstProgram& program = params_.programs[currentProgram()];
  for (int mode : {3, 16}) {
    float& slot = program.values[mode].value;
    float v = loadValue(slot);
    if (v > 0.6666667f) storeValue(slot, v * 0.33333334f);
  }

  menuValues(index, value);

  if (index == 30) {
    if (value == 0.0f)
      volumeFactor_ = 1.6f;
    else if (value == 1.0f)
      volumeFactor_ = 1.0f;
    else if (value == 2.0f)
      volumeFactor_ = 0.52f;
  }

  float v = value;
  if (float* slot = valueSlot(index)) {
    if (!params_.params[index].unclamped) v = v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v);
    storeValue(*slot, v);
    if (AudioThreadScope::isCallingThread(audioThread_))
      applyParameter(index, v);
    else
      dirtyParameters_.fetch_or(std::uint64_t{1} << index, std::memory_order_release);
  } else if (index == 71) {
    // The editor's sound-set menu: a row of the table.
    int row = trunc32(value);
    if (row >= 0 && row < SoundSetList::kEntries && soundSets_.entries()[row].name[0]) {
      long code = soundSets_.entries()[row].code;
      // The program's value first: the worker loads what it names.
      setParameter(24, static_cast<float>(code));
      loadNewVORNsnd(code);
    }
  }

  if (synthEditor_) synthEditor_->setParameter(index, v);
}

void VstSynth::applyPendingParameters() {
  // A MIDI program change that met a switch on another thread.
  int program = pendingProgram_.exchange(-1, std::memory_order_acquire);
  if (program >= 0) setProgram(program);
  std::uint64_t bits = dirtyParameters_.exchange(0, std::memory_order_acquire);
  for (int i = 0; bits; ++i, bits >>= 1)
    if (bits & 1) applyParameter(i, DmVal(i));
}

// What a stored value does to the engine. Audio thread.
void VstSynth::applyParameter(long index, float v) {
  switch (index) {
    case 21:
      if (v == 0.0f) reverb->mute();
      break;
    case 22:
      reverb->setwet(v * v);
      reverb->setdry(1.0f - v * v);
      break;
    case 23:
      reverb->setdamp(v);
      reverb->setroomsize(v);
      break;
    case 6: {
      float t = v * v + 0.06f;
      mainEnv->setReleaseTime(t);
      for (auto& env : sympEnvs) env->setReleaseTime(t);
      droneEnv->setReleaseTime(t);
      break;
    }
    case 1:
      pitchEnv->setDecayTime(v / 10.0f);
      mainWave->setPitchEnv(0.0f, 0);
      mainWave->setPitchLfo(0.0f, 0);
      mainWave->setRate();
      vibratoLfo->setPureRate(10.0f * v);
      break;
    case 2:
      pitchEnv->setVelocity(v);
      break;
    case 29:
      mainWave->setGlider(v);
      mainWave->setLegatoMode(v != 0.0f);
      break;
    case 10:
      mainEnv->setVelocity(v);
      droneEnv->setVelocity(v);
      for (auto& env : sympEnvs) env->setVelocity(v);
      break;
    case 14:
    case 15:
      droneWave->setTuning(trunc32(11.0f * DmVal(15) - 5.0f), 2.0f * DmVal(14) - 1.0f);
      droneWave->setRate();
      break;
    case 11:
      if (v == 0.0f) droneEnv->fadeOut();
      break;
    case 18:
      // Lines left as they were when it was switched off would replay that
      // moment when it comes back on.
      if (v > 0.0f && !flangerRunning_) flanger->clear();
      flangerRunning_ = v > 0.0f;
      break;
    case 20:
      flanger->setRate(v);
      break;
    case 3:
    case 16: {
      // Everything stops and the drone starts anew on note 36. A drone still
      // sounding fades out, and its oscillator cross-fades into the restart
      // rather than jump.
      const bool droneSilent = droneEnv->getState() == ADSR::kIdle;
      droneWave->setNote(36, 127, true, droneSilent);
      mainEnv->keyOff();
      droneEnv->fadeOut();
      pitchEnv->Reset();
      for (auto& env : sympEnvs) env->keyOff();
      mainNotes->reset();
      sympNotes->reset();
      droneNotes->reset();
      break;
    }
    case 8:
    case 9:
      setToneFilters(1.0f);
      break;
    case 27:
      tuning_->setRoot(trunc32(v));
      break;
    case 4:
    case 5: {
      int semitones = trunc32(24.0f * DmVal(5) - 12.0f);
      float fine = 2.0f * DmVal(4) - 1.0f;
      for (auto& wave : sympWaves) {
        wave->setTuning(semitones, fine);
        wave->setRate();
      }
      mainWave->setTuning(semitones, fine);
      mainWave->setRate();
      break;
    }
    default:
      break;
  }
}

void VstSynth::menuValues(long index, float value) {
  if (index == 69) {
    if (value < 999.0f) {
      int target = trunc32(value);
      learnTarget = (target >= 0 && target < kNumParams) ? target : -1;
    } else {
      int target = trunc32(value - 1000.0f);
      if (target >= 0 && target < kNumParams) storeCC(params_.params[target].midiCC, 0);
      if (synthEditor_) synthEditor_->readMidiCC();
    }
  } else if (index == 68 && value == 4.0f) {
    if (MessageBoxFor(this, "Forget Learned MidiCC?", "Warning!", 1)) {
      for (VstParams& p : params_.params) storeCC(p.midiCC, 0);
      if (synthEditor_) synthEditor_->readMidiCC();
    }
  }
}

float VstSynth::getParameter(VstInt32 index) { return DmVal(index); }

void VstSynth::getParameterLabel(VstInt32, char* label) { label[0] = 0; }

void VstSynth::getParameterDisplay(VstInt32 index, char* text) {
  // Hosts' buffers are small; unclamped values from a bank can be huge.
  std::snprintf(text, 16, "%.3f", DmVal(index));
}

void VstSynth::getParameterName(VstInt32 index, char* text) {
  if (index < 0 || index >= kNumParams) {
    text[0] = 0;
    return;
  }
  copyField(text, params_.params[index].name, sizeof(params_.params[index].name), 16);
}
