#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace vgui {

namespace {

// Runs `draw` with cairo's matrix set to surface pixels.
template <typename F>
void inDevicePixels(cairo_t* cr, F draw) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  draw();
  cairo_restore(cr);
}

}  // namespace

CDrawContext::CDrawContext(cairo_surface_t* surface, double scale)
    : cr_(cairo_create(surface)), scale_(scale > 0 && std::isfinite(scale) ? scale : 1.0) {
  cairo_scale(cr_, scale_, scale_);
  clip_ = CRect(0, 0, cairo_image_surface_get_width(surface) / scale_,
                cairo_image_surface_get_height(surface) / scale_);
}

CDrawContext::~CDrawContext() { cairo_destroy(cr_); }

double CDrawContext::deviceCoord(double v, double scale) { return std::floor(v * scale + 0.5); }

CRect CDrawContext::deviceRect(const CRect& r, double scale) {
  return CRect(deviceCoord(r.left, scale), deviceCoord(r.top, scale),
               deviceCoord(r.right, scale), deviceCoord(r.bottom, scale));
}

double CDrawContext::deviceLineWidth() const {
  return std::max(1.0, std::round(lineWidth_ * scale_));
}

void CDrawContext::setSource(const CColor& c) {
  cairo_set_source_rgba(cr_, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CDrawContext::pushClip(const CRect& rect) {
  if (clipDepth_ < 16) clipStack_[clipDepth_] = clip_;
  ++clipDepth_;
  cairo_save(cr_);
  clip_.bound(rect);
  CRect d = deviceRect(clip_, scale_);
  inDevicePixels(cr_, [&] { cairo_rectangle(cr_, d.left, d.top, d.getWidth(), d.getHeight()); });
  cairo_clip(cr_);
}

void CDrawContext::popClip() {
  if (clipDepth_ == 0) return;
  --clipDepth_;
  if (clipDepth_ < 16) clip_ = clipStack_[clipDepth_];
  cairo_restore(cr_);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
  // Whole surface pixels, centred on a pixel for odd widths, keep lines sharp.
  double w = deviceLineWidth();
  double half = std::fmod(w, 2.0) == 1.0 ? 0.5 : 0.0;
  double x0 = std::floor(from.x * scale_) + half, y0 = std::floor(from.y * scale_) + half;
  double x1 = std::floor(to.x * scale_) + half, y1 = std::floor(to.y * scale_) + half;
  setSource(frameColor_);
  inDevicePixels(cr_, [&] {
    cairo_move_to(cr_, x0, y0);
    cairo_line_to(cr_, x1, y1);
    cairo_set_line_width(cr_, w);
    cairo_stroke(cr_);
  });
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style) {
  CRect d = deviceRect(r, scale_);
  inDevicePixels(cr_, [&] {
    if (style != kDrawStroked) {
      cairo_rectangle(cr_, d.left, d.top, d.getWidth(), d.getHeight());
      setSource(fillColor_);
      cairo_fill(cr_);
    }
    if (style != kDrawFilled) {
      double w = deviceLineWidth();
      cairo_rectangle(cr_, d.left + w / 2, d.top + w / 2, d.getWidth() - w, d.getHeight() - w);
      setSource(frameColor_);
      cairo_set_line_width(cr_, w);
      cairo_stroke(cr_);
    }
  });
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
  // The pen starts on a whole surface pixel.
  cairo_move_to(cr_, std::round(x * scale_) / scale_, std::round(y * scale_) / scale_);
  setSource(fontColor_);
  cairo_show_text(cr_, text);
  popClip();
}

}  // namespace vgui
