#include "fuzz/FuzzHost.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzWorkspace.h"

namespace {

vst::VstTimeInfo g_time{};

// The host side: a 44100 Hz transport that runs on by one block per query.
vst::VstIntPtr hostCallback(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr,
                            void*, float) {
  switch (opcode) {
    case vst::audioMasterVersion:
      return 2400;
    case vst::audioMasterGetSampleRate:
      return 44100;
    case vst::audioMasterGetBlockSize:
      return 512;
    case vst::audioMasterGetTime:
      g_time.sampleRate = 44100.0;
      g_time.samplePos += 512.0;
      g_time.tempo = 120.0;
      return reinterpret_cast<vst::VstIntPtr>(&g_time);
    default:
      return 0;
  }
}

}  // namespace

FuzzHost& FuzzHost::instance() {
  static FuzzHost host;
  return host;
}

FuzzHost::FuzzHost() : left_(kMaxFrames), right_(kMaxFrames) {
  FuzzWorkspace::instance();
  synth_ = std::make_unique<VstSynth>(hostCallback);
  // Programs alternate between the workspace's two sound sets, so that
  // program changes switch sets and every render has something to play.
  for (int k = kNumPrograms - 1; k >= 0; --k) {
    synth_->setProgram(k);
    synth_->setParameter(24, static_cast<float>(k % 2));  // folders "01-", "02-"
  }
  synth_->setProgram(0);
  synth_->waitForLoads();
  void* data = nullptr;
  vst::VstInt32 size = synth_->getChunk(&data, false);
  auto* bytes = static_cast<std::uint8_t*>(data);
  baseline_.assign(bytes, bytes + size);
  synth_->resume();
}

void FuzzHost::reset() {
  synth_->setSampleRate(44100.0f);
  synth_->setBlockSize(512);
  synth_->setChunk(baseline_.data(), static_cast<vst::VstInt32>(baseline_.size()), false);
  synth_->setProgram(0);
  // All notes off, then one empty block to let it take effect.
  vst::VstMidiEvent off{};
  off.type = vst::kVstMidiType;
  off.byteSize = sizeof(off);
  off.midiData[0] = static_cast<char>(0xB0);
  off.midiData[1] = 123;
  vst::VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<vst::VstEvent*>(&off);
  synth_->processEvents(&list);
  render(16);
}

void FuzzHost::render(int frames) {
  if (frames > kMaxFrames) frames = kMaxFrames;
  float* outputs[2] = {left_.data(), right_.data()};
  synth_->processReplacing(nullptr, outputs, frames);
  for (int i = 0; i < frames; ++i) {
    if (std::isfinite(left_[i]) && std::isfinite(right_[i])) continue;
    // What the engine was playing with, for whoever reads the crash report.
    std::fprintf(stderr, "non-finite sample %d of %d; parameters:", i, frames);
    for (int p = 0; p < kNumParams; ++p) std::fprintf(stderr, " %d=%g", p, synth_->DmVal(p));
    std::fprintf(stderr, "\n");
    std::abort();
  }
}

void FuzzHost::playPhrase(int note) {
  vst::VstMidiEvent on{};
  on.type = vst::kVstMidiType;
  on.byteSize = sizeof(on);
  on.deltaFrames = 3;
  on.midiData[0] = static_cast<char>(0x90);
  on.midiData[1] = static_cast<char>(note & 0x7F);
  on.midiData[2] = 100;
  vst::VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<vst::VstEvent*>(&on);
  synth_->processEvents(&list);
  render(256);
  on.midiData[0] = static_cast<char>(0x80);
  synth_->processEvents(&list);
  render(256);
}
