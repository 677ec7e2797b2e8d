#include "plugin/VstSynth.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "vst/AEffEditor.h"

using namespace vst;

namespace {

// Relaxed atomic access to one float of the parameter block: hosts set values
// from any thread while the audio thread reads them.
float loadValue(const float& slot) {
  return std::atomic_ref<float>(const_cast<float&>(slot)).load(std::memory_order_relaxed);
}
void storeValue(float& slot, float value) {
  std::atomic_ref<float>(slot).store(value, std::memory_order_relaxed);
}

// Copies a fixed-size field that a loaded bank may have left unterminated.
void copyField(char* out, const char* field, size_t fieldSize, size_t maxChars) {
  size_t n = strnlen(field, fieldSize);
  if (n > maxChars) n = maxChars;
  std::memcpy(out, field, n);
  out[n] = 0;
}

}  // namespace

VstSynth::VstSynth(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
  VstParametersInit();
  programsAreChunks(true);
  inInit = true;
  // The engine is assembled here; until then every host call is kept away.
  inInit = false;
  if (audioMaster) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    isSynth(true);
    setUniqueID(fourCC('k', 'Z', 'U', 'L'));
  }
  suspend();
}

VstSynth::~VstSynth() = default;

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
  for (VstProgram& program : params_.programs)
    for (int i = 0; i < kNumParams; ++i) program.values[i].value = params_.params[i].value;
}

int VstSynth::currentProgram() const {
  int p = std::atomic_ref<VstInt32>(const_cast<VstInt32&>(curProgram))
              .load(std::memory_order_relaxed);
  return (p >= 0 && p < kNumPrograms) ? p : 0;
}

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
  return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(params_.params[index].midiCC))
      .load(std::memory_order_relaxed);
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

  if (index == 30) {
    if (value == 0.0f)
      volumeFactor_ = 1.6f;
    else if (value == 1.0f)
      volumeFactor_ = 1.0f;
    else if (value == 2.0f)
      volumeFactor_ = 0.52f;
  }

  float* slot = valueSlot(index);
  if (slot) {
    if (!params_.params[index].unclamped) value = value > 1.0f ? 1.0f : (value < 0.0f ? 0.0f : value);
    storeValue(*slot, value);
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

void VstSynth::setProgramName(char* name) {
  VstProgram& program = params_.programs[currentProgram()];
  std::memset(program.name, 0, sizeof(program.name));
  // Longer names are cut so that the field stays terminated.
  copyField(program.name, name, sizeof(program.name) - 1, sizeof(program.name) - 1);
}

void VstSynth::getProgramName(char* name) {
  const VstProgram& program = params_.programs[currentProgram()];
  copyField(name, program.name, sizeof(program.name), sizeof(program.name) - 1);
}

bool VstSynth::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  const VstProgram& program = params_.programs[index];
  copyField(text, program.name, sizeof(program.name), sizeof(program.name) - 1);
  return true;
}

void VstSynth::getProgramNameN(char* text, int index) const {
  if (index < 0 || index >= kNumPrograms) {
    text[0] = 0;
    return;
  }
  std::memcpy(text, params_.programs[index].name, sizeof(params_.programs[index].name));
  text[sizeof(params_.programs[index].name) - 1] = 0;
}

bool VstSynth::copyProgram(VstInt32) { return false; }

void VstSynth::suspend() {}

void VstSynth::resume() {
  if (inInit) return;
  wantEvents(1);
}

void VstSynth::setSampleRate(float rate) { AudioEffectX::setSampleRate(rate); }

void VstSynth::setBlockSize(VstInt32 size) { AudioEffectX::setBlockSize(size); }

void VstSynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
  if (!outputs || sampleFrames <= 0) return;
  for (int ch = 0; ch < 2; ++ch)
    if (outputs[ch])
      std::memset(outputs[ch], 0, sizeof(float) * static_cast<size_t>(sampleFrames));
}

bool VstSynth::getEffectName(char* name) {
  std::memset(name, 0, kVstMaxEffectNameLen + 1);
  std::strcpy(name, kProductName);
  return true;
}

bool VstSynth::getVendorString(char* text) {
  std::strcpy(text, kVendorDomain);
  return true;
}

bool VstSynth::getProductString(char* text) {
  std::memset(text, 0, kVstMaxProductStrLen);
  std::strcpy(text, kProductName);
  return true;
}

VstInt32 VstSynth::canDo(char* text) {
  if (!std::strcmp(text, "receiveVstEvents") || !std::strcmp(text, "receiveVstMidiEvent"))
    return 1;
  return -1;
}

bool VstSynth::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  if (index < 0 || index > 1) return false;
  std::snprintf(properties->label, sizeof(properties->label), "%s %1d", kProductName, index + 1);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

VstIntPtr VstSynth::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float opt) {
  if (editor && index == fourCC('s', 't', 'C', 'A') && value == fourCC('W', 'h', 'e', 'e'))
    return editor->onWheel(opt) ? 1 : 0;
  return 0;
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new VstSynth(audioMaster);
}
