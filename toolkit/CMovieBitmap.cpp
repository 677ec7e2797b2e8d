#include "toolkit/CMovieBitmap.h"

#include <cmath>
#include <cstring>

#include "toolkit/CBitmap.h"

namespace vgui {

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, long tag,
                           long subPixmaps, double heightOfOneImage, CBitmap* background,
                           const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps_(subPixmaps > 0 ? subPixmaps : 1),
      heightOfOneImage_(heightOfOneImage) {
  backOffset_ = offset;
}

long CMovieBitmap::currentFrame() const {
  float range = max_ - min_;
  float n = range > 0 ? (getValue() - min_) / range : 0;
  return std::lround(n * static_cast<float>(subPixmaps_ - 1));
}

void CMovieBitmap::draw(CDrawContext* context) {
  if (!background_) return;
  background_->draw(context, size_,
                    CPoint(backOffset_.x, backOffset_.y + heightOfOneImage_ * static_cast<double>(currentFrame())));
}

bool CMovieBitmap::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CMovieBitmap") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui
