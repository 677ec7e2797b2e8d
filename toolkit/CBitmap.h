// A picture: a numbered skin resource or an empty image of a given size.
// Sizes and offsets are in frame pixels (the 1x picture). Drawn into a
// context with a scale factor, a resource is drawn from its own picture at
// that scale (see ResourceBitmaps), pixel for pixel onto the surface, so it
// is as sharp as at 1x; only when there is no such picture is the 1x one
// stretched.
// Threads: create on any thread but the audio thread; draw on the GUI thread.
#pragma once

#include <cairo.h>

#include "toolkit/CBaseObject.h"
#include "toolkit/CRect.h"

namespace vgui {

class CDrawContext;

class CBitmap : public CBaseObject {
 public:
  // Resource `resourceId` ("bmp%05d.png" in the resources folder). A missing
  // file gives an unloaded bitmap of size 0 x 0 that draws nothing.
  explicit CBitmap(long resourceId);
  // An empty, fully transparent bitmap.
  CBitmap(int width, int height);

  long getResourceId() const { return resourceId_; }
  bool isLoaded() const { return surface_ != nullptr; }
  double getWidth() const;
  double getHeight() const;
  cairo_surface_t* getSurface() const { return surface_; }
  // The picture drawn at `scale` (the 1x one for 1), or null when there is
  // none; kept until another scale is asked for.
  cairo_surface_t* getSurface(double scale);
  // Lets the picture of another scale go (a closed window needs none).
  void releaseScaled();

  // Draws the part of the bitmap that starts at `offset` into `dest`.
  void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint());
  // The same with an overall opacity 0..255.
  void drawAlphaBlend(CDrawContext* context, const CRect& dest, const CPoint& offset,
                      unsigned char alpha);

 protected:
  ~CBitmap() override;

 private:
  long resourceId_ = 0;
  bool shared_ = false;
  cairo_surface_t* surface_ = nullptr;
  cairo_surface_t* scaled_ = nullptr;
  double scaledFactor_ = 0;
};

}  // namespace vgui
