// A connection to the test X server for display tests, and the user's hands
// on it: keys, clicks, a second connection acting while a modal loop runs,
// and pixels read back.
#pragma once

// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

// cairo and fontconfig keep font caches for the life of the process; a test
// binary that draws registers this once so a leak checker sees only real
// leaks. Tests only: a plug-in must never reset cairo, the host uses it too.
class CairoStaticData : public ::testing::Environment {
 public:
  void TearDown() override {
    cairo_debug_reset_static_data();
    // Looked up so the tests need not link fontconfig.
    if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
  }
};

// The server may still be letting the previous test's clients go: retry for
// up to two seconds before giving up (null: no display).
inline Display* openTestDisplay() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

// Returns once the server takes new clients again, so the next test finds it ready.
inline void waitForTestDisplay() {
  if (Display* probe = openTestDisplay()) XCloseDisplay(probe);
}

// A mapped top-level window standing in for the host's, once the server shows it.
inline Window mapHostWindow(Display* d, int x, int y, int width, int height) {
  int screen = DefaultScreen(d);
  Window w = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, BlackPixel(d, screen),
                                 WhitePixel(d, screen));
  XSelectInput(d, w, StructureNotifyMask);
  XMapWindow(d, w);
  XEvent e;
  do XNextEvent(d, &e);
  while (e.type != MapNotify);
  return w;
}

inline void pressKey(Display* d, KeySym sym) {
  KeyCode code = XKeysymToKeycode(d, sym);
  XTestFakeKeyEvent(d, code, True, 0);
  XTestFakeKeyEvent(d, code, False, 0);
  XFlush(d);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
}

inline void clickAt(Display* d, int rootX, int rootY, unsigned button = 1) {
  XTestFakeMotionEvent(d, -1, rootX, rootY, 0);
  XTestFakeButtonEvent(d, button, True, 0);
  XTestFakeButtonEvent(d, button, False, 0);
  XFlush(d);
}

// A left-button drag from (x, y) straight up by `up` pixels in ten moves,
// with `idle(ms)` for the GUI thread after each event.
inline void dragUp(Display* d, int x, int y, int up, const std::function<void(int)>& idle) {
  for (int step = 0; step <= 10; ++step) {
    XTestFakeMotionEvent(d, -1, x, y - up * step / 10, 0);
    if (step == 0) XTestFakeButtonEvent(d, 1, True, 0);
    XFlush(d);
    idle(step == 0 ? 30 : 10);
  }
  XTestFakeButtonEvent(d, 1, False, 0);
  XFlush(d);
  idle(40);
}

// Runs a script on a connection of its own once `ready` holds, as a user
// acting on a pop-up or dialog while the GUI thread sits in its modal loop.
class UserThread {
 public:
  UserThread(std::function<bool()> ready, std::function<void(Display*)> script)
      : thread_([this, ready, script] {
          Display* d = XOpenDisplay(nullptr);
          for (int i = 0; i < 400 && !ready(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          started = ready();
          std::this_thread::sleep_for(std::chrono::milliseconds(120));
          if (started && d) script(d);
          if (d) XCloseDisplay(d);
          finished = true;
        }) {}
  ~UserThread() { thread_.join(); }
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};

 private:
  std::thread thread_;
};

// What the server shows in `w` (the root window for the screen), as RGB24.
inline cairo_surface_t* grabWindow(Display* d, Window w, int x, int y, int width, int height) {
  XImage* img = XGetImage(d, w, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          AllPlanes, ZPixmap);
  if (!img) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  for (int row = 0; row < height; ++row) {
    auto* line = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                             row * cairo_image_surface_get_stride(s));
    for (int col = 0; col < width; ++col)
      line[col] = static_cast<uint32_t>(XGetPixel(img, col, row)) & 0xffffff;
  }
  cairo_surface_mark_dirty(s);
  XDestroyImage(img);
  return s;
}

inline uint32_t surfacePixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                     y * cairo_image_surface_get_stride(s))[x] & 0xffffff;
}

// Number of pixels that differ between two surfaces inside the given box.
inline int differingPixels(cairo_surface_t* a, cairo_surface_t* b, int left, int top, int right,
                           int bottom) {
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (surfacePixel(a, x, y) != surfacePixel(b, x, y)) ++n;
  return n;
}
