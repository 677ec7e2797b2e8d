#include "toolkit/CDrawContext.h"

#include <cmath>

namespace vgui {

CDrawContext::CDrawContext(cairo_surface_t* surface) : cr_(cairo_create(surface)) {
  clip_ = CRect(0, 0, cairo_image_surface_get_width(surface),
                cairo_image_surface_get_height(surface));
}

CDrawContext::~CDrawContext() { cairo_destroy(cr_); }

void CDrawContext::setSource(const CColor& c) {
  cairo_set_source_rgba(cr_, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CDrawContext::pushClip(const CRect& rect) {
  if (clipDepth_ < 16) clipStack_[clipDepth_] = clip_;
  ++clipDepth_;
  cairo_save(cr_);
  clip_.bound(rect);
  cairo_rectangle(cr_, clip_.left, clip_.top, clip_.getWidth(), clip_.getHeight());
  cairo_clip(cr_);
}

void CDrawContext::popClip() {
  if (clipDepth_ == 0) return;
  --clipDepth_;
  if (clipDepth_ < 16) clip_ = clipStack_[clipDepth_];
  cairo_restore(cr_);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
  // Half-pixel offsets keep one-pixel lines sharp.
  cairo_move_to(cr_, std::floor(from.x) + 0.5, std::floor(from.y) + 0.5);
  cairo_line_to(cr_, std::floor(to.x) + 0.5, std::floor(to.y) + 0.5);
  setSource(frameColor_);
  cairo_set_line_width(cr_, lineWidth_);
  cairo_stroke(cr_);
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style) {
  if (style != kDrawStroked) {
    cairo_rectangle(cr_, r.left, r.top, r.getWidth(), r.getHeight());
    setSource(fillColor_);
    cairo_fill(cr_);
  }
  if (style != kDrawFilled) {
    cairo_rectangle(cr_, r.left + 0.5, r.top + 0.5, r.getWidth() - 1, r.getHeight() - 1);
    setSource(frameColor_);
    cairo_set_line_width(cr_, lineWidth_);
    cairo_stroke(cr_);
  }
}

void CDrawContext::drawEllipse(const CRect& r, CDrawStyle style) {
  if (r.isEmpty()) return;
  cairo_save(cr_);
  cairo_translate(cr_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  cairo_scale(cr_, r.getWidth() / 2, r.getHeight() / 2);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr_);
  if (style != kDrawStroked) {
    setSource(fillColor_);
    if (style == kDrawFilledAndStroked)
      cairo_fill_preserve(cr_);
    else
      cairo_fill(cr_);
  }
  if (style != kDrawFilled) {
    setSource(frameColor_);
    cairo_set_line_width(cr_, lineWidth_);
    cairo_stroke(cr_);
  }
}

void CDrawContext::selectFont() {
  cairo_select_font_face(cr_, font_->getName(),
                         (font_->getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC
                                                           : CAIRO_FONT_SLANT_NORMAL,
                         (font_->getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD
                                                         : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, font_->getSize());
}

double CDrawContext::getStringWidth(const char* text) {
  if (!text || !*text) return 0;
  selectFont();
  cairo_text_extents_t ext;
  cairo_text_extents(cr_, text, &ext);
  return ext.x_advance;
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty()) return;
  pushClip(rect);
  selectFont();
  cairo_font_extents_t fe;
  cairo_font_extents(cr_, &fe);
  double width = getStringWidth(text);
  double x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.getWidth() - width) / 2;
  else if (align == kRightText)
    x = rect.right - width;
  double y = rect.top + (rect.getHeight() + fe.ascent - fe.descent) / 2;
  cairo_move_to(cr_, std::round(x), std::round(y));
  setSource(fontColor_);
  cairo_show_text(cr_, text);
  popClip();
}

}  // namespace vgui
