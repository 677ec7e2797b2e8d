#include "toolkit/CControl.h"

#include <cmath>
#include <cstring>

#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/EditorInterface.h"

namespace vgui {

static_assert(std::atomic<float>::is_always_lock_free, "control values must be lock-free");

CControl::CControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CView(size), listener_(listener), tag_(tag) {
  if (background) setBackground(background);
}

void CControl::setValue(float value) {
  if (std::isnan(value)) return;
  if (value < min_) value = min_;
  if (value > max_) value = max_;
  value_.store(value, std::memory_order_relaxed);
}

void CControl::bounceValue() { setValue(getValue()); }

void CControl::beginEdit() {
  editing_ = true;
  if (listener_) listener_->controlBeginEdit(this);
  if (frame_ && frame_->getEditor()) frame_->getEditor()->beginEdit(tag_);
}

void CControl::endEdit() {
  editing_ = false;
  if (listener_) listener_->controlEndEdit(this);
  if (frame_ && frame_->getEditor()) frame_->getEditor()->endEdit(tag_);
}

bool CControl::isDirty() const { return CView::isDirty() || getValue() != drawnValue_; }

void CControl::willDraw() {
  drawnValue_ = getValue();
  CView::willDraw();
}

void CControl::notifyListener() {
  if (listener_) listener_->valueChanged(this);
}

bool CControl::onWheel(const CPoint&, const float& distance, const CButtonState&) {
  float old = getValue();
  setValue(old + distance * wheelInc_);
  if (getValue() != old) {
    beginEdit();
    notifyListener();
    endEdit();
  }
  return true;
}

bool CControl::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CControl") == 0) || CView::isTypeOf(name);
}

}  // namespace vgui
