// What a host may send while the instrument plays: event lists of any shape
// (counts negative or past the queue, null entries, other event types, any
// delta frames and status bytes), parameter values of any bit pattern,
// programs, sample rates, block sizes and render calls of any length,
// including null output pointers. Every rendered sample must be finite.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzHost.h"

namespace {

constexpr int kMaxListEvents = 5000;  // past the engine's queue on purpose

struct EventList {
  vst::VstInt32 numEvents;
  vst::VstIntPtr reserved;
  vst::VstEvent* events[kMaxListEvents];
};
static_assert(offsetof(EventList, events) == offsetof(vst::VstEvents, events));

EventList g_list;
vst::VstMidiEvent g_events[kMaxListEvents];

float anyFloat(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {
      std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
      float v;
      std::memcpy(&v, &bits, sizeof v);
      return v;
    }
    case 1: {
      const float special[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3.4e38f, 1e-40f, 0.0f,
                               1.0f, 2.0f, 0.6667f, 999.0f, 1000.0f, 1050.0f, -1.0f};
      return special[in.ConsumeIntegralInRange<int>(0, std::size(special) - 1)];
    }
    default:
      return in.ConsumeFloatingPointInRange(-2.0f, 3.0f);
  }
}

void sendEvents(FuzzedDataProvider& in, VstSynth& synth) {
  int count = in.ConsumeIntegralInRange(-4, 48);
  bool flood = in.ConsumeBool() && in.ConsumeBool() && in.ConsumeBool();
  int stored = count < 0 ? 0 : count;
  for (int i = 0; i < stored; ++i) {
    vst::VstMidiEvent& e = g_events[i];
    e = {};
    int kind = in.ConsumeIntegralInRange(0, 9);
    e.type = kind == 0 ? vst::kVstSysExType : (kind == 1 ? in.ConsumeIntegral<vst::VstInt32>()
                                                          : vst::kVstMidiType);
    e.byteSize = sizeof(e);
    int timing = in.ConsumeIntegralInRange(0, 3);
    e.deltaFrames = timing == 0 ? in.ConsumeIntegral<vst::VstInt32>()
                                : in.ConsumeIntegralInRange(0, 600);
    for (char& b : e.midiData) b = static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
    // A SysEx record is longer than a MIDI one; only its type is ever read.
    g_list.events[i] = kind == 2 ? nullptr : reinterpret_cast<vst::VstEvent*>(&e);
  }
  if (flood) {
    // The same note on and off many times over: more than the queue holds.
    for (int i = stored; i < kMaxListEvents; ++i)
      g_list.events[i] = g_list.events[stored > 0 ? i % stored : 0];
    if (stored == 0) return;
    stored = count = kMaxListEvents;
  }
  g_list.numEvents = count;
  synth.processEvents(reinterpret_cast<vst::VstEvents*>(&g_list));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzHost& host = FuzzHost::instance();
  host.reset();
  VstSynth& synth = host.synth();
  FuzzedDataProvider in(data, size);
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange(0, 9)) {
      case 0:
      case 1:
        sendEvents(in, synth);
        break;
      case 2:
      case 3: {
        int frames = in.ConsumeBool() ? in.ConsumeIntegralInRange(-3, 700)
                                      : in.ConsumeIntegralInRange(0, FuzzHost::kMaxFrames);
        host.render(frames);
        break;
      }
      case 4:
      case 5:
        synth.setParameter(in.ConsumeIntegralInRange(-3, 75), anyFloat(in));
        break;
      case 6:
        synth.setProgram(in.ConsumeIntegralInRange(-2, 130));
        break;
      case 7: {
        const float rates[] = {8000.0f, 22050.0f, 48000.0f, 96000.0f, 192000.0f, 768000.0f};
        synth.setSampleRate(in.ConsumeBool() ? rates[in.ConsumeIntegralInRange(0, 5)]
                                             : anyFloat(in) * (in.ConsumeBool() ? 44100.0f : 1.0f));
        break;
      }
      case 8:
        synth.setBlockSize(in.ConsumeIntegral<vst::VstInt32>());
        break;
      case 9: {
        // Null output pointers must be survived, not written through.
        static float one[16];
        float* outputs[2] = {in.ConsumeBool() ? one : nullptr, nullptr};
        synth.processReplacing(nullptr, in.ConsumeBool() ? outputs : nullptr,
                               in.ConsumeIntegralInRange(0, 16));
        break;
      }
    }
  }
  host.render(512);
  return 0;
}
