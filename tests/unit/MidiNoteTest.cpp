#include <gtest/gtest.h>

#include <vector>

#include "perform/ADSR.h"
#include "perform/MidiNote.h"

namespace {

std::vector<int> entries(const MidiNote& m) {
  std::vector<int> out;
  for (int i = 0; i < MidiNote::kSlots && m.GetNote(i) != 0; ++i) out.push_back(m.GetNote(i));
  return out;
}

}  // namespace

TEST(MidiNoteStack, ReleaseFromTheMiddleKeepsOrderAndDuplicatesAndUnknownNotesBalance) {
  MidiNote m;
  EXPECT_TRUE(m.noNotes());
  EXPECT_EQ(m.NoteOn(60, 90, nullptr), 0);  // first note: start the voice
  EXPECT_EQ(m.NoteOn(62, 91, nullptr), -1);
  EXPECT_EQ(m.NoteOn(64, 92, nullptr), -1);
  EXPECT_EQ(m.NoteOff(62), -1);
  EXPECT_EQ(entries(m), (std::vector<int>{60, 64}));
  EXPECT_EQ(m.NoteOff(64), -1);
  EXPECT_EQ(m.LastNote(), 60);
  EXPECT_EQ(m.LastVelocity(), 90);
  EXPECT_EQ(m.NoteOff(60), 0);  // now empty: release the voice
  EXPECT_TRUE(m.noNotes());
  EXPECT_EQ(m.LastNote(), 60);  // slot 0 keeps the last note
  EXPECT_TRUE(m.CheckNoteStillOn(60));  // an empty stack still sees slot 0

  MidiNote d;
  for (int n : {60, 62, 60, 64}) d.NoteOn(n, 100, nullptr);
  d.NoteOff(60);  // the lowest copy goes
  EXPECT_EQ(entries(d), (std::vector<int>{62, 60, 64}));
  EXPECT_TRUE(d.CheckNoteStillOn(60));

  MidiNote u;  // an unknown note-off removes the top, so counts balance
  u.NoteOn(60, 100, nullptr);
  u.NoteOn(62, 100, nullptr);
  EXPECT_EQ(u.NoteOff(70), -1);
  EXPECT_EQ(entries(u), (std::vector<int>{60}));
  EXPECT_EQ(u.NoteOff(70), 0);
  EXPECT_TRUE(u.noNotes());
}

TEST(MidiNoteAllocator, IdleVoicesInOrderThenStealTheOldest) {
  ADSR env[12];
  ADSR* voices[12];
  for (int i = 0; i < 12; ++i) voices[i] = &env[i];
  auto sound = [&](int i) {  // the caller starts the voice
    env[i].setAttackTime(0.5f);
    env[i].keyOn(100, 60);
    env[i].tick();
  };
  MidiNote m;
  m.setVoices(12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(m.NoteOn(40 + i, 100, voices), i);  // idle voices in order
    sound(i);
  }
  EXPECT_EQ(m.NoteOn(70, 100, voices), 0);  // all sounding: the oldest, slot 0
  sound(0);
  EXPECT_EQ(m.NoteOn(71, 100, voices), 1);
  EXPECT_EQ(m.GetNote(0), 70);
  env[7].Reset();  // an idle envelope wins over stealing
  EXPECT_EQ(m.NoteOn(80, 100, voices), 7);
}
