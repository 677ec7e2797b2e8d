// The extended plug-in base of VST 2.x: events, capabilities, pin properties,
// names, and the host callbacks a 2.x plug-in uses.
#pragma once

#include "vst/AudioEffect.h"

namespace vst {

class AudioEffectX : public AudioEffect {
 public:
  AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;

  // Audio thread: the block's events, valid until the next processReplacing.
  virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }

  virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
  virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/,
                                     char* /*text*/) {
    return false;
  }
  virtual bool copyProgram(VstInt32 /*destination*/) { return false; }
  virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
    return false;
  }
  virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
    return false;
  }
  virtual VstInt32 getPlugCategory();
  virtual bool setBypass(bool /*onOff*/) { return false; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32 /*index*/, VstIntPtr /*value*/, void* /*ptr*/,
                                   float /*opt*/) {
    return 0;
  }
  virtual VstInt32 canDo(char* /*text*/) { return 0; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual VstInt32 getVstVersion() { return kVstVersion; }
  virtual VstInt32 getNumMidiInputChannels() { return 0; }
  virtual VstInt32 getNumMidiOutputChannels() { return 0; }
  virtual VstInt32 beginSetProgram() { return 0; }
  virtual VstInt32 endSetProgram() { return 0; }
  virtual VstInt32 startProcess() { return 0; }
  virtual VstInt32 stopProcess() { return 0; }
  virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }

  // Set-up helpers.
  virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }

  // Host callbacks.
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  // The host's audioMasterGetCurrentProcessLevel answer (0 when unknown).
  virtual VstInt32 getCurrentProcessLevel();
  virtual bool wantEvents(VstInt32 filter = 1);
  virtual bool updateDisplay();
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual bool ioChanged();
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual VstInt32 canHostDo(char* text);
  virtual bool sendVstEventsToHost(VstEvents* events);
};

}  // namespace vst
