#include "toolkit/CTextEdit.h"

#include <cstring>

#include "toolkit/CDrawContext.h"

namespace vgui {

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text,
                     CBitmap* background, long style)
    : CTextLabel(size, text, background, style) {
  listener_ = listener;
  tag_ = tag;
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.onlyButton(kLButton)) return kMouseEventNotHandled;
  takeFocus();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::onFocusChanged(bool focused) {
  if (focused) saved_ = text_;
  editing_ = focused;
  setDirty();
}

long CTextEdit::onKeyDown(const CKeyCode& key) {
  if (!editing_) return -1;
  if (key.virt == VKEY_RETURN || key.virt == VKEY_ENTER) {
    looseFocus();
    notifyListener();
  } else if (key.virt == VKEY_ESCAPE) {
    text_ = saved_;
    looseFocus();
  } else if (key.virt == VKEY_BACK) {
    if (!text_.empty()) text_.pop_back();
  } else if (key.character >= 32 && key.character < 127 && text_.size() < maxLength_) {
    text_.push_back(static_cast<char>(key.character));
  } else {
    return -1;
  }
  setDirty();
  return 1;
}

void CTextEdit::draw(CDrawContext* context) {
  CTextLabel::draw(context);
  if (!editing_) return;
  // A caret after the text.
  context->setFont(font_);
  double w = context->getStringWidth(text_.c_str());
  double x = align_ == kLeftText ? size_.left + 2 + w
             : align_ == kRightText ? size_.right - 2
                                    : (size_.left + size_.right + w) / 2;
  context->setFrameColor(fontColor_);
  context->drawLine(CPoint(x + 1, size_.top + 2), CPoint(x + 1, size_.bottom - 3));
}

bool CTextEdit::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CTextEdit") == 0) || CTextLabel::isTypeOf(name);
}

}  // namespace vgui
