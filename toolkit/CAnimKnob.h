// A knob drawn from a film strip: `subPixmaps` frames of `heightOfOneImage`
// pixels stacked vertically in the background bitmap, the first for the
// minimum, the last for the maximum.
#pragma once

#include "toolkit/CKnob.h"

namespace vgui {

class CAnimKnob : public CKnob {
 public:
  CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
            double heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

  long getNumSubPixmaps() const { return subPixmaps_; }
  double getHeightOfOneImage() const { return heightOfOneImage_; }
  // Frame shown for the current value.
  long currentFrame() const;

 private:
  long subPixmaps_;
  double heightOfOneImage_;
};

}  // namespace vgui
