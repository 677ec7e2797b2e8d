// Shows one frame of a vertical film strip chosen by the value (first frame
// at the minimum, last at the maximum); takes no mouse input.
#pragma once

#include "toolkit/CControl.h"

namespace vgui {

class CMovieBitmap : public CControl {
 public:
  CMovieBitmap(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
               double heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;
  long currentFrame() const;

 private:
  long subPixmaps_;
  double heightOfOneImage_;
};

}  // namespace vgui
