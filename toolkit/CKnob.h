// A knob: left-drag turns it (straight vertical travel in linear mode, the
// angle around its centre otherwise), the wheel steps it, Ctrl-click or a
// double click sets the default value. Drawn as a simple dial unless a
// subclass draws bitmaps.
#pragma once

#include "toolkit/CControl.h"

namespace vgui {

class CKnob : public CControl {
 public:
  CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
        const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;

  // Pixels of vertical travel for the whole range in linear mode.
  void setZoomFactor(double pixels) { zoom_ = pixels > 1 ? pixels : 1; }
  double getZoomFactor() const { return zoom_; }
  // 0..1 position of the value within [min, max].
  float getNormalized() const;

 protected:
  long knobMode() const;
  float valueFromAngle(const CPoint& where) const;

  double zoom_ = 200;
  CPoint start_;
  float startValue_ = 0;
  bool fine_ = false;
};

}  // namespace vgui
