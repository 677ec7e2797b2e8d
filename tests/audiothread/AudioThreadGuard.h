// Counts what a real-time thread must never do: allocate or free memory,
// take or wait on a lock, or call into the file system. The executable that
// links this file replaces the C library's entry points for those calls
// (malloc and friends, the pthread locks, futex system calls, lazily
// initialised statics, open/read/write and the stdio calls) and forwards each
// to the C library. A plug-in module loaded later binds to these
// replacements, so its calls pass through here too.
//
// Nothing is counted unless the calling thread is inside a Scope and not
// inside a Pause. The first distinct offences (by call stack) keep their
// stacks; report() turns them into text with function names and lines.
//
// Threads: Scope and Pause on any thread, for that thread only; count(),
// reset() and report() from a thread that is not counting.
#pragma once

#include <string>

class AudioThreadGuard {
 public:
  // Counting on this thread while it lives (nests).
  class Scope {
   public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
  };
  // No counting on this thread while it lives, inside a Scope or not: for
  // the host's own code that the plug-in calls back into.
  class Pause {
   public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
  };

  // Offences since the last reset.
  static long count();
  // Offences of one kind ("malloc", "pthread_mutex_lock", ...).
  static long count(const char* kind);
  static void reset();
  // Every kept offence: its kind, how often that stack occurred and the
  // stack, innermost frame first (the first few in full, the rest in one
  // line each). Empty when there was none.
  static std::string report();
  // True when the replacements are the ones in use (a sanitizer's
  // interceptors, for one, would take their place).
  static bool active();
};
