#include "toolkit/CBitmap.h"

#include <cmath>

#include "toolkit/CDrawContext.h"
#include "toolkit/ResourceBitmaps.h"

namespace vgui {

CBitmap::CBitmap(long resourceId) : resourceId_(resourceId) {
  surface_ = ResourceBitmaps::acquire(resourceId);
  shared_ = surface_ != nullptr;
}

CBitmap::CBitmap(int width, int height) {
  if (width > 0 && height > 0) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
    }
  }
}

CBitmap::~CBitmap() {
  ResourceBitmaps::release(scaled_);
  if (shared_)
    ResourceBitmaps::release(surface_);
  else if (surface_)
    cairo_surface_destroy(surface_);
}

double CBitmap::getWidth() const { return surface_ ? cairo_image_surface_get_width(surface_) : 0; }

double CBitmap::getHeight() const {
  return surface_ ? cairo_image_surface_get_height(surface_) : 0;
}

cairo_surface_t* CBitmap::getSurface(double scale) {
  if (!surface_) return nullptr;
  if (std::fabs(scale - 1.0) < 1e-3) return surface_;
  if (!shared_) return nullptr;
  if (scaled_ && std::fabs(scale - scaledFactor_) < 1e-3) return scaled_;
  ResourceBitmaps::release(scaled_);
  scaled_ = ResourceBitmaps::acquire(resourceId_, scale);
  scaledFactor_ = scale;
  return scaled_;
}

void CBitmap::releaseScaled() {
  ResourceBitmaps::release(scaled_);
  scaled_ = nullptr;
  scaledFactor_ = 0;
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset) {
  drawAlphaBlend(context, dest, offset, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& dest, const CPoint& offset,
                             unsigned char alpha) {
  if (!surface_ || !context || dest.isEmpty() || alpha == 0) return;
  cairo_t* cr = context->getCairo();
  const double scale = context->getScale();
  cairo_surface_t* picture = getSurface(scale);
  cairo_save(cr);
  if (picture) {
    // Surface pixels throughout: the picture's pixel (offset s) lands on the
    // pixel of the destination's corner, one to one, never resampled. The
    // area is as large as the rounded destination size, so a film strip
    // frame is not joined by a row of the next one.
    cairo_identity_matrix(cr);
    CRect d = CDrawContext::deviceRect(dest, scale);
    double w = std::floor(dest.getWidth() * scale + 0.5);
    double h = std::floor(dest.getHeight() * scale + 0.5);
    if (d.getWidth() > w) d.right = d.left + w;
    if (d.getHeight() > h) d.bottom = d.top + h;
    cairo_rectangle(cr, d.left, d.top, d.getWidth(), d.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, picture, d.left - CDrawContext::deviceCoord(offset.x, scale),
                             d.top - CDrawContext::deviceCoord(offset.y, scale));
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  } else {
    // No picture at this size: the 1x one, stretched smoothly.
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface_, dest.left - offset.x, dest.top - offset.y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  }
  if (alpha == 255)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha / 255.0);
  cairo_restore(cr);
}

}  // namespace vgui
