#include "toolkit/CView.h"

#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace vgui {

CView::CView(const CRect& size) : size_(size), mouseableArea_(size) {}

CView::~CView() {
  if (background_) background_->forget();
}

void CView::draw(CDrawContext* context) {
  if (background_) background_->draw(context, size_, backOffset_);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
bool CView::onWheel(const CPoint&, const float&, const CButtonState&) { return false; }
long CView::onKeyDown(const CKeyCode&) { return -1; }

bool CView::hitTest(const CPoint& where, const CButtonState&) {
  return mouseableArea_.pointInside(where);
}

bool CView::isTypeOf(const char* name) const { return name && std::strcmp(name, "CView") == 0; }

void CView::invalidRect(const CRect& rect) {
  if (frame_)
    frame_->invalidRect(rect);
  else
    setDirty(true);
}

void CView::setViewSize(const CRect& rect) {
  size_ = rect;
  setDirty();
}

void CView::setBackground(CBitmap* bitmap) {
  if (bitmap) bitmap->remember();
  if (background_) background_->forget();
  background_ = bitmap;
  setDirty();
}

void CView::takeFocus() {
  if (frame_) frame_->setFocusView(this);
}

void CView::looseFocus() {
  if (frame_ && frame_->getFocusView() == this) frame_->setFocusView(nullptr);
}

}  // namespace vgui
