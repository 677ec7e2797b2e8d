// The LV2 DSP module's one exported symbol. The editor lives here too, beside
// the engine it shows; the UI module reaches it through Lv2EditorAccess.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>

#include "editor/Editor.h"
#include "lv2/Lv2EditorAccess.h"
#include "lv2/Lv2Plugin.h"
#include "plugin/VstSynth.h"

namespace {

Lv2Plugin* self(LV2_Handle handle) { return static_cast<Lv2Plugin*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  // Every instance gets its window; the factory must be known before the
  // first instance is built.
  VstSynth::setEditorFactory(&Editor::create);
  return Lv2Plugin::create(rate, features);
}
void connectPort(LV2_Handle h, uint32_t port, void* data) { self(h)->connect(port, data); }
void activate(LV2_Handle h) { self(h)->activate(); }
void run(LV2_Handle h, uint32_t frames) { self(h)->run(frames); }
void deactivate(LV2_Handle h) { self(h)->deactivate(); }
void cleanup(LV2_Handle h) { delete self(h); }

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*) {
  return self(h)->save(store, handle);
}
LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t, const LV2_Feature* const*) {
  return self(h)->restore(retrieve, handle);
}
const LV2_State_Interface kState = {save, restore};

LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle, uint32_t,
                       const void*) {
  return self(h)->work();
}
// The engine takes a loaded set over at its next block by itself.
LV2_Worker_Status workResponse(LV2_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }
const LV2_Worker_Interface kWorker = {work, workResponse, nullptr};

unsigned long openEditor(LV2_Handle h, unsigned long parent, const Lv2EditorListener* listener, float scale) {
  return self(h)->openEditor(parent, listener, scale);
}
void idleEditor(LV2_Handle h) { self(h)->idleEditor(); }
void closeEditor(LV2_Handle h) { self(h)->closeEditor(); }
void editorSize(LV2_Handle h, int* width, int* height) { self(h)->editorSize(width, height); }
void showParameter(LV2_Handle h, int parameter, float value) { self(h)->showParameter(parameter, value); }
const Lv2EditorAccess kEditor = {openEditor, idleEditor, closeEditor, editorSize, showParameter};

const void* extensionData(const char* uri) {
  if (!std::strcmp(uri, LV2_STATE__interface)) return &kState;
  if (!std::strcmp(uri, LV2_WORKER__interface)) return &kWorker;
  if (!std::strcmp(uri, VELLAMOR_LV2_EDITOR_ACCESS)) return &kEditor;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {Lv2Plugin::kUri, instantiate, connectPort, activate, run,
                                    deactivate,      cleanup,     extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
