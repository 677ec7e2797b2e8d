// Counts what a real-time thread must never do: allocate or free memory, take
// or wait on a lock, touch files. The executable linking this file replaces
// the C library's entry points for those; a module loaded later binds to them
// too. Only calls on a thread inside a Scope and outside a Pause count; the
// first ones keep their call stacks for report().
#pragma once

#include <string>

class AudioThreadGuard {
 public:
  // Counting on this thread while it lives (nests).
  class Scope {
   public:
    Scope();
    ~Scope();
  };
  // Not counting on this thread while it lives: host code called back into.
  class Pause {
   public:
    Pause();
    ~Pause();
  };

  // count(), reset() and report() from a thread that is not counting.
  static long count();
  static void reset();
  // Each distinct kept stack with its hits, innermost first; empty if none.
  static std::string report();
  // False when something else (a sanitizer) took the replacements' place.
  static bool active();
};
