// Drawing state and primitives over a cairo context. The frame makes one per
// redraw on its back buffer; views draw in frame coordinates.
// Threads: GUI thread.
#pragma once

#include <cairo.h>

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"
#include "toolkit/VguiTypes.h"

namespace vgui {

class CDrawContext {
 public:
  // Draws on `surface`; does not take ownership.
  explicit CDrawContext(cairo_surface_t* surface);
  ~CDrawContext();
  CDrawContext(const CDrawContext&) = delete;
  CDrawContext& operator=(const CDrawContext&) = delete;

  cairo_t* getCairo() const { return cr_; }

  void setFillColor(const CColor& c) { fillColor_ = c; }
  void setFrameColor(const CColor& c) { frameColor_ = c; }
  void setFontColor(const CColor& c) { fontColor_ = c; }
  CColor getFillColor() const { return fillColor_; }
  CColor getFrameColor() const { return frameColor_; }
  CColor getFontColor() const { return fontColor_; }
  void setLineWidth(double width) { lineWidth_ = width > 0 ? width : 1; }
  void setFont(const CFontDesc* font) { font_ = font ? font : kSystemFont; }
  const CFontDesc* getFont() const { return font_; }

  // Clip stack: the new clip is the old one bounded by `rect`.
  void pushClip(const CRect& rect);
  void popClip();
  CRect getClipRect() const { return clip_; }

  void drawLine(const CPoint& from, const CPoint& to);
  void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
  void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }
  void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
  // One line of text, vertically centred in `rect`, clipped to it.
  void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
  double getStringWidth(const char* text);

 private:
  void setSource(const CColor& c);
  void selectFont();

  cairo_t* cr_;
  CColor fillColor_ = kWhiteCColor;
  CColor frameColor_ = kBlackCColor;
  CColor fontColor_ = kBlackCColor;
  double lineWidth_ = 1;
  const CFontDesc* font_ = kSystemFont;
  CRect clip_;
  CRect clipStack_[16];
  int clipDepth_ = 0;
};

}  // namespace vgui
