// Base of everything placed in a frame: a rectangle, a mouse area, an
// optional background bitmap with offset, and a dirty mark.
// Threads: setDirty/isDirty from any thread; everything else on the GUI thread.
#pragma once

#include <atomic>

#include "toolkit/CBaseObject.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CRect.h"
#include "toolkit/VguiTypes.h"

namespace vgui {

class CBitmap;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
 public:
  explicit CView(const CRect& size);

  virtual void draw(CDrawContext* context);
  // Mouse handlers, in frame coordinates.
  virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
  virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
  // Answers 1 when the key was used, -1 when not.
  virtual long onKeyDown(const CKeyCode& key);
  // Whether a press at `where` with `buttons` belongs to this view.
  virtual bool hitTest(const CPoint& where, const CButtonState& buttons);
  virtual bool isTypeOf(const char* name) const;
  // A new view like this one, or null for views that cannot be copied.
  virtual CView* newCopy() const { return nullptr; }

  virtual void setDirty(bool state = true) { dirty_.store(state, std::memory_order_release); }
  virtual bool isDirty() const { return dirty_.load(std::memory_order_acquire); }
  // Ask the frame to redraw this view at the next idle time.
  void invalid() { setDirty(true); }
  // Ask for a redraw of `rect` (frame coordinates). Any thread.
  virtual void invalidRect(const CRect& rect);
  // The frame calls this just before draw().
  virtual void willDraw() { dirty_.store(false, std::memory_order_release); }

  const CRect& getViewSize() const { return size_; }
  virtual void setViewSize(const CRect& rect);
  const CRect& getMouseableArea() const { return mouseableArea_; }
  void setMouseableArea(const CRect& rect) { mouseableArea_ = rect; }
  double getWidth() const { return size_.getWidth(); }
  double getHeight() const { return size_.getHeight(); }

  void setTransparency(bool state) { transparent_ = state; setDirty(); }
  bool getTransparency() const { return transparent_; }
  void setVisible(bool state) { visible_ = state; setDirty(); }
  bool isVisible() const { return visible_; }

  // Background bitmap (remembered), drawn from `offset`.
  virtual void setBackground(CBitmap* bitmap);
  CBitmap* getBackground() const { return background_; }
  void setBackOffset(const CPoint& offset) { backOffset_ = offset; setDirty(); }
  const CPoint& getBackOffset() const { return backOffset_; }

  // Keyboard focus through the frame.
  void takeFocus();
  void looseFocus();
  virtual void onFocusChanged(bool /*focused*/) {}

  // Set by the frame on addView/removeView.
  void attached(CFrame* frame) { frame_ = frame; }
  void removed() { frame_ = nullptr; }
  CFrame* getFrame() const { return frame_; }
  bool isAttached() const { return frame_ != nullptr; }

 protected:
  ~CView() override;

  CRect size_;
  CRect mouseableArea_;
  CBitmap* background_ = nullptr;
  CPoint backOffset_;
  bool transparent_ = false;
  bool visible_ = true;
  CFrame* frame_ = nullptr;

 private:
  std::atomic<bool> dirty_{true};
};

}  // namespace vgui
