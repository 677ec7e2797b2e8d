// Multi-state control over a vertical film strip of N frames of height h.
// The value encodes the state: state k of N is k / N. A left click shows the
// next frame, wrapping to the first after the last.
#pragma once

#include "toolkit/CControl.h"

namespace vgui {

class CAutoAnimation : public CControl {
 public:
  CAutoAnimation(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                 double heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;

  virtual void nextPixmap();
  virtual void previousPixmap();

  long getNumSubPixmaps() const { return subPixmaps_; }
  void setNumSubPixmaps(long n) { subPixmaps_ = n > 0 ? n : 1; }
  double getHeightOfOneImage() const { return heightOfOneImage_; }
  void setHeightOfOneImage(double h) { heightOfOneImage_ = h; }
  // Frame for the current value, within 0..N-1.
  long currentFrame() const;

 protected:
  long subPixmaps_;
  double heightOfOneImage_;
  double totalHeight_;
};

}  // namespace vgui
