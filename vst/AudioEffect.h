// Plug-in base class for the VST 2.4 interface: owns the AEffect record the
// host sees and turns the host's opcodes into virtual calls.
#pragma once

#include "vst/AEffect.h"

namespace vst {

class AEffEditor;

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  // Lifecycle.
  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual float getSampleRate() { return sampleRate; }
  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual VstInt32 getBlockSize() { return blockSize; }
  virtual void setBlockSize(VstInt32 size) { blockSize = size; }

  // Audio thread.
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                      VstInt32 /*sampleFrames*/) {}

  // Parameters.
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
  // Sets the value and tells the host, which records it as automation.
  virtual void setParameterAutomated(VstInt32 index, float value);
  virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = 0; }
  virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = 0; }
  virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = 0; }

  // Programs and state.
  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* name) { *name = 0; }
  virtual VstInt32 getChunk(void** data, bool /*isPreset*/ = false) {
    *data = nullptr;
    return 0;
  }
  virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false) {
    return 0;
  }

  // Set-up helpers for the constructor of a derived class.
  virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state = true) {
    setFlag(effFlagsCanDoubleReplacing, state);
  }
  virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
  virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

  // The editor registers itself here; the effect deletes it.
  virtual void setEditor(AEffEditor* newEditor);
  virtual AEffEditor* getEditor() { return editor; }

  AEffect* getAeffect() { return &cEffect; }
  audioMasterCallback getAudioMaster() const { return audioMaster; }

  // Host queries.
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();


 protected:
  void setFlag(VstInt32 flag, bool state) {
    if (state)
      cEffect.flags |= flag;
    else
      cEffect.flags &= ~flag;
  }
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

  float sampleRate = 44100.0f;
  AEffEditor* editor = nullptr;
  audioMasterCallback audioMaster = nullptr;
  VstInt32 numPrograms = 0;
  VstInt32 numParams = 0;
  VstInt32 curProgram = 0;
  VstInt32 blockSize = 1024;
  AEffect cEffect{};

 private:
  static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt);
  static float getParameterClass(AEffect* e, VstInt32 index);
  static void setParameterClass(AEffect* e, VstInt32 index, float value);
  static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
  static void processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                    VstInt32 frames);
  static void processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                          VstInt32 frames);
};

}  // namespace vst

// Defined once by the plug-in: the object the module entry hands to the host.
vst::AudioEffect* createEffectInstance(vst::audioMasterCallback audioMaster);
