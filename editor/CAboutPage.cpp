#include "editor/CAboutPage.h"

#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

CAboutPage::CAboutPage(const vgui::CRect& size, vgui::CControlListener* listener, long tag,
                       vgui::CBitmap* picture, vgui::CPoint& offset, const char* text,
                       const vgui::CRect& textRect, vgui::CColor textColour,
                       vgui::CFontDesc* textFont)
    : CSplashScreen(size, listener, tag, picture, size, offset),
      versionRect_(textRect),
      versionColour_(textColour),
      versionFont_(textFont) {
  const char* source = text ? text : " ";
  std::strncpy(versionText_, source, sizeof(versionText_) - 1);
  versionText_[sizeof(versionText_) - 1] = 0;
}

void CAboutPage::draw(vgui::CDrawContext* context) {
  bounceValue();
  if (background_) background_->drawAlphaBlend(context, size_, vgui::CPoint(0, 0), 255);
  if (versionText_[0] != ' ') {
    context->setFont(versionFont_ ? versionFont_ : vgui::kSystemFont);
    context->setFontColor(versionColour_);
    context->drawString(versionText_, versionRect_, vgui::kLeftText);
  }
  setDirty(false);
}

vgui::CMouseEventResult CAboutPage::onMouseDown(vgui::CPoint& where,
                                                const vgui::CButtonState& buttons) {
  if (vgui::CFrame* frame = getFrame()) {
    // The frame held the reference it was given when the page was shown;
    // the editor keeps its own, so the page survives to be shown again.
    frame->removeView(this, true);
    frame->setDirty(true);
    frame->invalidRect(frame->getViewSize());
  }
  return CSplashScreen::onMouseDown(where, buttons);
}
