#include "plugin/VstSynth.h"

#include <cstdio>
#include <cstring>

using namespace vst;

namespace {
constexpr const char* kProductName = "Vellamor-ZUL";
constexpr const char* kVendorDomain = "quillmark.net";
}  // namespace

VstSynth::VstSynth(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
  programsAreChunks(true);
  if (audioMaster) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    isSynth(true);
    setUniqueID(fourCC('k', 'Z', 'U', 'L'));
  }
}

VstSynth::~VstSynth() = default;

void VstSynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
  if (!outputs || sampleFrames <= 0) return;
  for (int ch = 0; ch < 2; ++ch)
    if (outputs[ch]) std::memset(outputs[ch], 0, sizeof(float) * static_cast<size_t>(sampleFrames));
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

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new VstSynth(audioMaster);
}
