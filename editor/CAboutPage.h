// The About page: a picture over the whole window with the version line; a
// left click anywhere takes it off the frame again.
// Threads: GUI thread.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CSplashScreen.h"

class CAboutPage : public vgui::CSplashScreen {
 public:
  CAboutPage(const vgui::CRect& size, vgui::CControlListener* listener, long tag,
             vgui::CBitmap* picture, vgui::CPoint& offset, const char* text,
             const vgui::CRect& textRect, vgui::CColor textColour, vgui::CFontDesc* textFont);

  void draw(vgui::CDrawContext* context) override;
  vgui::CMouseEventResult onMouseDown(vgui::CPoint& where,
                                      const vgui::CButtonState& buttons) override;
  const char* getVersionText() const { return versionText_; }

 protected:
  ~CAboutPage() override = default;

 private:
  char versionText_[1024];
  vgui::CRect versionRect_;
  vgui::CColor versionColour_;
  vgui::CFontDesc* versionFont_;
};
