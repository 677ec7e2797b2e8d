#include "toolkit/CAutoAnimation.h"

#include <cstring>

#include "toolkit/CBitmap.h"

namespace vgui {

CAutoAnimation::CAutoAnimation(const CRect& size, CControlListener* listener, long tag,
                               long subPixmaps, double heightOfOneImage, CBitmap* background,
                               const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps_(subPixmaps > 0 ? subPixmaps : 1),
      heightOfOneImage_(heightOfOneImage) {
  backOffset_ = offset;
  totalHeight_ = heightOfOneImage_ * static_cast<double>(subPixmaps_);
  setValue(0);
}

long CAutoAnimation::currentFrame() const {
  // A hair of slack: k / N times N may land just below k in floats.
  long f = static_cast<long>(getValue() * static_cast<float>(subPixmaps_) + 1e-4f);
  if (f < 0) return 0;
  return f >= subPixmaps_ ? subPixmaps_ - 1 : f;
}

void CAutoAnimation::nextPixmap() {
  long f = currentFrame() + 1;
  if (f >= subPixmaps_) f = 0;
  setValue(static_cast<float>(f) / static_cast<float>(subPixmaps_));
}

void CAutoAnimation::previousPixmap() {
  long f = currentFrame() - 1;
  if (f < 0) f = subPixmaps_ - 1;
  setValue(static_cast<float>(f) / static_cast<float>(subPixmaps_));
}

void CAutoAnimation::draw(CDrawContext* context) {
  if (!background_) return;
  CPoint where(backOffset_.x, backOffset_.y + heightOfOneImage_ * static_cast<double>(currentFrame()));
  background_->draw(context, size_, where);
}

CMouseEventResult CAutoAnimation::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.onlyButton(kLButton)) return kMouseEventNotHandled;
  nextPixmap();
  setDirty();
  beginEdit();
  notifyListener();
  endEdit();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool CAutoAnimation::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CAutoAnimation") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui
