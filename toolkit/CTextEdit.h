// One editable line of text: a left click gives it the keyboard, typed
// characters append, Backspace deletes, Return or Enter ends the edit and
// tells the listener, Escape restores the old text.
#pragma once

#include "toolkit/CTextLabel.h"

namespace vgui {

class CTextEdit : public CTextLabel {
 public:
  CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = nullptr,
            CBitmap* background = nullptr, long style = 0);

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  long onKeyDown(const CKeyCode& key) override;
  void onFocusChanged(bool focused) override;
  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

  // Longest text accepted from the keyboard.
  void setMaxLength(size_t n) { maxLength_ = n; }

 private:
  std::string saved_;
  size_t maxLength_ = 255;
  bool editing_ = false;
};

}  // namespace vgui
