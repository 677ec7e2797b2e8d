// The plug-in object the host sees: identity, parameters, programs and the
// whole sound engine.
//
// Threads:
// - construction, destruction, names, programs, banks and chunks: the host's
//   main thread (control thread);
// - processEvents/processReplacing and everything MIDI triggers: the audio
//   thread;
// - setParameter/getParameter: any thread. The value is stored at once; the
//   part of a change that touches the voices is applied on the audio thread
//   (at once when called there, else at the start of the next block).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fx/Flanger.h"
#include "fx/LFOx.h"
#include "fx/revmodel.h"
#include "perform/ADSR.h"
#include "perform/MicroTuning.h"
#include "perform/MidiEventQueue.h"
#include "perform/MidiNote.h"
#include "perform/RandomSource.h"
#include "plugin/EngineWorker.h"
#include "plugin/SoundSetList.h"
#include "plugin/SoundSetSounds.h"
#include "plugin/SynthEditor.h"
#include "plugin/VstParameters.h"
#include "sound/FilterOneP.h"
#include "sound/SoundStatus.h"
#include "sound/Wavetable.h"
#include "support/MessageBox.h"
#include "vst/AudioEffectX.h"

class VstSynth : public vst::AudioEffectX {
 public:
  static constexpr int kSympSlots = 13;
  static constexpr const char* kProductName = "Vellamor-ZUL";
  static constexpr const char* kVendorDomain = "quillmark.net";
  // Sample rates accepted from a host; others are refused.
  static constexpr float kMinSampleRate = 8000.0f;
  static constexpr float kMaxSampleRate = 768000.0f;

  // The module sets this so that every instance gets an editor; tests that
  // link the engine alone leave it empty. The editor registers itself with
  // the effect (setEditor) and implements SynthEditor.
  using EditorFactory = vst::AEffEditor* (*)(VstSynth* synth);
  static void setEditorFactory(EditorFactory factory);

  explicit VstSynth(vst::audioMasterCallback audioMaster);
  ~VstSynth() override;

  // Lifecycle (control thread).
  void suspend() override;
  void resume() override;
  void setSampleRate(float rate) override;
  void setBlockSize(vst::VstInt32 size) override;

  // Audio thread.
  void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
  vst::VstInt32 processEvents(vst::VstEvents* events) override;
  virtual void EventsTick(int sampleCounter);

  // Parameters (any thread).
  void setParameter(vst::VstInt32 index, float value) override;
  float getParameter(vst::VstInt32 index) override;
  void getParameterLabel(vst::VstInt32 index, char* label) override;
  void getParameterDisplay(vst::VstInt32 index, char* text) override;
  void getParameterName(vst::VstInt32 index, char* text) override;
  float DmVal(long index) const;
  int getMidiCC(long index) const;

  // Programs (control thread; also the audio thread for MIDI program changes).
  // From the audio thread while another thread switches, the switch is
  // made at the start of the next block.
  void setProgram(vst::VstInt32 program) override;
  vst::VstInt32 getProgram() override { return currentProgram(); }
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text) override;
  void getProgramNameN(char* text, int index) const;
  bool copyProgram(vst::VstInt32 destination) override;
  // Entry texts of the preset menu, handed to the editor.
  void updatePresets();

  // Banks, chunks and preferences (control thread).
  vst::VstInt32 getChunk(void** data, bool isPreset) override;
  vst::VstInt32 setChunk(void* data, vst::VstInt32 byteSize, bool isPreset) override;
  // Replaces the whole parameter block (39428 bytes); nothing is applied.
  bool setChunkSynth(const void* data, int size);
  void loadBank(int bank, bool tryUserDefault, bool ask);
  void readRegisteryDefaults();
  // The whole block as "Default.bnk", written atomically.
  bool saveDefaultBank();
  // Stored-default parameters and learned controllers into the preferences.
  bool saveControllerPresets();
  // Scale table k becomes the current program's scale. Control thread; from
  // the audio thread the worker stores and loads it a few milliseconds later.
  void loadNewScale(long k);
  long CurrentScale() const;

  // Sound sets (control thread).
  void buildSoundSetList();
  const SoundSetEntry* getSoundSetList() const { return soundSets_.entries(); }
  // Loads the set with this code; from the audio thread it is only requested.
  void loadNewVORNsnd(long code);
  void loadNewVORNsndpath(int kind, const char* path);
  long currentSoundSet() const { return currentSoundSet_.load(std::memory_order_acquire); }
  bool soundSilenced() const { return soundStatus_.noWave(); }
  // Control thread: waits until loads asked for by the audio thread are done.
  void waitForLoads() { worker_->drain(); }
  // For hosts with a worker thread of their own: notify hears of every load
  // the audio thread asks for (set it before processing starts); serveLoads
  // then does them on the host's worker.
  void setLoadNotify(EngineWorker::Notify notify, void* context) { worker_->setNotify(notify, context); }
  void serveLoads() { worker_->serve(); }

  // Micro-tuning.
  MicroTuning& tuning() { return *tuning_; }

  // Identity and capabilities.
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  vst::VstInt32 getVendorVersion() override { return 1; }
  vst::VstInt32 canDo(char* text) override;
  vst::VstInt32 getNumMidiInputChannels() override { return 1; }
  vst::VstInt32 getNumMidiOutputChannels() override { return 0; }
  bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties) override;
  vst::VstIntPtr vendorSpecific(vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                float opt) override;

  // Output gain chosen by VolumeType (1.6, 1.0 or 0.52).
  float volumeFactor() const { return volumeFactor_.load(std::memory_order_relaxed); }
  // The raw parameter block, for banks, chunks and tests.
  const VstParameters& parameterBlock() const { return params_; }
  // The built-in parameter table (names, flags, defaults), from an engine
  // built for the purpose. What that engine reports goes to `messages`, or
  // nowhere when it is null. Control thread, for tools.
  static void builtInParameters(VstParams (&table)[kNumParams], MessageBoxHandler* messages = nullptr);
  bool isIdle() const { return idle; }

 protected:
  // Audio thread.
  void DoProcess(float** inputs, float** outputs, vst::VstInt32 sampleFrames);
  void EventsTickSynth(const MidiEventQueue::Event& event);
  void setNote(int note, int velocity, bool on);
  float Deviation();
  void ToneDeviation();
  void setToneFilters(float k);
  void updateValues();
  void menuValues(long index, float value);
  void ExtraSetProgram();

 private:
  void initProcess();
  void globalInit();
  void applyEngineRate(float rate);
  void VstParametersInit();
  void SetVstP(long index, const char* name, float value, bool perProgram, bool unclamped,
               bool storedDefault);
  void snapshotBlock(std::uint8_t* out) const;
  float restoredValue(int index, float v) const;
  void restoreParameters(const std::uint8_t* bytes);
  void restoreProgram(int index, const std::uint8_t* bytes);
  float* valueSlot(long index);
  const float* valueSlot(long index) const;
  int currentProgram() const;
  static int modeOf(float value);

  // Parameter values of the render loop (audio thread).
  struct RenderParams {
    float pitchOffset, pitchTime, drone, sympathetic, volume, flangerMix, gain;
    bool vibratoFx, followMain, toneBand, flangerOn, combined, reverbOn;
  };
  void readRenderParams(RenderParams& r) const;
  // Longest stretch from sample counter i that no event, block end or
  // effect turning idle can interrupt.
  int stretchLength(int i, int sampleFrames, const RenderParams& r) const;
  // Sympathetic strings and drone over a stretch, into stretch_; returns how
  // many of its samples start with one of them sounding.
  int renderStrings(int frames);
  // The main voice over a stretch, into stretch_.main, until its envelope
  // falls idle; returns how many samples it sounded. l is the vibrato at
  // the stretch's first sample; it runs on for the others.
  int renderMain(int frames, float l, const RenderParams& r);
  // Main voice, strings and drone mixed, then the tone band: n mono samples.
  void mixStretch(float* out, int n, const RenderParams& r);

  // Engine application of a stored value (audio thread).
  void applyParameter(long index, float v);
  void applyPendingParameters();
  void adoptPendingSounds();
  void silenceVoices();
  void applyScale();
  void storeScaleName(long k);
  void runWorkerJob(int soundSet, bool scale);
  void loadSoundSet(long code);
  void noteOff(int note, int velocity);
  void learnController(int controller, int data2);
  void allNotesOff();
  void aftertouch(float pressure);
  void pitchBend(int data1, int data2);
  void retireSounds();
  SynthEditor* synthEditor() const { return synthEditor_; }

  VstParameters params_;
  float defaults_[kNumParams] = {};
  std::vector<std::uint8_t> chunk_;  // what getChunk handed out last
  std::atomic<bool> inInit{true};
  std::atomic<bool> inSetProgram{false};
  // The thread inside processEvents/processReplacing and the thread inside
  // setProgram (no thread otherwise). Not thread-locals: those of a loaded
  // module are allocated on each thread's first use.
  std::atomic<std::thread::id> audioThread_{};
  std::atomic<std::thread::id> programThread_{};
  std::atomic<int> pendingProgram_{-1};  // a deferred MIDI program change
  std::atomic<long> pendingScale_{-1};   // a scale chosen on the audio thread
  std::atomic<float> volumeFactor_{0.5f};

  // Engine (created by initProcess).
  SoundStatus soundStatus_;
  std::unique_ptr<SoundSetSounds> activeSounds_;
  std::atomic<SoundSetSounds*> pendingSounds_{nullptr};
  std::atomic<SoundSetSounds*> retiredSounds_{nullptr};
  std::unique_ptr<Wavetable> mainWave;
  std::unique_ptr<Wavetable> sympWaves[kSympSlots];
  std::unique_ptr<Wavetable> droneWave;
  std::unique_ptr<ADSR> mainEnv, droneEnv, pitchEnv;
  std::unique_ptr<ADSR> sympEnvs[kSympSlots];
  ADSR* sympEnvPtrs[kSympSlots] = {};
  ADSR* mainEnvPtr[1] = {};
  ADSR* droneEnvPtr[1] = {};
  std::unique_ptr<MidiNote> mainNotes, sympNotes, droneNotes;
  std::unique_ptr<FilterOneP> toneFilterA, toneFilterB, toneFilterC, toneFilterD, followFilter;
  std::unique_ptr<MicroTuning> tuning_;
  std::unique_ptr<LFOx> vibratoLfo;
  std::unique_ptr<Flanger> flanger;
  std::unique_ptr<revmodel> reverb;
  std::unique_ptr<EngineWorker> worker_;

  // Renderer state (audio thread).
  float frame[2] = {0.0f, 0.0f};
  // Scratch of one stretch (audio thread): the strings' envelopes, oscillator
  // output and sums, and the reverb's input.
  static constexpr int kStretch = 128;
  struct StretchBuffers {
    float envelope[kSympSlots + 1][kStretch];
    float wave[kStretch];
    float sympathetic[kStretch];
    float drone[kStretch];
    float main[kStretch];
    float left[kStretch];  // the reverb's input
    float right[kStretch];
  } stretch_;
  float mainSum = 0.0f, sympSum = 0.0f, droneSum = 0.0f;
  bool voiceActive = false;
  bool idle = true;
  bool flangerRunning_ = false;  // FlangerOn as last applied
  double appliedSampleRate = 44100.0;
  double lastSamplePos = -1.0;
  int pitchModCounter = 0;
  float aftertouchDepth = 0.0f;
  int sympatheticCount = 12;
  int alternateCounter = -1;
  bool eventHandled_ = false;  // EventsTick released an event
  MidiEventQueue events;
  RandomSource random_;

  // Parameter hand-over to the audio thread: one bit per index 0..56.
  std::atomic<std::uint64_t> dirtyParameters_{0};
  std::atomic<int> learnTarget{-1};

  // Sound sets.
  SoundSetList soundSets_;
  std::atomic<long> currentSoundSet_{-1};
  std::atomic<long> currentSoundSetRow_{-1};
  std::mutex loadMutex_;  // control threads and the worker; never the audio thread
  // Program and scale names: written on the control thread, scale names read
  // by the worker. Never the audio thread.
  mutable std::mutex namesMutex_;

  SynthEditor* synthEditor_ = nullptr;

  // Voices by number: 0 main, 1 drone, 2.. the sympathetic strings.
  static constexpr int kVoices = kSympSlots + 2;
  void finishVoiceSwitches();
  void takeNewSound(int voice);
  ADSR& voiceEnvelope(int voice);
  Wavetable& voiceWave(int voice);
  VORNsnd* voiceSound(int voice);
  // The set replaced while some voices still fade out on it (audio thread).
  SoundSetSounds* fadingSounds_ = nullptr;
  bool switchPending_[kVoices] = {};
  // The Drone level the mix keeps while the drone fades out (it may have
  // been turned down to 0 for the fade): written by readRenderParams.
  mutable float heldDroneLevel_ = 0.0f;
};
