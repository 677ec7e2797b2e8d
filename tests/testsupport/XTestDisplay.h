// A connection to the test X server for display tests.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

// The server may still be letting the previous test's clients go: retry for
// up to two seconds before giving up (null: no display).
inline Display* openTestDisplay() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}
