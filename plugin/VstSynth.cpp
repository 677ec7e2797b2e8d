#include "plugin/VstSynth.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "plugin/BankFile.h"
#include "support/BundleResources.h"
#include "support/FloatLanes.h"
#include "support/MessageBox.h"
#include "support/Preferences.h"
#include "vst/AEffEditor.h"
#include "support/VornMain.h"

using namespace vst;

namespace {

// Relaxed atomic access to one value of the parameter block: hosts set values
// from any thread while the audio thread reads them.
float loadValue(const float& slot) {
  return std::atomic_ref<float>(const_cast<float&>(slot)).load(std::memory_order_relaxed);
}
void storeValue(float& slot, float value) {
  std::atomic_ref<float>(slot).store(value, std::memory_order_relaxed);
}
std::int32_t loadCC(const std::int32_t& slot) {
  return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(slot))
      .load(std::memory_order_relaxed);
}
void storeCC(std::int32_t& slot, std::int32_t value) {
  std::atomic_ref<std::int32_t>(slot).store(value, std::memory_order_relaxed);
}

// Copies a fixed-size field that a loaded bank may have left unterminated.
void copyField(char* out, const char* field, size_t fieldSize, size_t maxChars) {
  size_t n = strnlen(field, fieldSize);
  if (n > maxChars) n = maxChars;
  std::memcpy(out, field, n);
  out[n] = 0;
}

// Whole part, defined for every float.
int trunc32(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483520.0f) return 2147483520;
  if (v <= -2147483520.0f) return -2147483520;
  return static_cast<int>(v);
}

static_assert(std::atomic<std::thread::id>::is_always_lock_free);

bool isCallingThread(const std::atomic<std::thread::id>& id) {
  return id.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

// Marks the calling thread as the one running the plug-in's audio callbacks
// while it lives: work that must not happen there (file I/O) is handed to the
// worker instead. Hosts may move their audio thread; the mark goes with the
// call, not with a thread.
class AudioThreadScope {
 public:
  explicit AudioThreadScope(std::atomic<std::thread::id>& owner)
      : owner_(owner),
        self_(std::this_thread::get_id()),
        previous_(owner.exchange(self_, std::memory_order_relaxed)) {}
  ~AudioThreadScope() {
    // Unless another thread took the mark meanwhile (a host calling from two
    // threads at once), hand back what was there: none, or ourselves when
    // nested.
    std::thread::id expected = self_;
    owner_.compare_exchange_strong(expected, previous_, std::memory_order_relaxed);
  }
  AudioThreadScope(const AudioThreadScope&) = delete;
  AudioThreadScope& operator=(const AudioThreadScope&) = delete;

 private:
  std::atomic<std::thread::id>& owner_;
  std::thread::id self_;
  std::thread::id previous_;
};

// Flush denormals to zero while we render and give the host its mode back.
class DenormalScope {
 public:
  DenormalScope() {
#if defined(__SSE__)
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | 0x8040u);  // FTZ | DAZ
#endif
  }
  ~DenormalScope() {
#if defined(__SSE__)
    _mm_setcsr(saved_);
#endif
  }

 private:
  unsigned int saved_ = 0;
};

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
    if (isCallingThread(audioThread_))
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

// Programs -------------------------------------------------------------------

void VstSynth::setProgram(VstInt32 program) {
  if (program < 0 || program >= kNumPrograms) return;
  // A switch already under way on this thread (the editor answering one):
  // nothing more to do.
  if (isCallingThread(programThread_)) return;
  if (inSetProgram.exchange(true)) {
    // Under way on another thread. The audio thread never waits: its switch
    // (a MIDI program change) is made at the start of the next block. A
    // control thread waits for the audio thread's switch, which is short.
    if (isCallingThread(audioThread_)) {
      pendingProgram_.store(program, std::memory_order_release);
      return;
    }
    while (inSetProgram.exchange(true)) std::this_thread::yield();
  }
  programThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  std::atomic_ref<VstInt32>(curProgram).store(program, std::memory_order_relaxed);
  for (int i = 0; i < kNumParams; ++i) {
    const VstParams& p = params_.params[i];
    float x = p.perProgram ? loadValue(params_.programs[program].values[i].value)
                           : loadValue(p.value);
    setParameter(i, x);
  }
  ExtraSetProgram();
  if (synthEditor_) synthEditor_->setPreset();
  programThread_.store(std::thread::id{}, std::memory_order_relaxed);
  inSetProgram = false;
  if (updateDisplay()) updateDisplay();
}

