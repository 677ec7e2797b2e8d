// The plug-in object the host sees.
#pragma once

#include "plugin/VstParameters.h"
#include "vst/AudioEffectX.h"

class VstSynth : public vst::AudioEffectX {
 public:
  explicit VstSynth(vst::audioMasterCallback audioMaster);
  ~VstSynth() override;

  void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  vst::VstInt32 getVendorVersion() override { return 1; }
  vst::VstInt32 canDo(char* text) override;
  vst::VstInt32 getNumMidiInputChannels() override { return 1; }
  vst::VstInt32 getNumMidiOutputChannels() override { return 0; }
  bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties) override;

 private:
  VstParameters params_;
};
