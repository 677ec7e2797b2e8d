// Catches X protocol errors of the calls made while it lives, instead of
// Xlib's process-wide default handler, which exits the host.
// Threads: the GUI thread; one trap at a time.
#pragma once

struct _XDisplay;

namespace vgui {

class XErrorTrap {
 public:
  explicit XErrorTrap(_XDisplay* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits for the server to answer everything sent so far, then tells
  // whether any of it failed.
  bool failed();

 private:
  _XDisplay* display_;
  void* previous_;
};

}  // namespace vgui
