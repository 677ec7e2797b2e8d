// A page shown over the frame: its bitmap fills the rectangle `toDisplay`.
// A left click inside while it lies in a frame flips its value between
// minimum and maximum and tells the listener; outside a frame it reports
// nothing.
#pragma once

#include "toolkit/CControl.h"

namespace vgui {

class CSplashScreen : public CControl {
 public:
  CSplashScreen(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                const CRect& toDisplay, const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  bool hitTest(const CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;
  const CRect& getDisplayRect() const { return toDisplay_; }

 protected:
  CRect toDisplay_;
};

}  // namespace vgui
