// VstSynth: construction and teardown, the engine's sample rate, the
// lifecycle calls and what the plug-in tells the host about itself.
//
// Threads: construction and destruction on the host's main thread; the
// lifecycle calls on whatever thread the host uses for them (never during
// processing); vendorSpecific from the host's GUI or main thread.
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
#include "plugin/BankFile.h"
#include "support/BundleResources.h"
#include "support/VornMain.h"
#include "vst/AEffEditor.h"

using namespace vst;
using namespace synth_util;

namespace {
VstSynth::EditorFactory g_editorFactory = nullptr;
}  // namespace

void VstSynth::setEditorFactory(EditorFactory factory) { g_editorFactory = factory; }

// Construction ---------------------------------------------------------------

VstSynth::VstSynth(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
  VstParametersInit();
  programsAreChunks(true);
  inInit = true;
  initProcess();
  if (audioMaster) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    isSynth(true);
    setUniqueID(fourCC('k', 'Z', 'U', 'L'));
  }
  loadBank(165, true, false);
  if (g_editorFactory) {
    vst::AEffEditor* created = g_editorFactory(this);
    if (created && created != editor) setEditor(created);
    synthEditor_ = dynamic_cast<SynthEditor*>(editor);
  }
  suspend();
  readRegisteryDefaults();
  // The loaded bank's first program is what the user sees: let it sound so.
  setProgram(curProgram);
}

VstSynth::~VstSynth() {
  // The worker may be loading, and a load ends by telling the editor: stop
  // it before the editor goes. The editor reads the engine; it goes next.
  worker_.reset();
  synthEditor_ = nullptr;
  delete editor;
  editor = nullptr;
  delete pendingSounds_.exchange(nullptr);
  delete retiredSounds_.exchange(nullptr);
  delete fadingSounds_;
}

void VstSynth::globalInit() {
  inSetProgram = false;
  learnTarget = -1;
  volumeFactor_ = 0.5f;
  updateSampleRate();
  appliedSampleRate = sampleRate;
  idle = true;
  events.clear();
  sympatheticCount = 12;
}

void VstSynth::initProcess() {
  inInit = true;
  globalInit();
  VornMain::setDataPaths("Vellamor");
  buildSoundSetList();
  activeSounds_ = std::make_unique<SoundSetSounds>(&soundStatus_);
  currentSoundSet_ = -1;
  lastSamplePos = -1.0;

  mainNotes = std::make_unique<MidiNote>();
  sympNotes = std::make_unique<MidiNote>();
  droneNotes = std::make_unique<MidiNote>();
  mainNotes->setVoices(1);
  sympNotes->setVoices(sympatheticCount);
  droneNotes->setVoices(1);

  frame[0] = frame[1] = 0.0f;
  mainSum = sympSum = droneSum = 0.0f;

  reverb = std::make_unique<revmodel>();
  flanger = std::make_unique<Flanger>();

  mainEnv = std::make_unique<ADSR>();
  mainEnv->setAttackTime(0.0001f);
  mainEnv->setDecayTime(0.0f);
  mainEnv->setSustainLevel(1.0f);
  mainEnv->setReleaseTime(0.3f);
  mainEnv->setMonoMode(true);
  mainEnv->setVelocitySmoth(true, 20);
  mainEnv->keyOff();
  mainEnv->setVelocity(1.0f);

  pitchEnv = std::make_unique<ADSR>();
  pitchEnv->setAttackTime(0.001f);
  pitchEnv->setDecayTime(0.0f);
  pitchEnv->setSustainLevel(0.0f);
  pitchEnv->setReleaseTime(0.0f);
  pitchEnv->keyOff();

  droneEnv = std::make_unique<ADSR>();
  droneEnv->setAttackTime(0.0001f);
  droneEnv->setDecayTime(0.0f);
  droneEnv->setSustainLevel(1.0f);
  droneEnv->setReleaseTime(0.23f);
  droneEnv->setVelocitySmoth(true, 20);
  droneEnv->setMonoMode(true);
  droneEnv->keyOff();

  mainWave = std::make_unique<Wavetable>(&activeSounds_->main, &soundStatus_);
  droneWave = std::make_unique<Wavetable>(&activeSounds_->drone, &soundStatus_);
  droneWave->setNote(36, 0, true, true);

  toneFilterA = std::make_unique<FilterOneP>();
  toneFilterA->setType(0);
  tuning_ = std::make_unique<MicroTuning>();
  toneFilterB = std::make_unique<FilterOneP>();
  toneFilterB->setType(0);
  toneFilterC = std::make_unique<FilterOneP>();
  toneFilterC->setType(1);
  toneFilterD = std::make_unique<FilterOneP>();
  toneFilterD->setType(1);
  followFilter = std::make_unique<FilterOneP>();
  followFilter->setType(0);
  updateValues();
  pitchModCounter = 0;

  for (int i = 0; i < kSympSlots; ++i) {
    sympEnvs[i] = std::make_unique<ADSR>();
    sympEnvs[i]->setAttackTime(0.08f);
    sympEnvs[i]->setDecayTime(0.0f);
    sympEnvs[i]->setSustainLevel(1.0f);
    sympEnvs[i]->setReleaseTime(0.3f);
    sympEnvs[i]->keyOff();
    sympEnvs[i]->setVelocity(1.0f);
    sympEnvPtrs[i] = sympEnvs[i].get();
    sympWaves[i] = std::make_unique<Wavetable>(&activeSounds_->symp, &soundStatus_);
  }
  mainEnvPtr[0] = mainEnv.get();
  droneEnvPtr[0] = droneEnv.get();

  vibratoLfo = std::make_unique<LFOx>();
  aftertouchDepth = 0.0f;
  vibratoLfo->setPureRate(5.0f);

  worker_ = std::make_unique<EngineWorker>(
      [this](int soundSet, bool scale) { runWorkerJob(soundSet, scale); });

  applyEngineRate(static_cast<float>(appliedSampleRate));
  updateValues();
  inInit = false;
  setProgram(0);
}

