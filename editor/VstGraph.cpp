#include "editor/VstGraph.h"

#include <cstring>

#include "editor/EditorTexts.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"

using vgui::CButtonState;
using vgui::CMouseEventResult;
using vgui::CPoint;

VstGraph::CRightMenu::CRightMenu(const vgui::CRect& size, vgui::CControlListener* listener,
                                 long tag, vgui::CControl* target)
    : CControl(size, listener, tag, nullptr), target_(target) {
  setValue(0);
}

bool VstGraph::CRightMenu::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CRightMenu") == 0) || CControl::isTypeOf(name);
}

vgui::CView* VstGraph::CRightMenu::newCopy() const {
  auto* copy = new CRightMenu(size_, listener_, tag_, target_);
  copy->setMidiCC(getMidiCC());
  return copy;
}

void VstGraph::CRightMenu::draw(vgui::CDrawContext*) { setDirty(false); }

CMouseEventResult VstGraph::CRightMenu::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.onlyButton(vgui::kRButton)) {
    looseFocus();
    return target_ ? target_->onMouseDown(where, buttons) : vgui::kMouseEventNotHandled;
  }
  vgui::CFrame* frame = getFrame();
  if (!frame) return vgui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  popup_ = new vgui::COptionMenu(vgui::CRect(where.x, where.y, where.x + 1, where.y + 1), nullptr,
                                 0, nullptr, nullptr, vgui::kMultipleCheckStyle);
  int learned = getMidiCC();
  if (learned != 0) {
    char forget[64];
    EditorTexts::forgetEntry(learned, forget, sizeof(forget));
    popup_->addEntry("MidiLearn New");
    popup_->addEntry(forget);
  } else {
    popup_->addEntry("MidiLearn");
  }
  frame->addView(popup_);
  popup_->onMouseDown(where, buttons);
  looseFocus();
  bool learn = popup_->getEntry(0) && popup_->getEntry(0)->isChecked();
  bool forget = popup_->getEntry(1) && popup_->getEntry(1)->isChecked();
  if (learn || forget) {
    float v = static_cast<float>(target_ ? target_->getTag() : -1);
    if (forget) v += 1000.0f;
    storeValue(v);
    if (listener_) listener_->valueChanged(this);
  }
  frame->removeView(popup_, true);
  popup_ = nullptr;
  return vgui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult VstGraph::CRightMenu::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (buttons.onlyButton(vgui::kRButton)) return vgui::kMouseEventNotHandled;
  looseFocus();
  return target_ ? target_->onMouseMoved(where, buttons) : vgui::kMouseEventNotHandled;
}

CMouseEventResult VstGraph::CRightMenu::onMouseUp(CPoint& where, const CButtonState& buttons) {
  return target_ ? target_->onMouseUp(where, buttons) : vgui::kMouseEventNotHandled;
}

bool VstGraph::CRightMenu::onWheel(const CPoint&, const float& distance, const CButtonState&) {
  float v = 0.0f;
  if (target_) {
    v = target_->getValue();
    setWheelInc(target_->getWheelInc());
  }
  v += distance * getWheelInc();
  v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
  looseFocus();
  if (target_) {
    target_->beginEdit();
    target_->setValue(v);
    if (listener_) listener_->valueChanged(target_);
    target_->endEdit();
  }
  return true;
}
