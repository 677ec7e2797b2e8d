// Per plug-in instance state shared by its sound readers and oscillators.
//
// The silence flag is raised when a sound file of this instance fails to
// load; while it is up, every oscillator of the instance outputs silence and
// ignores notes. It belongs to one instance only, so one bad sound set cannot
// silence other instances in the same host, and it is lowered again when the
// instance starts on its next sound set.
//
// Threads: noWave() any thread (audio thread reads it per sample);
// beginSoundSet()/raiseNoWave() control thread (whoever loads sounds).
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

 private:
  std::atomic<bool> noWave_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};
