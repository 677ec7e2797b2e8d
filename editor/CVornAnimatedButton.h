// A push button that steps through the frames of a film strip: each left
// click shows the next state, state k of N being the value k / N.
// Threads: setValue from any thread; the rest on the GUI thread.
#pragma once

#include "toolkit/CAutoAnimation.h"

class CVornAnimatedButton : public vgui::CAutoAnimation {
 public:
  CVornAnimatedButton(const vgui::CRect& size, vgui::CControlListener* listener, long tag,
                      long subPixmaps, long heightOfOneImage, vgui::CBitmap* background,
                      vgui::CPoint& offset);

  void draw(vgui::CDrawContext* context) override;
  vgui::CMouseEventResult onMouseDown(vgui::CPoint& where,
                                      const vgui::CButtonState& buttons) override;
  // A value above 1 is stored as 0; others as they come.
  void setValue(float value) override;
  // 0, 1/N, ... (N-1)/N, then 0 again.
  void nextPixmap() override;
  // Frame of the strip drawn for the current value: truncate(N x value),
  // so exactly 1 selects frame N, below the N states.
  long drawnFrame() const;

 protected:
  ~CVornAnimatedButton() override = default;
};
