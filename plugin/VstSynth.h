// The plug-in object the host sees: identity, parameters, programs, engine.
//
// Threads: construction, destruction, names, programs and chunks come from the
// host's main thread; processEvents/processReplacing from its audio thread;
// setParameter/getParameter from any thread (host automation, editor, MIDI).
#pragma once

#include <atomic>

#include "plugin/VstParameters.h"
#include "vst/AudioEffectX.h"

class VstSynth : public vst::AudioEffectX {
 public:
  explicit VstSynth(vst::audioMasterCallback audioMaster);
  ~VstSynth() override;

  // Lifecycle (main thread).
  void suspend() override;
  void resume() override;
  void setSampleRate(float rate) override;
  void setBlockSize(vst::VstInt32 size) override;

  // Audio thread.
  void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;

  // Parameters (any thread).
  void setParameter(vst::VstInt32 index, float value) override;
  float getParameter(vst::VstInt32 index) override;
  void getParameterLabel(vst::VstInt32 index, char* label) override;
  void getParameterDisplay(vst::VstInt32 index, char* text) override;
  void getParameterName(vst::VstInt32 index, char* text) override;
  float DmVal(long index) const;
  int getMidiCC(long index) const;

  // Programs (main thread).
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text) override;
  void getProgramNameN(char* text, int index) const;
  bool copyProgram(vst::VstInt32 destination) override;

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

  static constexpr const char* kProductName = "Vellamor-ZUL";
  static constexpr const char* kVendorDomain = "quillmark.net";

 private:
  void VstParametersInit();
  void SetVstP(long index, const char* name, float value, bool perProgram, bool unclamped,
               bool storedDefault);
  // Where parameter index's value lives for the current program.
  float* valueSlot(long index);
  const float* valueSlot(long index) const;
  int currentProgram() const;

  VstParameters params_;
  std::atomic<bool> inInit{false};
  std::atomic<bool> inSetProgram{false};
  std::atomic<float> volumeFactor_{1.0f};
};
