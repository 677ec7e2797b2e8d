// A two-state button: a left click toggles between minimum and maximum. Its
// bitmap holds the off picture above the on picture, each as high as the view.
#pragma once

#include "toolkit/CControl.h"

namespace vgui {

class COnOffButton : public CControl {
 public:
  COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
               long style = 0);

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;
  bool isOn() const { return getValue() >= max_; }

 private:
  long style_;
};

}  // namespace vgui
