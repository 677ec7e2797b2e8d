// One plug-in instance hosted the way a DAW does it: created through the
// module entry with our callback, opened, told the sample rate and block
// size, driven through the dispatcher, fed MIDI and asked for audio in blocks.
// The destructor suspends it if needed, closes it and lets the module go.
//
// Callbacks reach the right instance even while the plug-in is still being
// built inside its entry (the host does not know the AEffect yet then).
//
// Threads: load, destruction and the dispatcher helpers from one control
// thread; processBlock/render/sendEvents from one audio thread (may be the
// same thread); setParameter/getParameter from any. Callbacks from the
// plug-in may come from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/HostRecorder.h"
#include "host/HostTimeline.h"
#include "host/MidiEventList.h"
#include "host/PluginModule.h"
#include "vst/AEffect.h"

namespace host {

struct HostSettings {
  double sampleRate = 44100.0;
  int blockSize = 512;
  double tempo = 120.0;
  // Rendering to a file rather than to a sound card: the host says so when
  // asked for its process level, and the plug-in may take its time.
  bool offline = false;
};

struct RenderedAudio {
  std::vector<float> left;
  std::vector<float> right;
  // Scheduled events that fell outside [0, frames) and were not sent.
  int droppedEvents = 0;
  std::size_t frames() const { return left.size(); }
};

class HostedPlugin {
 public:
  // Null on failure, with a sentence for a person in error.
  static std::unique_ptr<HostedPlugin> load(const std::string& path, std::string& error,
                                            const HostSettings& settings = {});
  static std::unique_ptr<HostedPlugin> load(std::shared_ptr<PluginModule> module,
                                            std::string& error,
                                            const HostSettings& settings = {});
  ~HostedPlugin();
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  vst::AEffect* effect() const { return effect_; }
  const PluginModule& module() const { return *module_; }
  vst::VstIntPtr dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f);

  // What the AEffect record says.
  int numPrograms() const { return effect_->numPrograms; }
  int numParams() const { return effect_->numParams; }
  int numInputs() const { return effect_->numInputs; }
  int numOutputs() const { return effect_->numOutputs; }
  vst::VstInt32 flags() const { return effect_->flags; }
  bool hasFlag(vst::VstInt32 flag) const { return (effect_->flags & flag) == flag; }
  vst::VstInt32 uniqueId() const { return effect_->uniqueID; }
  vst::VstInt32 version() const { return effect_->version; }

  // Identity and capabilities.
  std::string effectName();
  std::string vendorString();
  std::string productString();
  vst::VstIntPtr vendorVersion();
  vst::VstIntPtr vstVersion();
  vst::VstIntPtr plugCategory();
  vst::VstIntPtr numMidiInputChannels();
  vst::VstIntPtr numMidiOutputChannels();
  vst::VstIntPtr canDo(const std::string& capability);
  std::optional<vst::VstPinProperties> outputProperties(int index);
  std::optional<vst::VstPinProperties> inputProperties(int index);
  vst::VstIntPtr vendorSpecific(vst::VstInt32 index, vst::VstIntPtr value, void* ptr = nullptr,
                                float opt = 0.0f);

  // Parameters (values pass unchanged, NaN included: tests probe with them).
  float getParameter(int index);
  void setParameter(int index, float value);
  std::string parameterName(int index);
  std::string parameterLabel(int index);
  std::string parameterDisplay(int index);
  bool canBeAutomated(int index);
  bool string2parameter(int index, const std::string& text);

  // Programs.
  void setProgram(int program);
  int program();
  std::string programName();
  void setProgramName(const std::string& name);
  // Empty when the plug-in does not answer.
  std::string programNameIndexed(int program, int category = -1);
  vst::VstIntPtr beginSetProgram();
  vst::VstIntPtr endSetProgram();

  // Chunks: a copy of what the plug-in hands out (empty if it gives nothing),
  // and the plug-in's answer to a set.
  std::vector<std::uint8_t> getChunk(bool preset = false);
  vst::VstIntPtr setChunk(const void* data, std::size_t size, bool preset = false);
  vst::VstIntPtr setChunk(const std::vector<std::uint8_t>& data, bool preset = false);

