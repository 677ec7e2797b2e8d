#include "toolkit/AEffGUIEditor.h"

#include "toolkit/CFrame.h"
#include "vst/AudioEffectX.h"

namespace vgui {

long AEffGUIEditor::knobMode_ = kCircularMode;

AEffGUIEditor::AEffGUIEditor(vst::AudioEffect* effect) : vst::AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() {
  if (frame) frame->forget();
  frame = nullptr;
}

bool AEffGUIEditor::getRect(vst::ERect** r) {
  *r = &rect;
  return true;
}

bool AEffGUIEditor::open(void* ptr) {
  systemWindow = ptr;
  return true;
}

void AEffGUIEditor::close() { systemWindow = nullptr; }

void AEffGUIEditor::idle() {
  if (frame) frame->idle();
}

void AEffGUIEditor::draw() {
  if (frame) frame->redrawDirty();
}

bool AEffGUIEditor::setKnobMode(vst::VstInt32 mode) {
  knobMode_ = mode;
  return true;
}

void AEffGUIEditor::beginEdit(long tag) {
  if (auto* fx = dynamic_cast<vst::AudioEffectX*>(effect)) fx->beginEdit(static_cast<vst::VstInt32>(tag));
}

void AEffGUIEditor::endEdit(long tag) {
  if (auto* fx = dynamic_cast<vst::AudioEffectX*>(effect)) fx->endEdit(static_cast<vst::VstInt32>(tag));
}

}  // namespace vgui
