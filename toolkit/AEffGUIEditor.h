// VST 2.4 editor base for toolkit editors: holds the frame and the editor
// rectangle, pumps the frame at the host's idle time and passes the controls'
// edit gestures to the effect.
// Threads: the host's editor thread (open, close, idle, getRect).
#pragma once

#include "toolkit/EditorInterface.h"
#include "vst/AEffEditor.h"

namespace vgui {

class CFrame;

class AEffGUIEditor : public vst::AEffEditor, public EditorInterface {
 public:
  explicit AEffGUIEditor(vst::AudioEffect* effect);
  ~AEffGUIEditor() override;

  bool getRect(vst::ERect** rect) override;
  bool open(void* ptr) override;
  void close() override;
  void idle() override;
  bool setKnobMode(vst::VstInt32 mode) override;

  // The effect's beginEdit/endEdit for a control's tag.
  void beginEdit(long tag) override;
  void endEdit(long tag) override;
  long getKnobMode() const override { return knobMode_; }

  CFrame* getFrame() const { return frame; }
  // Redraws dirty views now (for changes that should not wait for idle).
  void draw();

 protected:
  CFrame* frame = nullptr;
  vst::ERect rect{0, 0, 0, 0};

 private:
  static long knobMode_;
};

}  // namespace vgui
