// A silence flag shared by sound readers and the oscillators that play them.
//
// The flag is raised when a sound file fails to load or loads only under its
// alternative name; while it is up, every oscillator reading it outputs
// silence and ignores notes. The plug-in keeps one per instance, so one bad
// sound set cannot silence other instances in the same host. A sound set
// loaded for an instance raises a flag of its own while it loads; the
// instance's flag takes that value when the set takes over on the audio
// thread, so the set that plays meanwhile stays as silent or as audible as
// it was.
//
// Threads: noWave() any thread (audio thread reads it per sample);
// beginSoundSet()/raiseNoWave() whoever loads sounds; takeOver() the thread
// that puts a loaded set in place (the audio thread).
#pragma once

#include <atomic>

class SoundStatus {
 public:
  SoundStatus() = default;
  SoundStatus(const SoundStatus&) = delete;
  SoundStatus& operator=(const SoundStatus&) = delete;

  bool noWave() const { return noWave_.load(std::memory_order_acquire); }
  // A file of the current sound set failed: silence the instance.
  void raiseNoWave() { noWave_.store(true, std::memory_order_release); }
  // The instance starts loading a new sound set: give it a fresh chance.
  void beginSoundSet() { noWave_.store(false, std::memory_order_release); }
  // A loaded set takes over: its flag becomes this one.
  void takeOver(const SoundStatus& set) {
    noWave_.store(set.noWave(), std::memory_order_release);
  }

 private:
  std::atomic<bool> noWave_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};
