// Marks the calling thread as the one running the plug-in's audio callbacks
// while it lives: work that must not happen there (file I/O) is handed to the
// worker instead. Hosts may move their audio thread; the mark goes with the
// call, not with a thread.
#pragma once

#include <atomic>
#include <thread>

static_assert(std::atomic<std::thread::id>::is_always_lock_free);

class AudioThreadScope {
 public:
  explicit AudioThreadScope(std::atomic<std::thread::id>& owner)
      : owner_(owner),
        self_(std::this_thread::get_id()),
        previous_(owner.exchange(self_, std::memory_order_relaxed)) {}
  ~AudioThreadScope() {
    // Unless another thread took the mark meanwhile (a host calling from two
    // threads at once), hand back what was there: none, or ourselves when
    // nested.
    std::thread::id expected = self_;
    owner_.compare_exchange_strong(expected, previous_, std::memory_order_relaxed);
  }
  AudioThreadScope(const AudioThreadScope&) = delete;
  AudioThreadScope& operator=(const AudioThreadScope&) = delete;

  static bool isCallingThread(const std::atomic<std::thread::id>& id) {
    return id.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::atomic<std::thread::id>& owner_;
  std::thread::id self_;
  std::thread::id previous_;
};
