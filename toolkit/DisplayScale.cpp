#include "toolkit/DisplayScale.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace vgui {

double DisplayScale::clamp(double factor) {
  if (!(factor >= kMin)) return kMin;  // NaN too
  return factor > kMax ? kMax : factor;
}

double DisplayScale::fromResources(const char* resources) {
  if (!resources || !*resources) return 0;
  static std::once_flag once;
  std::call_once(once, [] { XrmInitialize(); });
  XrmDatabase db = XrmGetStringDatabase(resources);
  if (!db) return 0;
  double factor = 0;
  char* type = nullptr;
  XrmValue value;
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
    char* end = nullptr;
    double dpi = std::strtod(value.addr, &end);
    if (end != value.addr && std::isfinite(dpi) && dpi > 0) factor = dpi / 96.0;
  }
  XrmDestroyDatabase(db);
  return factor;
}

double DisplayScale::fromGdkScale(const char* value) {
  if (!value || !*value) return 0;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(value, &end, 10);
  if (errno || *end || n < 1) return 0;
  return static_cast<double>(n);
}

double DisplayScale::ofDisplay(_XDisplay* display) {
  double factor = display ? fromResources(XResourceManagerString(display)) : 0;
  if (factor <= 0) factor = fromGdkScale(std::getenv("GDK_SCALE"));
  return clamp(factor > 0 ? factor : 1.0);
}

double DisplayScale::ofDefaultDisplay() {
  Display* display = XOpenDisplay(nullptr);
  double factor = ofDisplay(display);
  if (display) XCloseDisplay(display);
  return factor;
}

}  // namespace vgui