  // Lifecycle. Rates and sizes that are not positive (or not finite) are
  // refused and not sent.
  bool setSampleRate(double rate);
  bool setBlockSize(int frames);
  void resume();
  void suspend();
  bool resumed() const { return resumed_; }
  vst::VstIntPtr startProcess();
  vst::VstIntPtr stopProcess();

  // Editor; windowId is the parent X11 window.
  bool hasEditor() const { return hasFlag(vst::effFlagsHasEditor); }
  std::optional<vst::ERect> editorRect();
  bool openEditor(std::uintptr_t windowId);
  void closeEditor();
  void editorIdle();

  // Audio thread. Sends the list (sorted) with effProcessEvents.
  vst::VstIntPtr sendEvents(MidiEventList& events);
  // One processReplacing call into the given channel buffers; advances the
  // timeline. False when the plug-in has no replacing process.
  bool processBlock(float* left, float* right, int frames);
  // Renders frames in blocks of at most blockSize frames. In the schedule,
  // deltaFrames is an absolute frame position; each event is sent in the
  // block that holds it, with its delta counted from that block's start.
  RenderedAudio render(int frames, int blockSize);
  RenderedAudio render(int frames, int blockSize, const MidiEventList& schedule);

  // Value written into the output buffers before processReplacing, so tests
  // can tell frames the plug-in never wrote (NaN is a good choice).
  void setOutputPrefill(float value) { prefill_ = value; }
  // DAWs differ: some call effProcessEvents only when there are events.
  void setSendEmptyEventLists(bool send) { sendEmptyLists_ = send; }

  // Host state the plug-in sees through callbacks.
  HostTimeline& timeline() { return timeline_; }
  HostRecorder& recorder() { return recorder_; }
  // Off: audioMasterGetTime answers null, as some hosts do.
  void setTimeInfoAvailable(bool available) { timeInfoAvailable_ = available; }
  double hostSampleRate() const { return sampleRate_.load(); }
  int hostBlockSize() const { return blockSize_.load(); }
  bool midiRequested() const { return midiRequested_.load(); }
  // How often a string answer ran far past any sane buffer size.
  int stringOverruns() const { return stringOverruns_; }

  // The callback handed to every plug-in; routes to the owning instance.
  static vst::VstIntPtr hostCallback(vst::AEffect* effect, vst::VstInt32 opcode,
                                     vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                     float opt);

 private:
  HostedPlugin(std::shared_ptr<PluginModule> module, const HostSettings& settings);

  vst::VstIntPtr answer(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                        void* ptr, float opt);
  static vst::VstIntPtr answerWithoutInstance(vst::VstInt32 opcode, void* ptr);
  std::string queryString(vst::VstInt32 opcode, vst::VstInt32 index = 0,
                          vst::VstIntPtr value = 0);
  std::optional<vst::VstPinProperties> pinProperties(vst::VstInt32 opcode, int index);
  void ensureScratch(int frames);

  std::shared_ptr<PluginModule> module_;
  vst::AEffect* effect_ = nullptr;
  HostTimeline timeline_;
  HostRecorder recorder_;

  std::atomic<double> sampleRate_;
  std::atomic<int> blockSize_;
  std::atomic<bool> midiRequested_{false};
  std::atomic<bool> timeInfoAvailable_{true};
  bool offline_ = false;
  std::atomic<std::thread::id> renderThread_{};
  // One time record for the rendering thread, one for everybody else, so a
  // GUI-thread query never rewrites what the audio thread is reading.
  vst::VstTimeInfo renderTime_{};
  vst::VstTimeInfo otherTime_{};

  bool resumed_ = false;
  int stringOverruns_ = 0;
  float prefill_ = 0.0f;
  bool sendEmptyLists_ = false;

  std::vector<float> inputScratch_;
  std::vector<float> outputScratch_;
  std::vector<float*> inputPointers_;
  std::vector<float*> outputPointers_;
  MidiEventList blockEvents_;
  MidiEventList schedule_;
  std::vector<std::uint8_t> chunkCopy_;
};

}  // namespace host
