#include "toolkit/CKnob.h"

#include <cmath>
#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/EditorInterface.h"

namespace vgui {

namespace {
constexpr double kSweep = 1.5 * M_PI;  // 270 degrees from min to max
}

CKnob::CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
             const CPoint& offset)
    : CControl(size, listener, tag, background) {
  backOffset_ = offset;
}

float CKnob::getNormalized() const {
  float range = max_ - min_;
  if (range <= 0) return 0;
  float n = (getValue() - min_) / range;
  return n < 0 ? 0 : (n > 1 ? 1 : n);
}

long CKnob::knobMode() const {
  if (frame_ && frame_->getEditor()) return frame_->getEditor()->getKnobMode();
  return kLinearMode;
}

void CKnob::draw(CDrawContext* context) {
  if (background_) background_->draw(context, size_, backOffset_);
  CRect r = size_;
  r.inset(2, 2);
  context->setFrameColor(kBlackCColor);
  context->setFillColor(kGreyCColor);
  context->drawEllipse(r, kDrawFilledAndStroked);
  double angle = M_PI * 0.75 + getNormalized() * kSweep;
  CPoint c((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  double radius = r.getWidth() / 2 - 1;
  context->setFrameColor(kWhiteCColor);
  context->setLineWidth(2);
  context->drawLine(c, CPoint(c.x + std::cos(angle) * radius, c.y + std::sin(angle) * radius));
  context->setLineWidth(1);
}

float CKnob::valueFromAngle(const CPoint& where) const {
  double cx = (size_.left + size_.right) / 2, cy = (size_.top + size_.bottom) / 2;
  double a = std::atan2(where.y - cy, where.x - cx) - M_PI * 0.75;
  while (a < 0) a += 2 * M_PI;
  // The dead zone at the bottom snaps to the nearer end.
  if (a > kSweep) a = a > kSweep + (2 * M_PI - kSweep) / 2 ? 0 : kSweep;
  return static_cast<float>(min_ + (max_ - min_) * (a / kSweep));
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  if ((buttons & kControl) || (buttons & kDoubleClick)) {
    float old = getValue();
    setValue(default_);
    if (getValue() != old) {
      beginEdit();
      notifyListener();
      endEdit();
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }
  beginEdit();
  start_ = where;
  startValue_ = getValue();
  fine_ = buttons & kShift;
  if (knobMode() != kLinearMode) return onMouseMoved(where, buttons);
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!isEditing()) return kMouseEventNotHandled;
  if (!buttons.isLeftButton()) return kMouseEventHandled;
  float v;
  if (knobMode() == kLinearMode) {
    bool fine = buttons & kShift;
    if (fine != fine_) {
      // Re-anchor so that pressing Shift mid-drag does not jump.
      start_ = where;
      startValue_ = getValue();
      fine_ = fine;
    }
    double pixels = zoom_ * (fine_ ? 10 : 1);
    v = static_cast<float>(startValue_ + (start_.y - where.y) * (max_ - min_) / pixels);
  } else {
    v = valueFromAngle(where);
  }
  float old = getValue();
  setValue(v);
  if (getValue() != old) notifyListener();
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const CButtonState&) {
  if (isEditing()) endEdit();
  return kMouseEventHandled;
}

bool CKnob::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CKnob") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui
