// What the plug-in core asks of its editor. Every call may come from any
// thread (the audio thread and the sound-set loader included):
// implementations store values and mark controls for redrawing, and draw
// later at idle time. A call may arrive while the window closes, so close()
// waits for calls under way; none arrives once the editor is being
// destroyed, as the plug-in stops its loader first.
#pragma once

class SynthEditor {
 public:
  virtual ~SynthEditor() = default;
  // A parameter (0..56) or command index (above 56) changed to value.
  virtual void setParameter(long index, float value) = 0;
  // The learned controllers changed.
  virtual void readMidiCC() = 0;
  // Text of one entry of the preset menu.
  virtual void setPresetEntry(long index, const char* text) = 0;
  // The current program changed.
  virtual void setPreset() = 0;
  // The current program's scale changed.
  virtual void updateScale() = 0;
  // Another sound set is loaded (its row in the sound-set table).
  virtual void updateSoundSet(long row) = 0;
};