void VstSynth::ExtraSetProgram() {
  loadNewVORNsnd(trunc32(DmVal(24)));
  if (isCallingThread(audioThread_))
    worker_->requestScale();
  else
    applyScale();
  if (synthEditor_) synthEditor_->updateScale();
}

void VstSynth::applyScale() {
  char name[sizeof(VstProgram::scaleName) + 1];
  {
    std::lock_guard<std::mutex> lock(namesMutex_);
    copyField(name, params_.programs[currentProgram()].scaleName,
              sizeof(VstProgram::scaleName), sizeof(VstProgram::scaleName) - 1);
  }
  tuning_->setTable(name);
}

// Names: host's threads only, under the lock that chunk snapshots take.
void VstSynth::setProgramName(char* name) {
  std::lock_guard<std::mutex> lock(namesMutex_);
  VstProgram& program = params_.programs[currentProgram()];
  std::memset(program.name, 0, sizeof(program.name));
  // Longer names are cut so that the field stays terminated.
  copyField(program.name, name, sizeof(program.name) - 1, sizeof(program.name) - 1);
}

void VstSynth::getProgramName(char* name) {
  std::lock_guard<std::mutex> lock(namesMutex_);
  const VstProgram& program = params_.programs[currentProgram()];
  copyField(name, program.name, sizeof(program.name), sizeof(program.name) - 1);
}

bool VstSynth::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  std::lock_guard<std::mutex> lock(namesMutex_);
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

// Sound sets -----------------------------------------------------------------

void VstSynth::buildSoundSetList() { soundSets_.build(VornMain::soundDataPath()); }

void VstSynth::loadNewVORNsnd(long code) {
  if (isCallingThread(audioThread_)) {
    // No file I/O here: the worker loads it and the next blocks adopt it.
    if (code != currentSoundSet_.load(std::memory_order_acquire))
      worker_->requestSoundSet(static_cast<int>(code));
    return;
  }
  std::lock_guard<std::mutex> lock(loadMutex_);
  loadSoundSet(code);
}

void VstSynth::loadNewVORNsndpath(int kind, const char* path) {
  if (kind < 1 || kind > 3 || !path) return;
  std::lock_guard<std::mutex> lock(loadMutex_);
  // A fresh copy of the current set with one sound replaced; its loads raise
  // its own flag, which the instance takes over with the set.
  auto fresh = std::make_unique<SoundSetSounds>();
  long code = currentSoundSet_.load();
  int row = soundSets_.find(code);
  const char* kinds[3] = {"MainS", "Symp", "Drone"};
  VORNsnd* targets[3] = {&fresh->main, &fresh->symp, &fresh->drone};
  for (int k = 0; k < 3; ++k) {
    if (k == kind - 1) {
      targets[k]->loadVORNsnd(path);
    } else if (row >= 0) {
      std::string other = std::string(VornMain::soundDataPath()) +
                          soundSets_.entries()[row].name + "/" + kinds[k] + ".VORNsnd";
      targets[k]->loadVORNsnd(other.c_str());
    }
  }
  delete pendingSounds_.exchange(fresh.release(), std::memory_order_acq_rel);
}

// Control thread or worker, under loadMutex_.
void VstSynth::loadSoundSet(long code) {
  retireSounds();
  if (code == currentSoundSet_.load(std::memory_order_acquire)) return;
  int row = soundSets_.find(code);
  if (row < 0) return;
  // The set that plays keeps its flag until this one takes over.
  auto fresh = std::make_unique<SoundSetSounds>();
  const char* folder = soundSets_.entries()[row].name;
  char path[VornMain::kPathSize + 300];
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "MainS");
  fresh->main.loadVORNsnd(path);
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "Symp");
  fresh->symp.loadVORNsnd(path);
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "Drone");
  fresh->drone.loadVORNsnd(path);
  currentSoundSet_.store(code, std::memory_order_release);
  currentSoundSetRow_.store(row, std::memory_order_release);
  // A set that was never adopted is simply replaced.
  delete pendingSounds_.exchange(fresh.release(), std::memory_order_acq_rel);
  if (synthEditor_) synthEditor_->updateSoundSet(row);
}

void VstSynth::retireSounds() { delete retiredSounds_.exchange(nullptr, std::memory_order_acq_rel); }

void VstSynth::runWorkerJob(int soundSet, bool scale) {
  if (soundSet != EngineWorker::kNone) {
    // Asked for by the audio thread for the current program's set; a control
    // thread may have switched programs and loaded another set since. What
    // the program names now wins over what it named then.
    std::lock_guard<std::mutex> lock(loadMutex_);
    loadSoundSet(trunc32(DmVal(24)));
  }
  if (scale) {
    long k = pendingScale_.exchange(-1, std::memory_order_acq_rel);
    if (k >= 0) storeScaleName(k);
    applyScale();
    if (synthEditor_) synthEditor_->updateScale();
  }
  if (retiredSounds_.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(loadMutex_);
    retireSounds();
  }
}

