// Where skin bitmaps come from: numbered PNG files "bmp%05d.png" in one
// resources folder (the bundle's Resources/), decoded once and shared by every
// CBitmap of the same number while any of them lives.
//
// A picture for a zoomed window is asked for with its scale: a file drawn at
// exactly that scale ("bmp%05d@2x.png", "@3x") is taken when there is one;
// otherwise the painter, when one is set, draws the picture at that size, so
// nothing is ever stretched. At 1x only the file counts. Without either there
// is no picture at that scale.
// Threads: any but the audio thread (a mutex guards the table).
#pragma once

#include <cairo.h>

#include <string>

namespace vgui {

class ResourceBitmaps {
 public:
  // Draws picture `id` at `scale` into a new surface, or answers null.
  using Painter = cairo_surface_t* (*)(long id, double scale);

  // Folder the numbered files are read from; set once by the plug-in.
  static void setFolder(const std::string& folder);
  static std::string getFolder();
  static void setPainter(Painter painter);
  // File name of resource `id` at `scale`: the folder, then "bmp%05d.png"
  // for 1, "bmp%05d@Nx.png" for a whole N; "" for other scales.
  static std::string pathFor(long id, double scale = 1.0);

  // Decoded (or painted) image of resource `id` at `scale` with one more
  // user, or null when there is none (nothing is cached then).
  static cairo_surface_t* acquire(long id, double scale = 1.0);
  // Drops one user of a surface from acquire(); the last drop frees it.
  static void release(cairo_surface_t* surface);

  // Number of distinct images held, and users of resource `id` at 1x.
  static int cachedCount();
  static int usersOf(long id);
};

}  // namespace vgui
