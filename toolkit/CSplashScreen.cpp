#include "toolkit/CSplashScreen.h"

#include <cstring>

#include "toolkit/CBitmap.h"

namespace vgui {

CSplashScreen::CSplashScreen(const CRect& size, CControlListener* listener, long tag,
                             CBitmap* background, const CRect& toDisplay, const CPoint& offset)
    : CControl(size, listener, tag, background), toDisplay_(toDisplay) {
  backOffset_ = offset;
}

void CSplashScreen::draw(CDrawContext* context) {
  if (background_) background_->draw(context, toDisplay_, backOffset_);
}

bool CSplashScreen::hitTest(const CPoint& where, const CButtonState& buttons) {
  return buttons.isLeftButton() && mouseableArea_.pointInside(where);
}

CMouseEventResult CSplashScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!hitTest(where, buttons)) return kMouseEventNotHandled;
  if (isAttached()) {
    setValue(getValue() >= max_ ? min_ : max_);
    notifyListener();
  }
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool CSplashScreen::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CSplashScreen") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui
