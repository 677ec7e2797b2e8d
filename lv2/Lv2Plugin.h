// One LV2 instance: the same engine object the VST 2.4 module builds,
// driven through its public VST operations. The adapter is the engine's host:
// it answers the engine's host callback from what the LV2 host told it (rate,
// block length, transport, freewheeling).
//
// Threads: creation, activation, state and destruction on the host's
// instantiation thread; connect and run on the audio thread, never at the
// same time as state restore (the LV2 threading classes); work on the host's
// worker thread; the editor calls on the host's UI thread.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "lv2/Lv2EditorAccess.h"
#include "lv2/Lv2Ports.h"
#include "vst/AEffect.h"

class VstSynth;

class Lv2Plugin {
 public:
  static constexpr const char* kUri = "https://quillmark.net/plugins/vellamor-zul";
  // State keys: the whole parameter block, the current program, one program
  // record (what a preset carries).
  static constexpr const char* kBankKey = "https://quillmark.net/plugins/vellamor-zul#bank";
  static constexpr const char* kProgramKey = "https://quillmark.net/plugins/vellamor-zul#program";
  static constexpr const char* kPresetKey = "https://quillmark.net/plugins/vellamor-zul#preset";
  static constexpr int kMaxEvents = 512;

  // Null without urid:map or when the rate is refused.
  static Lv2Plugin* create(double sampleRate, const LV2_Feature* const* features);
  ~Lv2Plugin();
  Lv2Plugin(const Lv2Plugin&) = delete;
  Lv2Plugin& operator=(const Lv2Plugin&) = delete;

  void connect(std::uint32_t port, void* data);
  void activate();
  void deactivate();
  void run(std::uint32_t frames);

  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  // The host's worker: sound-set and scale loads the audio thread asked for.
  LV2_Worker_Status work();

  // The editor, for the UI module (Lv2EditorAccess).
  unsigned long openEditor(unsigned long parent, const Lv2EditorListener* listener, float scale);
  void idleEditor();
  void closeEditor();
  void editorSize(int* width, int* height);
  void showParameter(int parameter, float value);

 private:
  Lv2Plugin() = default;
  static vst::VstIntPtr hostCallback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                     vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr answer(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, float opt);
  static void loadRequested(void* self);
  void readOptions(const LV2_Feature* const* features);
  void readControls();
  void readEvents(std::uint32_t frames);
  void readPosition(const LV2_Atom_Object* position, std::int64_t offset);
  void addMidi(const std::uint8_t* bytes, std::uint32_t size, std::int64_t offset,
               std::uint32_t frames);

  struct Uris {
    LV2_URID atomBlank, atomObject, atomChunk, atomInt, atomLong, atomFloat, atomDouble;
    LV2_URID midiEvent, timePosition, timeFrame, timeSpeed, timeBpm, timeBar, timeBarBeat,
        timeBeatsPerBar, timeBeatUnit;
    LV2_URID bufMax, bufNominal;
    LV2_URID bank, program, preset;
  } uris_{};
  LV2_Log_Logger logger_{};

  std::unique_ptr<VstSynth> synth_;
  double sampleRate_ = 44100.0;
  int blockSize_ = 1024;

  const LV2_Atom_Sequence* events_ = nullptr;
  float* outputs_[2] = {nullptr, nullptr};
  const float* controls_[Lv2Ports::kControls] = {};
  const float* freewheel_ = nullptr;
  // Control values last handed to the engine. After a state restore the next
  // port values are taken as they are: the restored engine already holds them.
  float applied_[Lv2Ports::kControls] = {};
  bool applyAll_ = true;
  bool adoptPorts_ = false;
  // The SoundSet port moved: the set is loaded by choosing the program again.
  static constexpr int kSoundSetParameter = 24;
  bool reapplyProgram_ = false;
  std::atomic<bool> offline_{false};

  // The host's worker, when it offers one; asked only from inside run.
  const LV2_Worker_Schedule* schedule_ = nullptr;
  std::atomic<std::thread::id> runThread_{};

  // The UI's listener while the editor is open, and the thread it was opened
  // on: the editor's automation reaches the UI from there only (a learned
  // controller moving a value on the audio thread does not).
  const Lv2EditorListener* listener_ = nullptr;
  std::atomic<std::thread::id> uiThread_{};

  // Event list for the engine, built in run from storage made here.
  std::unique_ptr<std::uint8_t[]> eventList_;
  vst::VstMidiEvent midi_[kMaxEvents] = {};

  // Transport as last told by a time:Position, at the start of the next block.
  vst::VstTimeInfo time_{};
  bool haveTime_ = false;
  double speed_ = 0.0;
  double beatsPerBar_ = 4.0, beatUnit_ = 4.0, bar_ = 0.0, barBeat_ = 0.0;
};
