// A list of VST events with storage of its own, handed to a plug-in as one
// VstEvents record. Cleared and refilled every block without giving back
// memory, so a render loop stops allocating once the largest block was seen.
// Threads: one thread at a time (the one that fills and sends the list).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vst/AEffect.h"

namespace host {

class MidiEventList {
 public:
  explicit MidiEventList(std::size_t capacity = 64);
  MidiEventList(const MidiEventList& other);
  MidiEventList& operator=(const MidiEventList& other);
  ~MidiEventList();

  // Forgets the events, keeps the memory.
  void clear();
  void reserve(std::size_t events, std::size_t sysexBytes = 0);

  // Raw three-byte message, sent as given (fuzz tests want bad bytes too).
  void addMidi(int deltaFrames, std::uint8_t status, std::uint8_t data1 = 0,
               std::uint8_t data2 = 0, std::int32_t flags = 0);
  // Typed helpers: channel 0..15, data bytes masked to 7 bits.
  void noteOn(int deltaFrames, int channel, int note, int velocity);
  void noteOff(int deltaFrames, int channel, int note, int velocity = 0);
  void controller(int deltaFrames, int channel, int number, int value);
  // value 0..16383 (clamped), 8192 is the centre.
  void pitchBend(int deltaFrames, int channel, int value);
  void programChange(int deltaFrames, int channel, int program);
  void channelPressure(int deltaFrames, int channel, int value);
  void polyPressure(int deltaFrames, int channel, int note, int value);
  // The bytes are copied; the list owns them.
  void sysex(int deltaFrames, const void* data, std::size_t size);
  // Copies any MIDI or SysEx event, giving it a new delta.
  void append(const vst::VstEvent& event, int deltaFrames);

  std::size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  std::size_t capacity() const { return slots_.capacity(); }

  // Events in insertion order (not yet sorted).
  const vst::VstEvent& at(std::size_t i) const { return slots_[i].event; }
  // The SysEx bytes of event i (its sysexDump is only valid after vstEvents()).
  const char* sysexData(std::size_t i) const;

  // The record to hand to effProcessEvents: events ordered by deltaFrames,
  // equal deltas in insertion order. Valid until the list is changed.
  vst::VstEvents* vstEvents();

 private:
  union Slot {
    vst::VstEvent event;
    vst::VstMidiEvent midi;
    vst::VstMidiSysexEvent sysex;
  };
  struct Pending {
    int delta;
    std::size_t slot;
  };

  Slot& newSlot(int deltaFrames, vst::VstInt32 type);
  void growHeader(std::size_t events);

  std::vector<Slot> slots_;
  std::vector<std::size_t> sysexOffset_;  // per slot; only SysEx slots use it
  std::vector<char> sysexBytes_;
  std::vector<Pending> order_;
  vst::VstEvents* header_ = nullptr;  // numEvents, reserved, then the pointers
  std::size_t headerCapacity_ = 0;
};

}  // namespace host
