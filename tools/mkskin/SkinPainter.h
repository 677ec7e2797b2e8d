// The instrument's skin pictures, drawn with cairo at any size: the build
// writes them as files (mkskin), the editor draws them again at the size of
// a zoomed window so they stay sharp rather than stretched.
//
// Pictures by number: 139 panel, 151 About page, 172 knob film strip, 178
// on/off button, 179 and 180 the three-state mode buttons. At scale s a
// picture of w x h panel pixels is round(w s) x round(h s) pixels, drawn from
// the same paths, so a point (x, y) of the panel lies at (x s, y s).
//
// Threads: any; every call draws into a surface of its own.
#pragma once

#include <cairo.h>

class SkinPainter {
 public:
  static constexpr long kIds[] = {139, 151, 172, 178, 179, 180};
  static constexpr double kMinScale = 0.25;
  static constexpr double kMaxScale = 4.0;

  // A new surface (the caller destroys it), or null for an unknown number or
  // a scale outside [kMinScale, kMaxScale].
  static cairo_surface_t* paint(long id, double scale = 1.0);
  static bool paints(long id);
  // Pixels of `size` panel pixels at `scale`.
  static int scaledSize(int size, double scale);
};
