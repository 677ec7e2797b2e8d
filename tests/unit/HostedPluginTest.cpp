#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <tuple>
#include <vector>

#include "host/HostedPlugin.h"

using namespace vst;
using host::HostedPlugin;
using host::HostSettings;
using host::MidiEventList;
using host::PluginModule;

namespace {

struct Delivered {
  int block;
  int delta;
  int type;
  int data1;
};

// A plug-in written against the raw interface, so every host call can be
// watched. Configured through statics because the entry is a plain function.
class FakePlugin {
 public:
  explicit FakePlugin(audioMasterCallback callback) : master(callback) {
    effect.magic = kEffectMagic;
    effect.dispatcher = &dispatchProc;
    effect.processReplacing = &processProc;
    effect.numOutputs = 2;
    effect.object = this;
    // What a plug-in does in its constructor, before the host knows it.
    rateAtBirth = master(&effect, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    blockAtBirth = master(&effect, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
    master(&effect, audioMasterAutomate, 3, 0, nullptr, 0.25f);
    last = this;
    if (duringConstruction) duringConstruction(*this);
  }
  ~FakePlugin() { ++closes; }

  static FakePlugin* self(AEffect* e) { return static_cast<FakePlugin*>(e->object); }

  static VstIntPtr dispatchProc(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt) {
    FakePlugin* p = self(e);
    p->opcodes.push_back(opcode);
    switch (opcode) {
      case effClose:
        delete p;
        return 1;
      case effSetSampleRate:
        p->lastRate = opt;
        return 0;
      case effSetBlockSize:
        p->lastBlockSize = static_cast<int>(value);
        return 0;
      case effMainsChanged:
        p->mains = value != 0;
        return 0;
      case effProcessEvents: {
        auto* events = static_cast<VstEvents*>(ptr);
        ++p->eventCalls;
        for (int i = 0; i < events->numEvents; ++i) {
          VstEvent* ev = events->events[i];
          int data1 = ev->type == kVstMidiType
                          ? static_cast<unsigned char>(
                                reinterpret_cast<VstMidiEvent*>(ev)->midiData[1])
                          : reinterpret_cast<VstMidiSysexEvent*>(ev)->dumpBytes;
          p->delivered.push_back(
              {static_cast<int>(p->blockFrames.size()), ev->deltaFrames, ev->type, data1});
        }
        return 1;
      }
      case effGetChunk:
        *static_cast<void**>(ptr) = p->chunk.data();
        return p->chunkSizeAnswer ? p->chunkSizeAnswer : static_cast<VstIntPtr>(p->chunk.size());
      case effSetChunk: {
        const auto* bytes = static_cast<const std::uint8_t*>(ptr);
        p->chunk.assign(bytes, bytes + value);
        p->lastChunkWasPreset = index;
        return 1;
      }
      case effGetProductString:  // far longer than any buffer should need
        std::memset(ptr, 'x', 300);
        static_cast<char*>(ptr)[300] = '\0';
        return 1;
      case effVendorSpecific: {
        // A GUI thread of the plug-in automating a parameter.
        audioMasterCallback callback = p->master;
        std::thread gui([e, callback] { callback(e, audioMasterAutomate, 7, 0, nullptr, 0.5f); });
        gui.join();
        return 1;
      }
      default:
        return 0;
    }
  }

  static void processProc(AEffect* e, float**, float** outputs, VstInt32 frames) {
    FakePlugin* p = self(e);
    auto* time = reinterpret_cast<VstTimeInfo*>(
        p->master(e, audioMasterGetTime, 0, kVstTempoValid, nullptr, 0.0f));
    if (p->askFromOtherThread && time) {
      // A GUI-thread query in the middle of the block must not hand out the
      // record the audio thread is reading.
      audioMasterCallback callback = p->master;
      VstIntPtr other = 0;
      std::thread gui([&] { other = callback(e, audioMasterGetTime, 0, 0, nullptr, 0.0f); });
      gui.join();
      p->sharedTimeRecord = other == reinterpret_cast<VstIntPtr>(time);
    }
    p->samplePosAtBlock.push_back(time ? time->samplePos : -1.0);
    p->timeFlagsAtBlock.push_back(time ? time->flags : 0);
    int written = p->writeEverything ? frames : 1;
    for (int i = 0; i < written; ++i) {
      outputs[0][i] = static_cast<float>(p->framesDone + i);
      outputs[1][i] = -static_cast<float>(p->framesDone + i);
    }
    p->framesDone += frames;
    p->blockFrames.push_back(frames);
  }

  AEffect effect{};
  audioMasterCallback master;
  VstIntPtr rateAtBirth = 0;
  VstIntPtr blockAtBirth = 0;
  std::vector<VstInt32> opcodes;
  std::vector<int> blockFrames;
  std::vector<Delivered> delivered;
  std::vector<double> samplePosAtBlock;
  std::vector<VstInt32> timeFlagsAtBlock;
  std::vector<std::uint8_t> chunk;
  VstIntPtr chunkSizeAnswer = 0;
  VstIntPtr lastChunkWasPreset = -1;
  float lastRate = 0.0f;
  int lastBlockSize = 0;
  int eventCalls = 0;
  int framesDone = 0;
  bool mains = false;
  bool writeEverything = true;
  bool askFromOtherThread = false;
  bool sharedTimeRecord = false;

  static inline FakePlugin* last = nullptr;
  static inline int closes = 0;
  static inline void (*duringConstruction)(FakePlugin&) = nullptr;
};

AEffect* fakeEntry(audioMasterCallback master) {
  if (master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  return &(new FakePlugin(master))->effect;
}

AEffect* nullEntry(audioMasterCallback) { return nullptr; }

int badDispatches = 0;
AEffect* badMagicEntry(audioMasterCallback) {
  static AEffect bogus{};
  bogus.magic = fourCC('N', 'o', 'p', 'e');
  bogus.dispatcher = [](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
    ++badDispatches;
    return 0;
  };
  return &bogus;
}

std::unique_ptr<HostedPlugin> loadFake(const HostSettings& settings = {}) {
  std::string error;
  auto plugin = HostedPlugin::load(PluginModule::fromEntry(&fakeEntry, "fake"), error, settings);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

class HostedPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakePlugin::duringConstruction = nullptr;
    FakePlugin::closes = 0;
  }
  void TearDown() override { FakePlugin::duringConstruction = nullptr; }
};

}  // namespace

TEST_F(HostedPluginTest, LoadFailuresAreReportedAndNothingIsTouched) {
  std::string error;
  EXPECT_EQ(HostedPlugin::load(PluginModule::fromEntry(&nullEntry, "empty"), error), nullptr);
  EXPECT_NE(error.find("returned no effect"), std::string::npos) << error;
  badDispatches = 0;
  EXPECT_EQ(HostedPlugin::load(PluginModule::fromEntry(&badMagicEntry, "bogus"), error), nullptr);
  EXPECT_NE(error.find("bad magic"), std::string::npos) << error;
  EXPECT_EQ(badDispatches, 0);  // not even effClose on an untrusted record
  EXPECT_EQ(HostedPlugin::load("/no/such/plugin.so", error), nullptr);
  EXPECT_NE(error.find("not found"), std::string::npos) << error;
}

// Another instance loaded from inside an entry: each construction's callbacks
// reach its own instance.
TEST_F(HostedPluginTest, CallbacksDuringConstructionReachTheInstanceBeingLoaded) {
  static std::unique_ptr<HostedPlugin> inner;
  static FakePlugin* outerFake = nullptr;
  FakePlugin::duringConstruction = [](FakePlugin& outer) {
    FakePlugin::duringConstruction = nullptr;
    outerFake = &outer;
    inner = loadFake({22050.0, 32, 120.0});
    outer.master(&outer.effect, audioMasterAutomate, 9, 0, nullptr, 0.9f);
  };
  auto outer = loadFake({44100.0, 256, 120.0});
  ASSERT_TRUE(outer && inner);
  EXPECT_EQ(outerFake->rateAtBirth, 44100);
  EXPECT_EQ(outerFake->blockAtBirth, 256);
  EXPECT_EQ(FakePlugin::last->rateAtBirth, 22050);  // inner was built last
  EXPECT_EQ(FakePlugin::last->blockAtBirth, 32);
  auto outerRecords = outer->recorder().automations();
  ASSERT_EQ(outerRecords.size(), 2u);
  EXPECT_EQ(outerRecords[0].index, 3);
  EXPECT_EQ(outerRecords[0].value, 0.25f);
  EXPECT_EQ(outerRecords[1].index, 9);
  EXPECT_EQ(inner->recorder().automations().size(), 1u);
  // The entry's version question came with no effect at all.
  EXPECT_EQ(inner->recorder().callCount(audioMasterVersion), 1);
  inner.reset();
}

TEST_F(HostedPluginTest, CallbacksFromAnotherThreadAfterLoadAreRouted) {
  auto plugin = loadFake();
  ASSERT_TRUE(plugin);
  plugin->recorder().clear();
  EXPECT_EQ(plugin->vendorSpecific(0, 0), 1);
  auto automations = plugin->recorder().automations();
  ASSERT_EQ(automations.size(), 1u);
  EXPECT_EQ(automations[0].index, 7);
  EXPECT_EQ(automations[0].value, 0.5f);
  EXPECT_NE(automations[0].thread, std::this_thread::get_id());
}

TEST_F(HostedPluginTest, AnswersTheUsualHostQuestions) {
  auto plugin = loadFake({48000.0, 300, 120.0});
  ASSERT_TRUE(plugin);
  AEffect* e = plugin->effect();
  auto ask = [e](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return HostedPlugin::hostCallback(e, opcode, index, value, ptr, 0.0f);
  };
  EXPECT_EQ(ask(audioMasterVersion), 2400);
  EXPECT_EQ(ask(audioMasterGetSampleRate), 48000);
  EXPECT_EQ(ask(audioMasterGetBlockSize), 300);
  EXPECT_FALSE(plugin->midiRequested());
  EXPECT_EQ(ask(audioMasterWantMidi, 0, 1), 1);
  EXPECT_TRUE(plugin->midiRequested());
  for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                          "receiveVstEvents", "sizeWindow", "supplyIdle"})
    EXPECT_EQ(ask(audioMasterCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
  EXPECT_EQ(ask(audioMasterCanDo, 0, 0, const_cast<char*>("offline")), 0);
  EXPECT_EQ(ask(audioMasterCanDo), 0);
  char vendor[kVstMaxVendorStrLen + 8];
  std::memset(vendor, '#', sizeof(vendor));
  EXPECT_EQ(ask(audioMasterGetVendorString, 0, 0, vendor), 1);
  EXPECT_GT(strnlen(vendor, kVstMaxVendorStrLen), 0u);
  EXPECT_LT(strnlen(vendor, kVstMaxVendorStrLen), static_cast<std::size_t>(kVstMaxVendorStrLen));
  EXPECT_EQ(vendor[kVstMaxVendorStrLen], '#');  // nothing written past the limit

  EXPECT_EQ(ask(audioMasterBeginEdit, 4), 1);
  EXPECT_EQ(ask(audioMasterEndEdit, 4), 1);
  ask(audioMasterUpdateDisplay);
  ask(audioMasterSizeWindow, 500, 300);
  ASSERT_EQ(plugin->recorder().edits().size(), 2u);
  EXPECT_EQ(plugin->recorder().edits()[1].index, 4);
  EXPECT_EQ(plugin->recorder().displayUpdates(), 1);
  ASSERT_EQ(plugin->recorder().windowSizes().size(), 1u);
  EXPECT_EQ(plugin->recorder().windowSizes()[0].width, 500);
  // A stray call with no effect outside any load.
  EXPECT_EQ(HostedPlugin::hostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0), 44100);
}

TEST_F(HostedPluginTest, LoadsLikeADawAndSuspendsBeforeClosingOnDestruction) {
  static std::vector<VstInt32> finalOpcodes;
  auto plugin = loadFake({88200.0, 96, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  ASSERT_GE(fake->opcodes.size(), 3u);
  EXPECT_EQ(std::vector<VstInt32>(fake->opcodes.begin(), fake->opcodes.begin() + 3),
            (std::vector<VstInt32>{effOpen, effSetSampleRate, effSetBlockSize}));
  EXPECT_EQ(fake->lastRate, 88200.0f);
  EXPECT_EQ(fake->lastBlockSize, 96);
  EXPECT_EQ(reinterpret_cast<HostedPlugin*>(plugin->effect()->resvd1), plugin.get());
  EXPECT_EQ(plugin->dispatch(effClose), 0);  // refused: only the destructor closes
  EXPECT_EQ(FakePlugin::closes, 0);
  plugin->resume();
  EXPECT_TRUE(fake->mains);
  fake->opcodes.clear();
  // Snapshot the log on close, before the fake deletes itself.
  fake->effect.dispatcher = [](AEffect* e, VstInt32 op, VstInt32 i, VstIntPtr v, void* p,
                               float o) -> VstIntPtr {
    FakePlugin* self = FakePlugin::self(e);
    if (op == effClose) {
      finalOpcodes = self->opcodes;
      finalOpcodes.push_back(op);
      finalOpcodes.push_back(self->mains ? 1 : 0);
    }
    return FakePlugin::dispatchProc(e, op, i, v, p, o);
  };
  plugin.reset();
  EXPECT_EQ(FakePlugin::closes, 1);
  EXPECT_EQ(finalOpcodes, (std::vector<VstInt32>{effMainsChanged, effClose, 0}));
}

// The plug-in was told 128-frame blocks; the render's own block size rules.
TEST_F(HostedPluginTest, RenderSplitsEventsAcrossBlocksAtTheirAbsoluteFrames) {
  auto plugin = loadFake({44100.0, 128, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  MidiEventList schedule;
  schedule.noteOn(999, 0, 5, 100);
  schedule.noteOn(0, 0, 1, 100);
  schedule.noteOn(255, 0, 2, 100);
  schedule.noteOn(256, 0, 3, 100);
  schedule.noteOff(700, 0, 60);
  schedule.noteOn(700, 0, 62, 100);  // same frame: after the note-off
  schedule.sysex(300, "\xF0\x01\x02\xF7", 4);
  schedule.noteOn(1000, 0, 9, 100);  // one past the end
  schedule.noteOn(-5, 0, 9, 100);    // before the start

  host::RenderedAudio out = plugin->render(1000, 256, schedule);
  ASSERT_EQ(out.frames(), 1000u);
  ASSERT_EQ(out.right.size(), 1000u);
  EXPECT_EQ(out.droppedEvents, 2);
  EXPECT_EQ(fake->blockFrames, (std::vector<int>{256, 256, 256, 232}));
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(out.left[i], static_cast<float>(i)) << i;
    ASSERT_EQ(out.right[i], -static_cast<float>(i)) << i;
  }
  const Delivered want[] = {{0, 0, kVstMidiType, 1},   {0, 255, kVstMidiType, 2},
                            {1, 0, kVstMidiType, 3},   {1, 44, kVstSysExType, 4},
                            {2, 188, kVstMidiType, 60}, {2, 188, kVstMidiType, 62},
                            {3, 231, kVstMidiType, 5}};
  ASSERT_EQ(fake->delivered.size(), std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) {
    const Delivered& d = fake->delivered[i];
    EXPECT_EQ(std::tie(d.block, d.delta, d.type, d.data1),
              std::tie(want[i].block, want[i].delta, want[i].type, want[i].data1)) << i;
  }
}

TEST_F(HostedPluginTest, EmptyBlocksGetNoEventCallUnlessAsked) {
  auto plugin = loadFake({44100.0, 64, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  MidiEventList schedule;
  schedule.noteOn(10, 0, 60, 100);
  plugin->render(640, 64, schedule);
  EXPECT_EQ(fake->eventCalls, 1);
  plugin->setSendEmptyEventLists(true);
  plugin->render(640, 64, schedule);
  EXPECT_EQ(fake->eventCalls, 1 + 10);
}

TEST_F(HostedPluginTest, LargerRenderBlocksAreAnnouncedAndUnwrittenFramesShow) {
  auto plugin = loadFake({44100.0, 64, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  plugin->render(100, 100);
  EXPECT_EQ(fake->lastBlockSize, 100);
  EXPECT_EQ(plugin->hostBlockSize(), 100);

  fake->writeEverything = false;
  plugin->setOutputPrefill(NAN);
  host::RenderedAudio out = plugin->render(20, 10);
  ASSERT_EQ(out.frames(), 20u);
  EXPECT_FALSE(std::isnan(out.left[0]));
  EXPECT_TRUE(std::isnan(out.left[1]));
  EXPECT_FALSE(std::isnan(out.left[10]));
  EXPECT_TRUE(std::isnan(out.right[19]));
  EXPECT_EQ(plugin->render(0, 64).frames(), 0u);
  EXPECT_EQ(plugin->render(64, 0).frames(), 0u);
}

TEST_F(HostedPluginTest, TimeInfoAdvancesWithRenderedFramesWhilePlaying) {
  auto plugin = loadFake({44100.0, 128, 120.0});
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  plugin->render(300, 100);  // stopped: the position stays
  EXPECT_EQ(fake->samplePosAtBlock, (std::vector<double>{0, 0, 0}));
  EXPECT_FALSE(fake->timeFlagsAtBlock[0] & kVstTransportPlaying);

  plugin->timeline().setPlaying(true);
  plugin->render(300, 100);
  EXPECT_EQ(fake->samplePosAtBlock, (std::vector<double>{0, 0, 0, 0, 100, 200}));
  EXPECT_TRUE(fake->timeFlagsAtBlock[3] & kVstTransportPlaying);
  EXPECT_TRUE(fake->timeFlagsAtBlock[3] & kVstTransportChanged);
  EXPECT_FALSE(fake->timeFlagsAtBlock[4] & kVstTransportChanged);
  EXPECT_DOUBLE_EQ(plugin->timeline().position(), 300.0);

  fake->askFromOtherThread = true;
  plugin->render(100, 100);
  EXPECT_FALSE(fake->sharedTimeRecord);
  EXPECT_EQ(fake->samplePosAtBlock.back(), 300.0);
  fake->askFromOtherThread = false;

  plugin->setTimeInfoAvailable(false);
  plugin->render(100, 100);
  EXPECT_EQ(fake->samplePosAtBlock.back(), -1.0);  // the host said nothing
  EXPECT_EQ(plugin->recorder().callCount(audioMasterGetTime), 9);
}

TEST_F(HostedPluginTest, SampleRateAndBlockSizeChangesReachPluginAndCallbacks) {
  auto plugin = loadFake();
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  EXPECT_TRUE(plugin->setSampleRate(96000.0));
  EXPECT_EQ(HostedPlugin::hostCallback(plugin->effect(), audioMasterGetSampleRate, 0, 0, nullptr,
                                       0.0f),
            96000);
  EXPECT_EQ(plugin->timeline().sampleRate(), 96000.0);
  EXPECT_FALSE(plugin->setSampleRate(NAN));
  EXPECT_FALSE(plugin->setSampleRate(0.0));
  EXPECT_EQ(fake->lastRate, 96000.0f);
  EXPECT_TRUE(plugin->setBlockSize(32));
  EXPECT_FALSE(plugin->setBlockSize(-1));
  EXPECT_EQ(fake->lastBlockSize, 32);
}

TEST_F(HostedPluginTest, ChunksAndStringsFromThePluginAreBounded) {
  auto plugin = loadFake();
  ASSERT_TRUE(plugin);
  FakePlugin* fake = FakePlugin::last;
  std::vector<std::uint8_t> state = {1, 2, 3, 250, 0, 7};
  EXPECT_EQ(plugin->setChunk(state, true), 1);
  EXPECT_EQ(fake->lastChunkWasPreset, 1);
  EXPECT_EQ(plugin->getChunk(), state);
  fake->chunkSizeAnswer = -12;  // garbage size: no copy
  EXPECT_TRUE(plugin->getChunk().empty());
  EXPECT_EQ(plugin->stringOverruns(), 0);
  EXPECT_LE(plugin->productString().size(), 256u);
  EXPECT_EQ(plugin->stringOverruns(), 1);
}
