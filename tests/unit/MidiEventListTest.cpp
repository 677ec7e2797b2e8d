#include <gtest/gtest.h>

#include <vector>

#include "host/MidiEventList.h"

using namespace vst;
using host::MidiEventList;

namespace {
const VstMidiEvent& midiOf(const VstEvent* event) {
  return *reinterpret_cast<const VstMidiEvent*>(event);
}
unsigned byteOf(const VstMidiEvent& midi, int i) {
  return static_cast<unsigned char>(midi.midiData[i]);
}
}  // namespace

TEST(MidiEventList, VstEventsAreOrderedByDeltaKeepingInsertionOrderOnTies) {
  MidiEventList list(4);
  list.noteOn(50, 0, 1, 1);
  list.noteOff(10, 0, 2, 0);
  list.noteOn(10, 0, 3, 1);  // same frame as the note-off: must stay after it
  list.noteOn(0, 0, 4, 1);
  list.noteOff(50, 0, 5, 0);
  VstEvents* events = list.vstEvents();
  ASSERT_EQ(events->numEvents, 5);
  const int notes[] = {4, 2, 3, 1, 5};
  const int deltas[] = {0, 10, 10, 50, 50};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(events->events[i]->deltaFrames, deltas[i]);
    EXPECT_EQ(byteOf(midiOf(events->events[i]), 1), static_cast<unsigned>(notes[i]));
  }
}

