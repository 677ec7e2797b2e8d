#include "perform/MidiEventQueue.h"

void MidiEventQueue::take(const vst::VstEvents* events) {
  clear();
  dropped_ = 0;
  if (!events || events->numEvents <= 0) return;
  // The record's array is declared with two entries but holds numEvents.
  const vst::VstEvent* const* list = events->events;
  for (vst::VstInt32 i = 0; i < events->numEvents; ++i) {
    const vst::VstEvent* e = list[i];
    if (!e || e->type != vst::kVstMidiType) continue;
    if (count_ == kCapacity) {
      ++dropped_;
      continue;
    }
    const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(e);
    events_[count_++] = Event{midi->deltaFrames, static_cast<std::uint8_t>(midi->midiData[0]),
                              static_cast<std::uint8_t>(midi->midiData[1] & 0x7f),
                              static_cast<std::uint8_t>(midi->midiData[2] & 0x7f)};
  }
}
