// Where skin bitmaps come from: numbered PNG files "bmp%05d.png" in one
// resources folder (the bundle's Resources/), decoded once and shared by every
// CBitmap of the same number while any of them lives.
// Threads: any but the audio thread (a mutex guards the table).
#pragma once

#include <cairo.h>

#include <string>

namespace vgui {

class ResourceBitmaps {
 public:
  // Folder the numbered files are read from; set once by the plug-in.
  static void setFolder(const std::string& folder);
  static std::string getFolder();
  // File name of resource `id`: the folder, then "bmp%05d.png".
  static std::string pathFor(long id);

  // Decoded image of resource `id` with one more user, or null when the file
  // is missing or unreadable (nothing is cached then).
  static cairo_surface_t* acquire(long id);
  // Drops one user of a surface from acquire(); the last drop frees it.
  static void release(cairo_surface_t* surface);

  // Number of distinct decoded resources held, and users of one of them.
  static int cachedCount();
  static int usersOf(long id);
};

}  // namespace vgui
