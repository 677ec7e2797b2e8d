// Drawing state and primitives over a cairo context. The frame makes one per
// redraw on its back buffer; views draw in frame coordinates.
//
// With a scale factor s, a frame point (x, y) lies at the surface pixel
// (x s, y s): paths and text are drawn s times as large, and rectangles,
// clips and one-pixel lines are snapped to whole surface pixels so edges
// stay sharp at fractional factors. Pixel p of a rectangle edge x is
// round(x s) (deviceCoord), the same rounding everywhere.
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
  // Draws on `surface` at `scale` surface pixels per frame pixel; does not
  // take ownership.
  explicit CDrawContext(cairo_surface_t* surface, double scale = 1.0);
  ~CDrawContext();
  CDrawContext(const CDrawContext&) = delete;
  CDrawContext& operator=(const CDrawContext&) = delete;

  cairo_t* getCairo() const { return cr_; }
  double getScale() const { return scale_; }
  // Surface pixel of the frame coordinate v, and a rectangle's pixels.
  static double deviceCoord(double v, double scale);
  static CRect deviceRect(const CRect& r, double scale);

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
  // Surface pixels of a line `lineWidth_` frame pixels wide.
  double deviceLineWidth() const;

  cairo_t* cr_;
  double scale_;
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
