#include "toolkit/CBitmap.h"

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
  if (shared_)
    ResourceBitmaps::release(surface_);
  else if (surface_)
    cairo_surface_destroy(surface_);
}

double CBitmap::getWidth() const { return surface_ ? cairo_image_surface_get_width(surface_) : 0; }

double CBitmap::getHeight() const {
  return surface_ ? cairo_image_surface_get_height(surface_) : 0;
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset) {
  drawAlphaBlend(context, dest, offset, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& dest, const CPoint& offset,
                             unsigned char alpha) {
  if (!surface_ || !context || dest.isEmpty() || alpha == 0) return;
  cairo_t* cr = context->getCairo();
  cairo_save(cr);
  cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
  cairo_clip(cr);
  cairo_set_source_surface(cr, surface_, dest.left - offset.x, dest.top - offset.y);
  if (alpha == 255)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha / 255.0);
  cairo_restore(cr);
}

}  // namespace vgui