// Audio thread, at a block boundary: play from a freshly loaded set. Voices
// that sound fade out on the old set, which stays alive until they have;
// every other voice, and every voice struck from now on, plays the new set.
void VstSynth::adoptPendingSounds() {
  finishVoiceSwitches();
  if (!pendingSounds_.load(std::memory_order_acquire)) return;
  // The old set goes back to be freed off this thread; with the slot still
  // taken, or an earlier set still fading, adopt a few milliseconds later.
  if (retiredSounds_.load(std::memory_order_acquire) || fadingSounds_) return;
  SoundSetSounds* fresh = pendingSounds_.exchange(nullptr, std::memory_order_acq_rel);
  if (!fresh) return;
  // Voices of a silenced set are not heard: nothing to fade.
  const bool wasSilent = soundStatus_.noWave();
  // The set's silence flag first: the oscillators restart under it.
  soundStatus_.takeOver(fresh->status);
  SoundSetSounds* old = activeSounds_.release();
  activeSounds_.reset(fresh);
  bool fading = false;
  for (int k = 0; k < kVoices; ++k) {
    ADSR& env = voiceEnvelope(k);
    // A sleeping renderer ticks no envelope, and without a wave the drone's
    // envelope stands still: nothing to hear, nothing to wait for.
    const bool still = idle || wasSilent || (k == 1 && soundStatus_.noWave());
    if (env.getState() == ADSR::kIdle || still) {
      if (still) env.Reset();
      voiceWave(k).setSound(voiceSound(k));
      switchPending_[k] = false;
    } else {
      env.fadeOut();
      switchPending_[k] = true;
      fading = true;
    }
  }
  pitchEnv->Reset();
  mainNotes->reset();
  sympNotes->reset();
  droneNotes->reset();
  if (fading)
    fadingSounds_ = old;
  else
    retiredSounds_.store(old, std::memory_order_release);
}

// Voices whose fade has ended move to the new set; once none reads the old
// one, it is handed back to be freed.
void VstSynth::finishVoiceSwitches() {
  if (!fadingSounds_) return;
  bool reading = false;
  for (int k = 0; k < kVoices; ++k) {
    if (!switchPending_[k]) continue;
    if (voiceEnvelope(k).getState() == ADSR::kIdle || idle) {
      voiceWave(k).setSound(voiceSound(k));
      switchPending_[k] = false;
    } else {
      reading = true;
    }
  }
  if (reading || retiredSounds_.load(std::memory_order_acquire)) return;
  retiredSounds_.store(fadingSounds_, std::memory_order_release);
  fadingSounds_ = nullptr;
}

// A voice struck while it still fades out on the old set takes the new one.
void VstSynth::takeNewSound(int k) {
  if (!switchPending_[k]) return;
  voiceWave(k).setSound(voiceSound(k));
  switchPending_[k] = false;
}

ADSR& VstSynth::voiceEnvelope(int k) {
  return k == 0 ? *mainEnv : (k == 1 ? *droneEnv : *sympEnvs[k - 2]);
}
Wavetable& VstSynth::voiceWave(int k) {
  return k == 0 ? *mainWave : (k == 1 ? *droneWave : *sympWaves[k - 2]);
}
VORNsnd* VstSynth::voiceSound(int k) {
  return k == 0 ? &activeSounds_->main : (k == 1 ? &activeSounds_->drone : &activeSounds_->symp);
}

void VstSynth::silenceVoices() {
  mainEnv->keyOff();
  droneEnv->Reset();
  pitchEnv->Reset();
  for (auto& env : sympEnvs) env->keyOff();
  mainNotes->reset();
  sympNotes->reset();
  droneNotes->reset();
}

// Banks, chunks and preferences ------------------------------------------------

