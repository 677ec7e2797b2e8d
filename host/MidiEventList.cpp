#include "host/MidiEventList.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

using namespace vst;

namespace host {

namespace {
constexpr std::size_t headerBytes(std::size_t events) {
  std::size_t bytes = offsetof(VstEvents, events) + events * sizeof(VstEvent*);
  return bytes < sizeof(VstEvents) ? sizeof(VstEvents) : bytes;
}

std::uint8_t channelStatus(std::uint8_t kind, int channel) {
  return static_cast<std::uint8_t>(kind | (static_cast<unsigned>(channel) & 0x0f));
}

std::uint8_t data7(int value) { return static_cast<std::uint8_t>(value & 0x7f); }
}  // namespace

MidiEventList::MidiEventList(std::size_t capacity) { reserve(capacity); }

MidiEventList::MidiEventList(const MidiEventList& other)
    : slots_(other.slots_), sysexOffset_(other.sysexOffset_), sysexBytes_(other.sysexBytes_),
      order_(other.order_) {
  reserve(other.capacity());
}

MidiEventList& MidiEventList::operator=(const MidiEventList& other) {
  if (this != &other) {
    slots_ = other.slots_;
    sysexOffset_ = other.sysexOffset_;
    sysexBytes_ = other.sysexBytes_;
    order_ = other.order_;
    reserve(other.capacity());
  }
  return *this;
}

MidiEventList::~MidiEventList() { ::operator delete(header_); }

void MidiEventList::clear() {
  slots_.clear();
  sysexOffset_.clear();
  sysexBytes_.clear();
  order_.clear();
  if (header_) header_->numEvents = 0;
}

void MidiEventList::reserve(std::size_t events, std::size_t sysexBytes) {
  slots_.reserve(events);
  sysexOffset_.reserve(events);
  order_.reserve(events);
  sysexBytes_.reserve(sysexBytes);
  growHeader(events);
}

void MidiEventList::growHeader(std::size_t events) {
  if (header_ && events <= headerCapacity_) return;
  std::size_t wanted = std::max<std::size_t>({events, headerCapacity_ * 2, 8});
  auto* fresh = static_cast<VstEvents*>(::operator new(headerBytes(wanted)));
  std::memset(fresh, 0, headerBytes(wanted));
  ::operator delete(header_);
  header_ = fresh;
  headerCapacity_ = wanted;
}

MidiEventList::Slot& MidiEventList::newSlot(int deltaFrames, VstInt32 type) {
  Slot slot;
  std::memset(&slot, 0, sizeof(slot));
  slot.event.type = type;
  slot.event.deltaFrames = deltaFrames;
  slots_.push_back(slot);
  sysexOffset_.push_back(0);
  return slots_.back();
}

void MidiEventList::addMidi(int deltaFrames, std::uint8_t status, std::uint8_t data1,
                            std::uint8_t data2, std::int32_t flags) {
  VstMidiEvent& midi = newSlot(deltaFrames, kVstMidiType).midi;
  midi.byteSize = sizeof(VstMidiEvent);
  midi.flags = flags;
  midi.midiData[0] = static_cast<char>(status);
  midi.midiData[1] = static_cast<char>(data1);
  midi.midiData[2] = static_cast<char>(data2);
}

void MidiEventList::noteOn(int deltaFrames, int channel, int note, int velocity) {
  addMidi(deltaFrames, channelStatus(0x90, channel), data7(note), data7(velocity));
}

void MidiEventList::noteOff(int deltaFrames, int channel, int note, int velocity) {
  addMidi(deltaFrames, channelStatus(0x80, channel), data7(note), data7(velocity));
}

void MidiEventList::controller(int deltaFrames, int channel, int number, int value) {
  addMidi(deltaFrames, channelStatus(0xB0, channel), data7(number), data7(value));
}

void MidiEventList::pitchBend(int deltaFrames, int channel, int value) {
  value = std::clamp(value, 0, 16383);
  addMidi(deltaFrames, channelStatus(0xE0, channel), data7(value), data7(value >> 7));
}

void MidiEventList::programChange(int deltaFrames, int channel, int program) {
  addMidi(deltaFrames, channelStatus(0xC0, channel), data7(program));
}

void MidiEventList::channelPressure(int deltaFrames, int channel, int value) {
  addMidi(deltaFrames, channelStatus(0xD0, channel), data7(value));
}

void MidiEventList::polyPressure(int deltaFrames, int channel, int note, int value) {
  addMidi(deltaFrames, channelStatus(0xA0, channel), data7(note), data7(value));
}

void MidiEventList::sysex(int deltaFrames, const void* data, std::size_t size) {
  // The dump pointer is filled in by vstEvents(): the byte store may still move.
  std::size_t offset = sysexBytes_.size();
  const char* bytes = static_cast<const char*>(data);
  if (size) sysexBytes_.insert(sysexBytes_.end(), bytes, bytes + size);
  VstMidiSysexEvent& sysex = newSlot(deltaFrames, kVstSysExType).sysex;
  sysex.byteSize = sizeof(VstMidiSysexEvent);
  sysex.dumpBytes = static_cast<VstInt32>(size);
  sysexOffset_.back() = offset;
}

void MidiEventList::append(const VstEvent& event, int deltaFrames) {
  if (event.type == kVstSysExType) {
    const auto& source = reinterpret_cast<const VstMidiSysexEvent&>(event);
    std::size_t size = source.dumpBytes > 0 ? static_cast<std::size_t>(source.dumpBytes) : 0;
    sysex(deltaFrames, size ? source.sysexDump : nullptr, source.sysexDump ? size : 0);
    slots_.back().sysex.flags = source.flags;
    return;
  }
  Slot& slot = newSlot(deltaFrames, event.type);
  if (event.type == kVstMidiType)
    slot.midi = reinterpret_cast<const VstMidiEvent&>(event);
  else
    slot.event = event;
  slot.event.deltaFrames = deltaFrames;
}

const char* MidiEventList::sysexData(std::size_t i) const {
  if (i >= slots_.size() || slots_[i].event.type != kVstSysExType) return nullptr;
  return sysexBytes_.data() + sysexOffset_[i];
}

VstEvents* MidiEventList::vstEvents() {
  growHeader(slots_.size());
  order_.clear();
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    order_.push_back({slots_[i].event.deltaFrames, i});
    if (slots_[i].event.type == kVstSysExType)
      slots_[i].sysex.sysexDump =
          slots_[i].sysex.dumpBytes > 0 ? sysexBytes_.data() + sysexOffset_[i] : nullptr;
  }
  // Sorting on (delta, insertion index) keeps equal deltas in order without
  // the scratch memory a stable sort may take.
  std::sort(order_.begin(), order_.end(), [](const Pending& a, const Pending& b) {
    return a.delta != b.delta ? a.delta < b.delta : a.slot < b.slot;
  });
  header_->numEvents = static_cast<VstInt32>(order_.size());
  header_->reserved = 0;
  VstEvent** pointers = header_->events;  // really headerCapacity_ entries
  for (std::size_t i = 0; i < order_.size(); ++i)
    pointers[i] = &slots_[order_[i].slot].event;
  return header_;
}

}  // namespace host
