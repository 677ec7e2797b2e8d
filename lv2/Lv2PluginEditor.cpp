// Lv2Plugin: the editor, for the UI module (Lv2EditorAccess). Kept apart
// from the DSP side so that builds without X11 and cairo (the fuzzers) can
// take the adapter alone.
//
// Threads: the host's UI thread.
#include "lv2/Lv2Plugin.h"

#include <cmath>
#include <cstdint>
#include <thread>

#include "plugin/SynthEditor.h"
#include "plugin/VstSynth.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CFrame.h"

unsigned long Lv2Plugin::openEditor(unsigned long parent, const Lv2EditorListener* listener, float scale) {
  auto* editor = dynamic_cast<vgui::AEffGUIEditor*>(synth_->getEditor());
  if (!editor || !parent) return 0;
  if (editor->isOpen()) closeEditor();
  uiThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  listener_ = listener;
  if (scale > 0.0f && std::isfinite(scale)) editor->setScaleFactor(scale);
  vst::ERect* rect = nullptr;
  editor->getRect(&rect);  // hosts ask for the size first; the editor expects it
  if (!editor->open(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))) || !editor->getFrame()) {
    listener_ = nullptr;
    return 0;
  }
  return editor->getFrame()->getWindow();
}

void Lv2Plugin::idleEditor() {
  if (vst::AEffEditor* editor = synth_->getEditor(); editor && editor->isOpen()) editor->idle();
}

void Lv2Plugin::closeEditor() {
  if (vst::AEffEditor* editor = synth_->getEditor(); editor && editor->isOpen()) editor->close();
  listener_ = nullptr;
}

void Lv2Plugin::editorSize(int* width, int* height) {
  vst::ERect* rect = nullptr;
  vst::AEffEditor* editor = synth_->getEditor();
  const bool known = editor && editor->getRect(&rect) && rect;
  *width = known ? rect->right - rect->left : 0;
  *height = known ? rect->bottom - rect->top : 0;
}

void Lv2Plugin::showParameter(int parameter, float value) {
  if (parameter < 0 || parameter >= Lv2Ports::kControls || !std::isfinite(value)) return;
  if (auto* shown = dynamic_cast<SynthEditor*>(synth_->getEditor())) shown->setParameter(parameter, value);
}
