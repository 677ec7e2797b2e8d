#include "toolkit/COnOffButton.h"

#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace vgui {

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag,
                           CBitmap* background, long style)
    : CControl(size, listener, tag, background), style_(style) {}

void COnOffButton::draw(CDrawContext* context) {
  if (background_) {
    CPoint where(backOffset_.x, backOffset_.y + (isOn() ? size_.getHeight() : 0));
    background_->draw(context, size_, where);
    return;
  }
  context->setFillColor(isOn() ? kWhiteCColor : kBlackCColor);
  context->setFrameColor(kGreyCColor);
  context->drawRect(size_, kDrawFilledAndStroked);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  setValue(isOn() ? min_ : max_);
  beginEdit();
  notifyListener();
  endEdit();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COnOffButton::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "COnOffButton") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui
