#include "editor/CVornAnimatedButton.h"

#include "toolkit/CBitmap.h"

CVornAnimatedButton::CVornAnimatedButton(const vgui::CRect& size, vgui::CControlListener* listener,
                                         long tag, long subPixmaps, long heightOfOneImage,
                                         vgui::CBitmap* background, vgui::CPoint& offset)
    : CAutoAnimation(size, listener, tag, subPixmaps, static_cast<double>(heightOfOneImage),
                     background, offset) {
  totalHeight_ = static_cast<double>(subPixmaps_) * heightOfOneImage_;
  setValue(0);
}

void CVornAnimatedButton::setValue(float value) {
  if (value != value) return;  // NaN
  storeValue(value > 1.0f ? 0.0f : value);
}

void CVornAnimatedButton::nextPixmap() {
  float v = getValue();
  if (v >= 1.0f) {
    v = 0.0f;
  } else {
    v += 1.0f / static_cast<float>(subPixmaps_);
    // 2/3 + 1/3 lands a hair below 1 in floats; that is the wrap too.
    if (v >= 1.0f - 1e-5f) v = 0.0f;
  }
  storeValue(v);
}

long CVornAnimatedButton::drawnFrame() const {
  // The hair of slack keeps k/N x N from truncating to k - 1.
  return static_cast<long>(static_cast<float>(subPixmaps_) * getValue() + 1e-4f);
}

void CVornAnimatedButton::draw(vgui::CDrawContext* context) {
  if (background_) {
    vgui::CPoint where(backOffset_.x,
                       static_cast<double>(static_cast<long>(
                           static_cast<double>(drawnFrame()) * heightOfOneImage_)) +
                           backOffset_.y);
    background_->drawAlphaBlend(context, size_, where, 255);
  }
  setDirty(false);
}

vgui::CMouseEventResult CVornAnimatedButton::onMouseDown(vgui::CPoint&,
                                                         const vgui::CButtonState& buttons) {
  if (!buttons.onlyButton(vgui::kLButton)) return vgui::kMouseEventNotHandled;
  nextPixmap();
  setDirty();
  beginEdit();
  notifyListener();
  endEdit();
  return vgui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}
