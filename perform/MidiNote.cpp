#include "perform/MidiNote.h"

#include "perform/ADSR.h"

MidiNote::MidiNote() { initialise(); }

MidiNote::~MidiNote() = default;

void MidiNote::clearSlots() {
  for (int i = 0; i < kSlots; ++i) {
    stamps_[i] = 0;
    notes_[i] = 0;
    velocities_[i] = 0;
    sustained_[i] = false;
  }
}

void MidiNote::initialise() {
  clearSlots();
  top_ = -1;
  activeCount_ = 0;
  voices_ = 1;
  noteHeld_ = false;
  sustain_ = false;
}

void MidiNote::reset() {
  clearSlots();
  top_ = -1;
  activeCount_ = 0;
  noteHeld_ = false;
  sustain_ = false;
}

void MidiNote::setVoices(int n) {
  if (n < 1) n = 1;
  if (n > kSlots) n = kSlots;
  if (n == voices_) return;
  reset();
  voices_ = n;
}

int MidiNote::scanLimit() const {
  if (voices_ > 1) return voices_ - 1;
  const std::int64_t limit = top_ + 1;
  return limit >= kSlots ? kSlots - 1 : static_cast<int>(limit);
}

bool MidiNote::CheckNoteStillOn(long note) const {
  const int limit = scanLimit();
  for (int i = 0; i <= limit; ++i)
    if (notes_[i] == note) return true;
  return false;
}

int MidiNote::LastNoteSustain() const {
  const int limit = scanLimit();
  for (int i = 0; i <= limit; ++i)
    if (sustained_[i]) return static_cast<int>(notes_[i]);
  return -1;
}

int MidiNote::NoteOn(int note, int velocity, ADSR** envelopes) {
  if (voices_ == 1) {
    if (top_ >= kSlots - 1) return -1;  // full: the slots end here
    ++top_;
    notes_[top_] = note;
    velocities_[top_] = velocity;
    sustained_[top_] = false;
    noteHeld_ = true;
    return top_ == 0 ? 0 : -1;
  }

  for (int i = 0; i < voices_; ++i) {
    if (notes_[i] == note) {  // the same voice is struck again
      sustained_[i] = false;
      return i;
    }
  }
  if (++activeCount_ > voices_) activeCount_ = voices_;

  int slot = -1;
  if (envelopes != nullptr) {
    for (int i = 0; i < voices_; ++i) {
      if (envelopes[i] != nullptr && envelopes[i]->getState() == ADSR::kIdle) {
        slot = i;
        break;
      }
    }
  }
  if (slot < 0) {
    if (activeCount_ >= voices_) {
      slot = 0;  // oldest assignment; the lowest slot on a tie
      for (int i = 1; i < voices_; ++i)
        if (stamps_[i] < stamps_[slot]) slot = i;
    } else {
      slot = 0;  // a released key whose voice still sounds, highest first
      for (int i = voices_ - 1; i >= 0; --i) {
        if (notes_[i] == 0) {
          slot = i;
          break;
        }
      }
    }
  }
  notes_[slot] = note;
  velocities_[slot] = velocity;
  stamps_[slot] = top_;
  ++top_;
  sustained_[slot] = false;
  return slot;
}

int MidiNote::NoteOff(int note) {
  if (sustain_) {
    const int limit = scanLimit();
    for (int i = 0; i <= limit; ++i)
      if (notes_[i] == note) sustained_[i] = true;
    return -1;
  }

  if (voices_ > 1) {
    for (int i = 0; i < voices_; ++i) {
      if (notes_[i] == note) {
        notes_[i] = 0;
        sustained_[i] = false;
        if (--activeCount_ < 0) activeCount_ = 0;
        return i;
      }
    }
    return -1;
  }

  const std::int64_t oldTop = top_;
  --top_;
  if (top_ < 0) {
    // Empty now; slot 0 keeps the last note and velocity for LastNote().
    top_ = -1;
    notes_[1] = 0;
    sustained_[0] = false;
    sustained_[1] = false;
    noteHeld_ = false;
    return 0;
  }
  std::int64_t k = oldTop;
  for (std::int64_t i = 0; i <= oldTop; ++i) {
    if (notes_[i] == note) {
      k = i;
      break;
    }
  }
  for (std::int64_t i = k; i < oldTop; ++i) {
    notes_[i] = notes_[i + 1];
    velocities_[i] = velocities_[i + 1];
    sustained_[i] = sustained_[i + 1];
  }
  notes_[oldTop] = 0;
  sustained_[oldTop] = false;
  return noteHeld_ ? -1 : 0;
}
