// The host library driving the real module, the way the renderer and the
// plug-in tests will.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/HostedPlugin.h"

using namespace vst;
using host::HostedPlugin;
using host::HostSettings;
using host::MidiEventList;

namespace {
std::unique_ptr<HostedPlugin> loadModule(const HostSettings& settings = {}) {
  std::string error;
  auto plugin = HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, settings);
  EXPECT_TRUE(plugin) << error;
  EXPECT_TRUE(error.empty()) << error;
  return plugin;
}

bool allFinite(const std::vector<float>& samples) {
  for (float s : samples)
    if (!std::isfinite(s)) return false;
  return true;
}
}  // namespace

TEST(HostLibrary, LoadsTheModuleThroughItsEntryAndRoutesItsFirstCall) {
  auto plugin = loadModule();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->module().entryName(), "VSTPluginMain");
  EXPECT_EQ(plugin->effect()->magic, kEffectMagic);
  // The entry asks for the host version before any effect exists; that call
  // must have been routed to this instance.
  EXPECT_GE(plugin->recorder().callCount(audioMasterVersion), 1);
  EXPECT_EQ(plugin->numOutputs(), 2);
  EXPECT_EQ(plugin->recorder().unknownCallCount(), 0);
}

TEST(HostLibrary, LoadsAndUnloadsRepeatedlyAndSideBySide) {
  for (int round = 0; round < 3; ++round) {
    auto first = loadModule({44100.0, 256, 120.0});
    auto second = loadModule({96000.0, 64, 140.0});
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->effect(), second->effect());
    first->resume();
    second->resume();
    EXPECT_EQ(first->render(300, 256).frames(), 300u);
    EXPECT_EQ(second->render(300, 64).frames(), 300u);
  }
}

TEST(HostLibrary, RendersExactlyTheFramesAskedForAndWritesEveryOne) {
  auto plugin = loadModule({48000.0, 512, 120.0});
  ASSERT_TRUE(plugin);
  plugin->resume();
  plugin->setOutputPrefill(NAN);  // any frame left unwritten would show
  for (int blockSize : {1, 7, 64, 512}) {
    host::RenderedAudio out = plugin->render(1000, blockSize);
    ASSERT_EQ(out.left.size(), 1000u) << blockSize;
    ASSERT_EQ(out.right.size(), 1000u) << blockSize;
    EXPECT_TRUE(allFinite(out.left)) << blockSize;
    EXPECT_TRUE(allFinite(out.right)) << blockSize;
  }
}

TEST(HostLibrary, TakesEveryKindOfEventWhileRendering) {
  auto plugin = loadModule();
  ASSERT_TRUE(plugin);
  plugin->resume();
  plugin->timeline().setPlaying(true);
  MidiEventList schedule;
  schedule.noteOn(0, 0, 60, 100);
  schedule.controller(100, 0, 1, 64);
  schedule.pitchBend(200, 0, 0);
  schedule.channelPressure(300, 0, 80);
  schedule.polyPressure(400, 0, 60, 70);
  schedule.programChange(500, 0, 3);
  schedule.sysex(600, "\xF0\x7D\x00\xF7", 4);
  schedule.noteOff(700, 0, 60);
  schedule.controller(800, 0, 123, 0);
  host::RenderedAudio out = plugin->render(2048, 128, schedule);
  EXPECT_EQ(out.frames(), 2048u);
  EXPECT_EQ(out.droppedEvents, 0);
  EXPECT_TRUE(allFinite(out.left));
  EXPECT_DOUBLE_EQ(plugin->timeline().position(), 2048.0);
}

TEST(HostLibrary, ChunkAndEditorHelpersAreSafeOnTheModule) {
  auto plugin = loadModule();
  ASSERT_TRUE(plugin);
  std::vector<std::uint8_t> bank = plugin->getChunk(false);
  std::vector<std::uint8_t> preset = plugin->getChunk(true);
  // Whatever the module hands out must go back in without harm.
  plugin->setChunk(bank, false);
  plugin->setChunk(preset, true);
  std::vector<std::uint8_t> garbage(37, 0xEE);
  plugin->setChunk(garbage, false);
  plugin->setChunk(nullptr, 0, true);
  if (!plugin->hasEditor()) {
    EXPECT_FALSE(plugin->editorRect().has_value());
    EXPECT_FALSE(plugin->openEditor(0));
  }
  plugin->closeEditor();
  plugin->editorIdle();
  EXPECT_EQ(plugin->stringOverruns(), 0);
}
