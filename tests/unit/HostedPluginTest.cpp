#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "host/HostedPlugin.h"

using namespace vst;
using host::HostedPlugin;
using host::HostSettings;
using host::MidiEventList;
using host::PluginModule;

namespace {

// Block index, delta, event type and first data byte (or SysEx length).
using Delivered = std::tuple<int, int, int, int>;

// A plug-in written against the raw interface, so every host call can be
// watched. Configured through statics because the entry is a plain function.
class FakePlugin {
 public:
  FakePlugin() {
    effect.magic = kEffectMagic;
    effect.dispatcher = &dispatchProc;
    effect.processReplacing = &processProc;
    effect.numOutputs = 2;
    effect.object = this;
    last = this;
  }

  static VstIntPtr dispatchProc(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr value,
                                void* ptr, float) {
    auto* p = static_cast<FakePlugin*>(e->object);
    if (opcode == effClose) delete p;
    if (opcode == effSetBlockSize) p->lastBlockSize = static_cast<int>(value);
    if (opcode != effProcessEvents) return opcode == effClose;
    auto* events = static_cast<VstEvents*>(ptr);
    for (int i = 0; i < events->numEvents; ++i) {
      VstEvent* ev = events->events[i];
      int data1 = ev->type == kVstMidiType
                      ? static_cast<unsigned char>(reinterpret_cast<VstMidiEvent*>(ev)->midiData[1])
                      : reinterpret_cast<VstMidiSysexEvent*>(ev)->dumpBytes;
      p->delivered.emplace_back(static_cast<int>(p->blockFrames.size()), ev->deltaFrames, ev->type, data1);
    }
    return 1;
  }

  static void processProc(AEffect* e, float**, float** outputs, VstInt32 frames) {
    auto* p = static_cast<FakePlugin*>(e->object);
    int written = p->writeEverything ? frames : 1;
    for (int i = 0; i < written; ++i) {
      outputs[0][i] = static_cast<float>(p->framesDone + i);
      outputs[1][i] = -static_cast<float>(p->framesDone + i);
    }
    p->framesDone += frames;
    p->blockFrames.push_back(frames);
  }

  AEffect effect{};
  std::vector<int> blockFrames;
  std::vector<Delivered> delivered;
  int lastBlockSize = 0, framesDone = 0;
  bool writeEverything = true;

  static inline FakePlugin* last = nullptr;
};

AEffect* fakeEntry(audioMasterCallback master) {
  if (master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  return &(new FakePlugin)->effect;
}

std::unique_ptr<HostedPlugin> loadFake(const HostSettings& settings = {}) {
  std::string error;
  auto plugin = HostedPlugin::load(PluginModule::fromEntry(&fakeEntry, "fake"), error, settings);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

using HostedPluginTest = ::testing::Test;

}  // namespace

// The plug-in was told 128-frame blocks; the render's own block size rules.
TEST_F(HostedPluginTest, RenderSplitsEventsAcrossBlocksAtTheirAbsoluteFrames) {
  auto plugin = loadFake({44100.0, 128, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  MidiEventList schedule;
  schedule.noteOn(999, 0, 5, 100);
  schedule.noteOff(999, 0, 6);  // ties keep the order they were added in
  schedule.noteOn(0, 0, 1, 100);
  schedule.noteOn(255, 0, 2, 100);
  schedule.noteOn(256, 0, 3, 100);
  schedule.noteOff(700, 0, 60);
  schedule.noteOn(700, 0, 62, 100);  // same frame: after the note-off
  schedule.sysex(300, "\xF0\x01\x02\xF7", 4);
  schedule.noteOn(1000, 0, 9, 100);  // one past the end
  schedule.noteOn(-5, 0, 9, 100);    // before the start

  host::RenderedAudio out = plugin->render(1000, 256, schedule);
  ASSERT_TRUE(out.left.size() == 1000u && out.right.size() == 1000u);
  EXPECT_EQ(out.droppedEvents, 2);
  EXPECT_EQ(fake->lastBlockSize, 256);  // the larger block is announced first
  EXPECT_EQ(fake->blockFrames, (std::vector<int>{256, 256, 256, 232}));
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(out.left[i], static_cast<float>(i)) << i;
    ASSERT_EQ(out.right[i], -static_cast<float>(i)) << i;
  }
  EXPECT_EQ(fake->delivered,
            (std::vector<Delivered>{{0, 0, kVstMidiType, 1}, {0, 255, kVstMidiType, 2}, {1, 0, kVstMidiType, 3},
                                    {1, 44, kVstSysExType, 4}, {2, 188, kVstMidiType, 60},
                                    {2, 188, kVstMidiType, 62}, {3, 231, kVstMidiType, 5},
                                    {3, 231, kVstMidiType, 6}}));

  // Frames the plug-in leaves unwritten show the prefill.
  fake->writeEverything = false;
  plugin->setOutputPrefill(NAN);
  out = plugin->render(20, 10);
  ASSERT_EQ(out.frames(), 20u);
  EXPECT_FALSE(std::isnan(out.left[10]));
  EXPECT_TRUE(std::isnan(out.left[1]));
  EXPECT_TRUE(std::isnan(out.right[19]));
  EXPECT_EQ(plugin->render(0, 64).frames(), 0u);
  EXPECT_EQ(plugin->render(64, 0).frames(), 0u);
}

// Render hands each block's events through a second list, so the list's own
// order is checked here directly.
TEST(MidiEventList, VstEventsAreOrderedByDeltaKeepingInsertionOrderOnTies) {
  MidiEventList list;
  for (auto [delta, note] : {std::pair{50, 1}, {10, 2}, {10, 3}, {0, 4}, {50, 5}})
    note % 2 ? list.noteOn(delta, 0, note, 1) : list.noteOff(delta, 0, note);
  VstEvents* events = list.vstEvents();
  ASSERT_EQ(events->numEvents, 5);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(reinterpret_cast<VstMidiEvent*>(events->events[i])->midiData[1], "\4\2\3\1\5"[i]) << i;
}
