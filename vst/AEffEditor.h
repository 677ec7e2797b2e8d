// Base of a plug-in's editor window. The effect owns its editor and deletes it.
// Threads: every call comes from the host's GUI thread.
#pragma once

#include "vst/AEffect.h"

namespace vst {

class AudioEffect;

struct VstKeyCode {
  VstInt32 character;
  unsigned char virt;
  unsigned char modifier;
};

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect = nullptr);
  virtual ~AEffEditor() = default;

  virtual AudioEffect* getEffect() { return effect; }
  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  // ptr is the parent window (an X11 Window id on Linux).
  virtual bool open(void* ptr) {
    systemWindow = ptr;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onWheel(float /*distance*/) { return false; }
  virtual bool setKnobMode(VstInt32 /*val*/) { return false; }
  // The host's display scale factor (1 = unscaled); answers whether it is used.
  virtual bool setScaleFactor(float /*factor*/) { return false; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};

}  // namespace vst
