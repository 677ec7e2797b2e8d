// Note tracker. With one voice it is a last-note-priority stack for mono
// playing (the top is the sounding note); with more it is a voice allocator
// that prefers idle voices and steals the oldest assignment when all are busy.
// Note 0 marks a free slot.
//
// Threads: every operation runs on the audio thread (MIDI handling); reset and
// setVoices also run from parameter changes, which the engine must not run
// concurrently with MIDI handling on the same tracker.
#pragma once

#include <cstdint>

#include "support/VornMain.h"

class ADSR;

class MidiNote : public VornMain {
 public:
  static constexpr int kSlots = 128;

  MidiNote();
  ~MidiNote() override;

  // A new count clears everything; values below 1 become 1, above 128 become 128.
  void setVoices(int n);
  void reset();
  void init() { initialise(); }

  // Stack: 0 when the stack was empty (start the voice), else -1. A push onto
  // a full stack is ignored and returns -1.
  // Allocator: the slot to start. envelopes holds one envelope per slot.
  int NoteOn(int note, int velocity, ADSR** envelopes);
  // Stack: 0 when the stack became empty (release), -1 while notes remain.
  // Allocator: the freed slot, or -1. With sustain on: marks and returns -1.
  int NoteOff(int note);

  int LastNote() const { return static_cast<int>(notes_[topSlot()]); }
  int LastVelocity() const { return static_cast<int>(velocities_[topSlot()]); }
  bool noNotes() const { return top_ == -1; }
  bool CheckNoteStillOn(long note) const;

  void SetSustain(bool on) { sustain_ = on; }
  bool getIsSustainOn() const { return sustain_; }
  int LastNoteSustain() const;
  int GetNote(long slot) const { return inRange(slot) ? static_cast<int>(notes_[slot]) : 0; }
  int NoteV(int slot) const { return inRange(slot) ? static_cast<int>(velocities_[slot]) : 0; }
  bool isNoteOn() const { return noteHeld_; }

  int getVoices() const { return voices_; }
  long getActiveCount() const { return static_cast<long>(activeCount_); }
  bool isSustained(int slot) const { return inRange(slot) && sustained_[slot]; }

 private:
  static bool inRange(long slot) { return slot >= 0 && slot < kSlots; }
  void initialise();
  void clearSlots();
  int topSlot() const { return top_ >= 0 && top_ < kSlots ? static_cast<int>(top_) : 0; }
  // Last slot (inclusive) that CheckNoteStillOn and the sustain scan look at.
  int scanLimit() const;

  std::int64_t stamps_[kSlots];
  std::int64_t notes_[kSlots];
  std::int64_t velocities_[kSlots];
  bool sustained_[kSlots];
  std::int64_t top_ = -1;
  std::int64_t activeCount_ = 0;
  std::int32_t voices_ = 1;
  bool noteHeld_ = false;
  bool sustain_ = false;
};