// Every engine object plays at this instance's rate; nothing else sets it,
// so other instances and sound-set loads leave it alone. Audio thread at a
// block start, or while the engine is built.
void VstSynth::applyEngineRate(float rate) {
  mainWave->setSampleRate(rate);
  droneWave->setSampleRate(rate);
  for (auto& wave : sympWaves) wave->setSampleRate(rate);
  mainEnv->setSampleRate(rate);
  droneEnv->setSampleRate(rate);
  pitchEnv->setSampleRate(rate);
  for (auto& env : sympEnvs) env->setSampleRate(rate);
  for (FilterOneP* f : {toneFilterA.get(), toneFilterB.get(), toneFilterC.get(), toneFilterD.get(),
                        followFilter.get()})
    f->setSampleRate(rate);
  vibratoLfo->setSampleRate(rate);
  flanger->setSampleRate(rate);
  reverb->updateSamplerate(true, rate);
}

void VstSynth::updateValues() {
  toneFilterA->setPureFreq(2100.0f);
  toneFilterB->setPureFreq(2100.0f);
  toneFilterC->setPureFreq(2100.0f);
  toneFilterD->setPureFreq(2100.0f);
  followFilter->setPureFreq(40.0f);
}

// Lifecycle ------------------------------------------------------------------

void VstSynth::suspend() {}

void VstSynth::resume() {
  if (inInit) return;
  wantEvents(1);
  reverb->mute();
}

void VstSynth::setSampleRate(float rate) {
  // The renderer compares rates every block; a NaN would re-apply forever,
  // and rates far outside what audio hardware runs at overflow the delay
  // lengths derived from them. Such rates are refused; the old one stays.
  if (!(std::isfinite(rate) && rate >= kMinSampleRate && rate <= kMaxSampleRate)) return;
  AudioEffectX::setSampleRate(rate);
}

void VstSynth::setBlockSize(VstInt32 size) { AudioEffectX::setBlockSize(size); }

// Identity -------------------------------------------------------------------

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
  // Whether there is anything to play, for hosts that render unattended:
  // 1 yes; -1 no sound-set folder found, -2 the program's set is not among
  // them, -3 a sound file failed to load and the voices are silent.
  if (index == fourCC('V', 'Z', 'U', 'L') && value == fourCC('S', 'n', 'd', 's')) {
    if (soundSets_.count() == 0) return -1;
    if (currentSoundSet() < 0) return -2;
    // A set loaded but not yet taken over speaks for what will play; sets
    // are only freed under the loading lock.
    std::lock_guard<std::mutex> lock(loadMutex_);
    const SoundSetSounds* next = pendingSounds_.load(std::memory_order_acquire);
    return (next ? next->status.noWave() : soundSilenced()) ? -3 : 1;
  }
  return 0;
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new VstSynth(audioMaster);
}
