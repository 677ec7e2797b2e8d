#include "toolkit/CAnimKnob.h"

#include <cmath>
#include <cstring>

#include "toolkit/CBitmap.h"

namespace vgui {

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                     double heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, offset),
      subPixmaps_(subPixmaps > 0 ? subPixmaps : 1),
      heightOfOneImage_(heightOfOneImage > 0 ? heightOfOneImage : size.getHeight()) {}

long CAnimKnob::currentFrame() const {
  return std::lround(getNormalized() * static_cast<float>(subPixmaps_ - 1));
}

void CAnimKnob::draw(CDrawContext* context) {
  if (!background_) return;
  CPoint where(backOffset_.x, backOffset_.y + heightOfOneImage_ * static_cast<double>(currentFrame()));
  background_->draw(context, size_, where);
}

bool CAnimKnob::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CAnimKnob") == 0) || CKnob::isTypeOf(name);
}

}  // namespace vgui
