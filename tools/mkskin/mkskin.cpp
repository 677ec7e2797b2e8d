// mkskin: writes the instrument's skin bitmaps.
//
//   mkskin OUTPUT_FOLDER
//
// Writes bmp00139.png (panel), bmp00151.png (About page), bmp00172.png (knob
// film strip), bmp00178.png (on/off button), bmp00179.png and bmp00180.png
// (three-state mode buttons), and the same pictures drawn at twice and three
// times the size as bmp00139@2x.png ... bmp00180@3x.png for high-density
// screens. The drawing is fixed: the same fonts give the same files.
#include <cairo.h>
#include <dlfcn.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "tools/mkskin/SkinPainter.h"

namespace {

bool save(cairo_surface_t* s, const std::string& folder, long id, int scale) {
  char name[40];
  if (scale == 1)
    std::snprintf(name, sizeof(name), "/bmp%05ld.png", id);
  else
    std::snprintf(name, sizeof(name), "/bmp%05ld@%dx.png", id, scale);
  cairo_status_t st = s ? cairo_surface_write_to_png(s, (folder + name).c_str())
                        : CAIRO_STATUS_NO_MEMORY;
  if (st != CAIRO_STATUS_SUCCESS)
    std::fprintf(stderr, "mkskin: cannot write %s%s: %s\n", folder.c_str(), name,
                 cairo_status_to_string(st));
  return st == CAIRO_STATUS_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkskin OUTPUT_FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  int failures = 0;
  for (int scale : {1, 2, 3})
    for (long id : SkinPainter::kIds) {
      cairo_surface_t* s = SkinPainter::paint(id, scale);
      if (!save(s, folder, id, scale)) ++failures;
      if (s) cairo_surface_destroy(s);
    }
  // Hand cairo's and fontconfig's caches back, so a leak checker in a
  // sanitizer build sees a clean exit. Looked up so the tool need not link
  // fontconfig itself.
  cairo_debug_reset_static_data();
  if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
  return failures ? 1 : 0;
}
