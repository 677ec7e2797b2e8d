#include <gtest/gtest.h>

#include <cstring>
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

TEST(MidiEventList, TypedHelpersBuildTheRightBytes) {
  MidiEventList list;
  list.noteOn(0, 3, 60, 100);
  list.noteOff(1, 15, 61, 64);
  list.controller(2, 0, 123, 0);
  list.pitchBend(3, 1, 8192);
  list.pitchBend(4, 1, 20000);  // clamped to the top
  list.pitchBend(5, 1, -5);     // clamped to the bottom
  list.programChange(6, 2, 127);
  list.channelPressure(7, 4, 90);
  list.polyPressure(8, 5, 64, 33);
  list.controller(9, 17, 200, 300);  // channel and data bytes masked
  const unsigned expected[][3] = {{0x93, 60, 100}, {0x8F, 61, 64}, {0xB0, 123, 0},
                                  {0xE1, 0, 64},   {0xE1, 127, 127}, {0xE1, 0, 0},
                                  {0xC2, 127, 0},  {0xD4, 90, 0},  {0xA5, 64, 33},
                                  {0xB1, 200 & 0x7f, 300 & 0x7f}};
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    const VstEvent& e = list.at(i);
    ASSERT_EQ(e.type, kVstMidiType);
    EXPECT_EQ(e.byteSize, static_cast<VstInt32>(sizeof(VstMidiEvent)));
    EXPECT_EQ(e.deltaFrames, static_cast<VstInt32>(i));
    for (int b = 0; b < 3; ++b) EXPECT_EQ(byteOf(midiOf(&e), b), expected[i][b]) << i << ":" << b;
  }
}

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

TEST(MidiEventList, GrowsPastItsCapacityAndKeepsEveryEventIntact) {
  MidiEventList list(2);
  const char dump[] = {char(0xF0), 0x7D, 0x01, char(0xF7)};
  for (int i = 0; i < 300; ++i) {
    if (i % 10 == 0)
      list.sysex(i, dump, sizeof(dump));
    else
      list.noteOn(i, 0, i & 0x7f, 1);
  }
  VstEvents* events = list.vstEvents();
  ASSERT_EQ(events->numEvents, 300);
  for (int i = 0; i < 300; ++i) {
    const VstEvent* e = events->events[i];
    ASSERT_EQ(e->deltaFrames, i);
    if (i % 10 == 0) {
      ASSERT_EQ(e->type, kVstSysExType);
      auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(e);
      ASSERT_EQ(sysex->dumpBytes, 4);
      EXPECT_EQ(std::memcmp(sysex->sysexDump, dump, 4), 0) << i;
    } else {
      EXPECT_EQ(byteOf(midiOf(e), 1), static_cast<unsigned>(i & 0x7f));
    }
  }
}

TEST(MidiEventList, ClearKeepsStorageSoRefillingDoesNotReallocate) {
  MidiEventList list(16);
  for (int i = 0; i < 16; ++i) list.noteOn(i, 0, 60, 1);
  VstEvents* first = list.vstEvents();
  const VstEvent* slot0 = &list.at(0);
  std::size_t capacity = list.capacity();
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.vstEvents()->numEvents, 0);
  for (int i = 0; i < 16; ++i) list.noteOff(i, 0, 60);
  EXPECT_EQ(list.capacity(), capacity);
  EXPECT_EQ(list.vstEvents(), first);
  EXPECT_EQ(&list.at(0), slot0);
  EXPECT_EQ(list.vstEvents()->numEvents, 16);
}

TEST(MidiEventList, SysexBytesAreCopiedAndAppendCarriesThemOver) {
  std::vector<char> source = {char(0xF0), 0x43, 0x10, 0x4C, char(0xF7)};
  MidiEventList list;
  list.sysex(7, source.data(), source.size());
  source[1] = 0x00;  // the list must not read the caller's buffer later
  list.sysex(8, nullptr, 0);
  VstEvents* events = list.vstEvents();
  auto* first = reinterpret_cast<VstMidiSysexEvent*>(events->events[0]);
  EXPECT_EQ(first->dumpBytes, 5);
  EXPECT_EQ(first->sysexDump[1], 0x43);
  auto* empty = reinterpret_cast<VstMidiSysexEvent*>(events->events[1]);
  EXPECT_EQ(empty->dumpBytes, 0);
  EXPECT_EQ(empty->sysexDump, nullptr);

  MidiEventList other;
  other.append(*events->events[0], 3);
  list.clear();  // the copy must own its bytes
  list.sysex(0, "\xF0\x00\x00\xF7", 4);
  list.vstEvents();
  VstEvents* copied = other.vstEvents();
  auto* copy = reinterpret_cast<VstMidiSysexEvent*>(copied->events[0]);
  EXPECT_EQ(copy->deltaFrames, 3);
  ASSERT_EQ(copy->dumpBytes, 5);
  EXPECT_EQ(copy->sysexDump[1], 0x43);
  EXPECT_EQ(copy->sysexDump[3], 0x4C);
}

TEST(MidiEventList, AppendKeepsMidiFieldsAndCopiesAreIndependent) {
  MidiEventList source;
  source.addMidi(100, 0x90, 64, 99, kVstMidiEventIsRealtime);
  MidiEventList target;
  target.append(source.at(0), 5);
  const VstMidiEvent& moved = midiOf(&target.at(0));
  EXPECT_EQ(moved.deltaFrames, 5);
  EXPECT_EQ(moved.flags, kVstMidiEventIsRealtime);
  EXPECT_EQ(byteOf(moved, 2), 99u);

  MidiEventList copy(target);
  target.clear();
  target.noteOff(0, 0, 1);
  VstEvents* events = copy.vstEvents();
  ASSERT_EQ(events->numEvents, 1);
  EXPECT_EQ(byteOf(midiOf(events->events[0]), 1), 64u);
  EXPECT_NE(events, target.vstEvents());
}
