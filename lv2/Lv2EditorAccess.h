// What the UI module asks of the DSP module's instance, through the host's
// data-access feature. The editor lives in the DSP module beside the engine it
// shows (one copy of the code and of its process-wide state); the UI module
// only forwards the host's calls.
//
// Threads: every call on the host's UI thread.
#pragma once

#include <lv2/core/lv2.h>

#define VELLAMOR_LV2_EDITOR_ACCESS "https://quillmark.net/plugins/vellamor-zul#editorAccess"

extern "C" {

// The UI's side: what the editor tells the host.
struct Lv2EditorListener {
  void* ui;
  void (*changed)(void* ui, int parameter, float value);
  void (*gesture)(void* ui, int parameter, bool begin);
  void (*resized)(void* ui, int width, int height);
};

struct Lv2EditorAccess {
  // The editor as a child of parent; its window, or 0 when it cannot open.
  // The listener stays the caller's until close. scale is the host's display
  // factor (ui:scaleFactor), or 0 to let the editor choose.
  unsigned long (*open)(LV2_Handle instance, unsigned long parent, const Lv2EditorListener* listener,
                        float scale);
  void (*idle)(LV2_Handle instance);
  void (*close)(LV2_Handle instance);
  void (*size)(LV2_Handle instance, int* width, int* height);
  // A control port's value as the host has it: shown, not applied (the DSP
  // takes it from the port).
  void (*show)(LV2_Handle instance, int parameter, float value);
};

}  // extern "C"
