// The MIDI events of one block, copied out of the host's list so that nothing
// is read after the host may have freed it. Events keep the host's order and
// are released sample by sample.
//
// Threads: audio thread only. No allocation after construction.
#pragma once

#include <climits>
#include <cstdint>

#include "vst/AEffect.h"

class MidiEventQueue {
 public:
  static constexpr int kCapacity = 4096;

  struct Event {
    std::int32_t deltaFrames;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
  };

  // Replaces the queue with the MIDI events of the list; other event types
  // are skipped, events past the capacity are dropped.
  void take(const vst::VstEvents* events);
  void clear() {
    count_ = 0;
    next_ = 0;
  }
  bool pending() const { return next_ < count_; }
  // The next event if it is due at the 1-based sample counter, else null.
  const Event* nextDue(int sampleCounter) {
    if (next_ >= count_) return nullptr;
    const Event& e = events_[next_];
    if (e.deltaFrames != 0 && e.deltaFrames > sampleCounter) return nullptr;
    ++next_;
    return &e;
  }
  // The 1-based sample counter after i at which the next event falls due;
  // INT_MAX when none is left.
  int nextDueAfter(int i) const {
    if (next_ >= count_) return INT_MAX;
    const int d = events_[next_].deltaFrames;
    return d > i ? d : i + 1;
  }
  int size() const { return count_; }
  int dropped() const { return dropped_; }

 private:
  Event events_[kCapacity];
  int count_ = 0;
  int next_ = 0;
  int dropped_ = 0;
};
