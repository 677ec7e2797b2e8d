#include "toolkit/XErrorTrap.h"

#include <X11/Xlib.h>

namespace vgui {

namespace {

thread_local bool tErrorSeen = false;

int trapHandler(Display*, XErrorEvent*) {
  tErrorSeen = true;
  return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(_XDisplay* display) : display_(display) {
  if (display_) XSync(display_, False);
  tErrorSeen = false;
  previous_ = reinterpret_cast<void*>(XSetErrorHandler(trapHandler));
}

XErrorTrap::~XErrorTrap() {
  if (display_) XSync(display_, False);
  XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
}

bool XErrorTrap::failed() {
  if (display_) XSync(display_, False);
  return tErrorSeen;
}

}  // namespace vgui