namespace {
constexpr std::size_t kParamsBytes = sizeof(VstParams) * kNumParams;
constexpr std::size_t kProgramBytes = sizeof(VstProgram);
constexpr std::size_t kBlockBytes = sizeof(VstParameters);
constexpr std::size_t kFactoryBankBytes = kProgramBytes * kNumPrograms;

float readFloat(const std::uint8_t* p) {
  float v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
std::int32_t readInt(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
}  // namespace

void VstSynth::snapshotBlock(std::uint8_t* out) const {
  for (int i = 0; i < kNumParams; ++i) {
    // Field by field: value and controller may be stored meanwhile.
    const VstParams& src = params_.params[i];
    VstParams p;
    p.perProgram = src.perProgram;
    p.unclamped = src.unclamped;
    p.storedDefault = src.storedDefault;
    p.padding = src.padding;
    p.value = loadValue(src.value);
    p.midiCC = loadCC(src.midiCC);
    std::memcpy(p.name, src.name, sizeof(p.name));
    std::memcpy(out + i * sizeof(VstParams), &p, sizeof(p));
  }
  std::uint8_t* programs = out + kParamsBytes;
  // Names are written under this lock (the worker stores scale names).
  std::lock_guard<std::mutex> lock(namesMutex_);
  for (int k = 0; k < kNumPrograms; ++k) {
    const VstProgram& src = params_.programs[k];
    std::uint8_t* dst = programs + k * kProgramBytes;
    std::memcpy(dst, src.name, sizeof(src.name));
    std::memcpy(dst + offsetof(VstProgram, scaleName), src.scaleName, sizeof(src.scaleName));
    for (int i = 0; i < kNumParams; ++i) {
      float v = loadValue(src.values[i].value);
      std::memcpy(dst + offsetof(VstProgram, values) + i * sizeof(float), &v, sizeof(v));
    }
  }
}

// Files and host chunks are untrusted. The parameter table (flags and names)
// is the code's own and is never taken from them: a record marking Volume as
// unclamped would otherwise let a huge value through to the output. Values
// that are not finite become defaults, clamped parameters are clamped here
// already (the audio thread may read a value before it is applied), and
// controller numbers are kept to 0..127.
float VstSynth::restoredValue(int index, float v) const {
  if (!std::isfinite(v)) return defaults_[index];
  if (!params_.params[index].unclamped) v = v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v);
  return v;
}

void VstSynth::restoreParameters(const std::uint8_t* bytes) {
  for (int i = 0; i < kNumParams; ++i) {
    const std::uint8_t* r = bytes + i * sizeof(VstParams);
    VstParams& p = params_.params[i];
    storeValue(p.value, restoredValue(i, readFloat(r + offsetof(VstParams, value))));
    std::int32_t cc = readInt(r + offsetof(VstParams, midiCC));
    storeCC(p.midiCC, (cc >= 0 && cc <= 127) ? cc : 0);
  }
}

void VstSynth::restoreProgram(int index, const std::uint8_t* bytes) {
  VstProgram& p = params_.programs[index];
  {
    // The worker reads scale names (applyScale); names are whole or old.
    std::lock_guard<std::mutex> lock(namesMutex_);
    std::memcpy(p.name, bytes, sizeof(p.name));
    p.name[sizeof(p.name) - 1] = 0;
    std::memcpy(p.scaleName, bytes + offsetof(VstProgram, scaleName), sizeof(p.scaleName));
    p.scaleName[sizeof(p.scaleName) - 1] = 0;
  }
  for (int i = 0; i < kNumParams; ++i) {
    float v = readFloat(bytes + offsetof(VstProgram, values) + i * sizeof(float));
    storeValue(p.values[i].value, restoredValue(i, v));
  }
}

VstInt32 VstSynth::getChunk(void** data, bool isPreset) {
  if (isPreset) {
    chunk_.resize(kProgramBytes);
    std::vector<std::uint8_t> block(kBlockBytes);
    snapshotBlock(block.data());
    std::memcpy(chunk_.data(), block.data() + kParamsBytes + currentProgram() * kProgramBytes,
                kProgramBytes);
  } else {
    chunk_.resize(kBlockBytes);
    snapshotBlock(chunk_.data());
  }
  *data = chunk_.data();
  return static_cast<VstInt32>(chunk_.size());
}

VstInt32 VstSynth::setChunk(void* data, VstInt32 byteSize, bool) {
  if (!data) return 0;
  if (byteSize == static_cast<VstInt32>(kProgramBytes)) {
    restoreProgram(currentProgram(), static_cast<const std::uint8_t*>(data));
    setProgram(currentProgram());
    return 1;
  }
  // A restored project must sound as it was saved: apply what was loaded.
  if (!setChunkSynth(data, byteSize)) return 0;
  setProgram(currentProgram());
  return 1;
}

bool VstSynth::setChunkSynth(const void* data, int size) {
  if (!data || size != static_cast<int>(kBlockBytes)) {
    MessageBoxFor(this, "Can't load bank, wrong file size!", "Error!", 0);
    return false;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  restoreParameters(bytes);
  for (int k = 0; k < kNumPrograms; ++k)
    restoreProgram(k, bytes + kParamsBytes + k * kProgramBytes);
  return true;
}

void VstSynth::loadBank(int bank, bool tryUserDefault, bool ask) {
  std::vector<std::uint8_t> bytes;
  if (tryUserDefault &&
      (!ask || MessageBoxFor(this, "Reload from User-Default bank? (No = Loads Factory Bank)",
                             "Warning!", 1))) {
    char path[4024];
    if (!VornMain::buildNameInUserDataPath("Default.bnk", path, sizeof(path))) {
      MessageBoxFor(this, "Default bank path is too long.", "Error!", 0);
    } else {
      BankFile::Read r = BankFile::readExact(path, kBlockBytes, bytes);
      if (r == BankFile::Read::kSizeUnknown) {
        MessageBoxFor(this, "Can't load user default bank file", "error!", 0);
      } else if (r == BankFile::Read::kOk) {
        restoreParameters(bytes.data());
        for (int k = 0; k < kNumPrograms; ++k)
          restoreProgram(k, bytes.data() + kParamsBytes + k * kProgramBytes);
        return;
      }
    }
  }
  char name[32];
  std::snprintf(name, sizeof(name), "/res%05d.bnk", bank);
  std::string path = BundleResources::path() + name;
  BankFile::Read r = BankFile::readExact(path, kFactoryBankBytes, bytes);
  if (r == BankFile::Read::kSizeUnknown) {
    MessageBoxFor(this, "Can't load file", "error!", 0);
  } else if (r == BankFile::Read::kOk) {
    for (int k = 0; k < kNumPrograms; ++k) restoreProgram(k, bytes.data() + k * kProgramBytes);
  }
}

bool VstSynth::saveDefaultBank() {
  char path[4024];
  if (!VornMain::buildNameInUserDataPath("Default.bnk", path, sizeof(path))) return false;
  std::vector<std::uint8_t> block(kBlockBytes);
  snapshotBlock(block.data());
  return BankFile::writeAtomically(path, block.data(), block.size());
}

namespace {
// Stored defaults are kept as 10000 times the value, plus 1 so that 0 means
// "not stored".
constexpr double kStoredScale = 10000.0;

// The value behind a stored number. Thirds (the play and drone modes) are
// held to four decimals only: 2/3 as 6667 (cut, older files) or 6668
// (rounded). Within that much a mode value is the third it was.
float storedValue(int index, int stored) {
  const double v = (static_cast<double>(stored) - 1.0) / kStoredScale;
  if (index == 3 || index == 16) {
    const double thirds = std::round(3.0 * v);
    if (std::fabs(3.0 * v - thirds) <= 3.0 / kStoredScale)
      return static_cast<float>(thirds) / 3.0f;
  }
  return static_cast<float>(v);
}
}  // namespace

void VstSynth::readRegisteryDefaults() {
  // One read of the preference file for all 114 look-ups.
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  for (int i = 0; i < kNumParams; ++i) {
    char name[sizeof(VstParams::name)];
    copyField(name, params_.params[i].name, sizeof(name), sizeof(name) - 1);
    if (params_.params[i].storedDefault) {
      int s = prefs.getInt(name).value_or(0);
      if (s != 0) setParameter(i, storedValue(i, s));
    }
    int s = prefs.getInt(std::string("MidiCC-") + name).value_or(0);
    if (s != 0 && s - 1 >= 0 && s - 1 <= 127) storeCC(params_.params[i].midiCC, s - 1);
  }
}

bool VstSynth::saveControllerPresets() {
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  for (int i = 0; i < kNumParams; ++i) {
    char name[sizeof(VstParams::name)];
    copyField(name, params_.params[i].name, sizeof(name), sizeof(name) - 1);
    if (params_.params[i].storedDefault) {
      // Rounded, not cut: whole numbers and thirds come back as they were.
      double scaled = std::round(kStoredScale * DmVal(i));
      if (!std::isfinite(scaled)) scaled = 0.0;
      if (scaled > 2.0e9) scaled = 2.0e9;
      if (scaled < -2.0e9) scaled = -2.0e9;
      prefs.setInt(name, static_cast<int>(scaled) + 1);
    }
    prefs.setInt(std::string("MidiCC-") + name, getMidiCC(i) + 1);
  }
  return prefs.save();
}

void VstSynth::loadNewScale(long k) {
  if (isCallingThread(audioThread_)) {
    // The names are guarded by a lock the audio thread never takes: the
    // worker stores the name and loads the table.
    pendingScale_.store(k, std::memory_order_release);
    worker_->requestScale();
    return;
  }
  storeScaleName(k);
  applyScale();
}

// Control thread or worker.
void VstSynth::storeScaleName(long k) {
  const char* name = tuning_->getTableName(k);
  VstProgram& program = params_.programs[currentProgram()];
  std::lock_guard<std::mutex> lock(namesMutex_);
  std::memset(program.scaleName, 0, sizeof(program.scaleName));
  copyField(program.scaleName, name, sizeof(program.scaleName), sizeof(program.scaleName) - 1);
}

long VstSynth::CurrentScale() const {
  // The names' lock is never taken on the audio thread (an editor asks from
  // there after a MIDI program change): unknown there, and the worker tells
  // the editor once it has loaded the program's scale.
  if (isCallingThread(audioThread_)) return -1;
  char current[sizeof(VstProgram::scaleName)];
  {
    // The worker may be storing a name meanwhile.
    std::lock_guard<std::mutex> lock(namesMutex_);
    std::memcpy(current, params_.programs[currentProgram()].scaleName, sizeof(current));
  }
  for (long k = 0; k < tuning_->getSize(); ++k)
    if (std::strncmp(tuning_->getTableName(k), current, sizeof(VstProgram::scaleName)) == 0)
      return k;
  return 0;
}

void VstSynth::updatePresets() {
  if (!synthEditor_) return;
  for (int i = 0; i < kNumPrograms; ++i) {
    char name[sizeof(VstProgram::name)];
    copyField(name, params_.programs[i].name, sizeof(name), sizeof(name) - 1);
    char text[40];
    std::snprintf(text, sizeof(text), "%03d %s", i + 1, name);
    synthEditor_->setPresetEntry(i, text);
  }
  synthEditor_->setPreset();
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

// MIDI -----------------------------------------------------------------------

VstInt32 VstSynth::processEvents(VstEvents* list) {
  if (inInit) return 1;
  AudioThreadScope audio(audioThread_);
  events.take(list);
  return 1;
}

void VstSynth::EventsTick(int sampleCounter) {
  while (const MidiEventQueue::Event* e = events.nextDue(sampleCounter)) {
    eventHandled_ = true;
    EventsTickSynth(*e);
  }
}

void VstSynth::EventsTickSynth(const MidiEventQueue::Event& e) {
  int status = e.status & 0xF0;
  int data1 = e.data1 & 0x7F;
  int data2 = e.data2 & 0x7F;
  idle = false;
  switch (status) {
    case 0x80:
      noteOff(data1, data2);
      break;
    case 0x90:
      if (data2 == 0)
        noteOff(data1, data2);
      else
        setNote(data1, data2, true);
      break;
    case 0xA0:
      aftertouch(data2 / 127.0f);
      break;
    case 0xB0:
      learnController(data1, data2);
      break;
    case 0xC0:
      setProgram(data1);
      break;
    case 0xD0:
      aftertouch(data1 / 127.0f);
      break;
    case 0xE0:
      pitchBend(data1, data2);
      break;
    default:
      break;
  }
  if (DmVal(31) < 0.5f) aftertouchDepth = 0.0f;
}

void VstSynth::noteOff(int note, int velocity) {
  if (mainNotes->CheckNoteStillOn(note)) setNote(note, velocity, false);
  float droneType = DmVal(16);
  if (trunc32(3.0f * droneType + 0.5f) >= 2 && note < trunc32(DmVal(17)) + 24) droneEnv->keyOff();
}

void VstSynth::aftertouch(float pressure) {
  aftertouchDepth = (pressure > 0.0f && DmVal(31) > 0.5f) ? pressure * 0.5f : 0.0f;
}

void VstSynth::pitchBend(int data1, int data2) {
  // Both data bytes, centred on 8192, so a centred wheel bends by exactly 0.
  int value = (data2 << 7) | data1;
  float bend = static_cast<float>(value - 8192) / 8192.0f;
  int range = trunc32(DmVal(28) * 12.0f);
  mainWave->setPitchBend(bend, range + 1);
  mainWave->setRate();
}

void VstSynth::learnController(int controller, int data2) {
  int target = learnTarget.exchange(-1);
  if (target >= 0 && target < kNumParams) {
    storeCC(params_.params[target].midiCC, controller);
    if (synthEditor_) synthEditor_->readMidiCC();
  }
  if (controller != 0) {
    for (int i = 0; i < kNumParams; ++i) {
      if (loadCC(params_.params[i].midiCC) != controller) continue;
      float value = (i == 3 || i == 16) ? static_cast<float>(trunc32(2.0f * data2 / 127.0f)) / 3.0f
                                        : data2 / 127.0f;
      setParameter(i, value);
    }
  }
  if (controller == 123) allNotesOff();
}

void VstSynth::allNotesOff() {
  droneEnv->keyOff();
  silenceVoices();
  // The renderer sleeps until the next message; whatever that message is,
  // nothing stopped here may ring on: released voices and effect tails end.
  mainEnv->Reset();
  for (auto& env : sympEnvs) env->Reset();
  flanger->clear();
  reverb->mute();
  idle = true;
}

// Voice start ----------------------------------------------------------------

namespace {
// Random spread of a deviation menu: 3 low, 4 medium, 5 high, anything else none.
float menuAmount(float menuValue, float low, float medium, float high) {
  if (menuValue == 3.0f) return low;
  if (menuValue == 4.0f) return medium;
  if (menuValue == 5.0f) return high;
  return 0.0f;
}
}  // namespace

float VstSynth::Deviation() {
  return random_.unit() * menuAmount(DmVal(25), 0.005f, 0.012f, 0.032f);
}

void VstSynth::ToneDeviation() {
  setToneFilters(1.0f + random_.unit() * menuAmount(DmVal(26), 0.18f, 0.32f, 0.62f));
}

// The four stages of the tone band around ToneFreq, spread by ToneBand; k
// shifts the whole band (1 for the plain setting).
void VstSynth::setToneFilters(float k) {
  float f = DmVal(8), b = DmVal(9);
  toneFilterA->setFreq(0.894f * b + (1.0f - f) * k);
  toneFilterB->setFreq(0.4f * b + (1.0f - f) * k);
  toneFilterC->setFreq(-0.4f * b + (1.0f - f) * k);
  toneFilterD->setFreq(-0.894f * b + (1.0f - f) * k);
}

void VstSynth::setNote(int note, int velocity, bool on) {
  int t = modeOf(DmVal(16));
  int m = modeOf(DmVal(3));
  if (t > 2) t = 2;
  if (m > 2) m = 2;
  int split = trunc32(DmVal(17)) + 24;

  idle = false;
  reverb->setNotIdle();
  flanger->setNotIdle();
  if (t == 1) {
    takeNewSound(1);
    droneEnv->keyOn(127, 60);
  }
  bool playsMain = t != 2 || note >= split;
  bool playsDrone = t != 2 || note < split;

  if (on) {
    if (playsMain && mainNotes->noNotes()) {
      mainWave->resetGlider();
      if (mainEnv->getState() == ADSR::kIdle) mainEnv->setFirstAttack(10000);
    }
    if (playsDrone && droneEnv->getState() == ADSR::kIdle) droneEnv->setFirstAttack(10000);
    bool mainIdle = mainEnv->getState() == ADSR::kIdle;
    bool droneIdle = droneEnv->getState() == ADSR::kIdle;
    if (DmVal(7) > 0.0f && DmVal(26) > 0.0f) ToneDeviation();
    if (mainNotes->noNotes()) alternateCounter = -1;
    int mainSlot = -1;
    if (playsMain) mainSlot = mainNotes->NoteOn(note, velocity, mainEnvPtr);
    int sympSlot = sympNotes->NoteOn(note, velocity, sympEnvPtrs);
    if (playsDrone) droneNotes->NoteOn(note, velocity, droneEnvPtr);
    if (playsMain) {
      mainWave->setFine4(Deviation());
      mainWave->setFine3(tuning_->Tick(note));
    }
    if (m == 1) {
      alternateCounter += 1;
      if (alternateCounter > 1) {
        alternateCounter = 0;
        mainSlot = 0;
      }
      if (alternateCounter == 0) mainSlot = 0;
    }
    if (playsMain) {
      if (m == 2 || mainSlot != -1) {
        mainEnv->keyOn(velocity, note);
        pitchEnv->keyOn(velocity, 60);
        pitchModCounter = 0;
        takeNewSound(0);
        mainWave->setNote(note, velocity, true, mainIdle);
      } else {
        mainWave->setNote(note, velocity, false, mainIdle);
      }
      if (sympSlot >= 0 && sympSlot < kSympSlots) {
        takeNewSound(2 + sympSlot);
        Wavetable& wave = *sympWaves[sympSlot];
        wave.setFine4(Deviation());
        wave.setFine3(tuning_->Tick(note));
        bool sympIdle = sympEnvs[sympSlot]->getState() == ADSR::kIdle;
        wave.setNote((note % 12) + 36, velocity, true, sympIdle);
        sympEnvs[sympSlot]->keyOn(velocity, 60);
      }
    }
    if (t != 1 || droneEnv->getState() == ADSR::kIdle) takeNewSound(1);
    if (t == 0) {
      droneEnv->keyOn(velocity, 60);
      droneWave->setFine4(Deviation());
      droneWave->setFine3(tuning_->Tick(36));
      droneWave->setNote(36, velocity, true, droneIdle);
    } else if (t == 1) {
      droneWave->setNote(36, velocity, false, droneIdle);
    } else if (note < split) {
      droneEnv->keyOn(velocity, 60);
      droneWave->setFine4(Deviation());
      droneWave->setFine3(tuning_->Tick(note));
      droneWave->setNote(note - 12, velocity, true, droneIdle);
    }
    float r = DmVal(6);
    droneEnv->setReleaseTime(r * r + 0.06f);
    return;
  }

  int mainResult = playsMain ? mainNotes->NoteOff(note) : -1;
  int sympResult = sympNotes->NoteOff(note);
  int droneResult = playsDrone ? droneNotes->NoteOff(note) : -1;
  if (mainResult == 0) mainEnv->keyOff();
  if (sympResult >= 0 && sympResult < kSympSlots) sympEnvs[sympResult]->keyOff();
  if (droneResult == 0 && t != 1) droneEnv->keyOff();
  if (!playsMain) return;
  if (mainResult == 0) pitchEnv->keyOff();
  mainWave->setFine4(Deviation());
  mainWave->setFine3(tuning_->Tick(mainNotes->LastNote()));
  bool restart = m == 2 && mainWave->getLastNote() != mainNotes->LastNote();
  mainWave->setNote(mainNotes->LastNote(), mainNotes->LastVelocity(), restart, false);
}

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
  Wavetable& mainOsc = *mainWave;
  ADSR& mainEnvelope = *mainEnv;
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
    // A stretch in which the strings render ahead; the rest follows sample
    // by sample, in the order a single sample would take.
    const int frames = stretchLength(i, sampleFrames, r);
    const int stringsActive = renderStrings(frames);
    // With the reverb on, the stretch goes through it as a whole afterwards;
    // its idle test is then the one that counts, and it cannot pass inside
    // the stretch.
    const int first = i;
    float* dryL = r.reverbOn ? stretch_.left : outL + first - 1;
    float* dryR = r.reverbOn ? stretch_.right : outR + first - 1;
    int j = 0;
    for (; j < frames; ++j, ++i) {
      if (j > 0) {
        if (idle) break;
        l = vibratoLfo->tick();
      }
      bool active = j < stringsActive;
      float mainSumNow = 0.0f;
      const float sympSumNow = stretch_.sympathetic[j];
      const float droneSumNow = stretch_.drone[j];
      if (mainEnvelope.getState() != ADSR::kIdle) {
        active = true;
        if (pitchModCounter <= 10) {
          ++pitchModCounter;
        } else {
          pitchModCounter = 0;
          if (r.pitchOffset != 0.5f && r.pitchTime > 0.0f) {
            float e = pitchEnv->tick();
            float o = 2.0f * r.pitchOffset - 1.0f;
            if (!r.vibratoFx) {
              mainOsc.setPitchEnv(o * e, 5);
            } else {
              float a = aftertouchDepth;
              mainOsc.setPitchLfo((1.0f + e + a) * 0.5f * l * (2.0f * a + o), 1);
            }
            mainOsc.setRate();
          }
        }
        float w = mainOsc.tick();
        mainSumNow += w * mainEnvelope.tick();
      }
      left = right = 0.0f;
      if (active) {
        const float s = r.sympathetic, d = r.drone, g = r.volume;
        float mix;
        if (r.followMain) {
          float e = followFilter->tick(std::fabs(mainSumNow));
          mix = g * (mainSumNow + 0.5f * (e + 0.04f) * sympSumNow * s + 0.5f * droneSumNow * d);
        } else {
          mix = g * (mainSumNow + 0.5f * sympSumNow * s + 0.5f * droneSumNow * d);
        }
        left = mix * r.gain;
        if (r.toneBand) {
          float x = left;
          float y = toneFilterD->tick(toneFilterC->tick(toneFilterB->tick(toneFilterA->tick(x))));
          left = x - y;
        }
        right = left;
      } else if (!r.reverbOn) {
        idle = true;
      }
      mainSum = mainSumNow;
      sympSum = sympSumNow;
      droneSum = droneSumNow;
      voiceActive = active;
      if (r.flangerOn) {
        const float m = r.flangerMix;
        float* p = flanger->tick(left, r.combined);
        left = p[0] * m + (2.0f * m - 1.0f) * left;
        right = p[1] * m + (2.0f * m - 1.0f) * right;
        if (!r.reverbOn) idle = flanger->Idle();
      }
      dryL[j] = left;
      dryR[j] = right;
    }
    if (r.reverbOn) {
      reverb->processBlock(stretch_.left, stretch_.right, outL + first - 1, outR + first - 1, j);
      idle = reverb->Idle();
      left = outL[i - 2];
      right = outR[i - 2];
    }
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
