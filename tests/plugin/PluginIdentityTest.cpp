// The built module, loaded and driven exactly as a DAW does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/HostedPlugin.h"

using namespace vst;

namespace {

std::unique_ptr<host::HostedPlugin> loadPlugin(const host::HostSettings& settings = {}) {
  std::string error;
  auto plugin = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, settings);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

TEST(PluginIdentity, ExportsBothEntryPointsAndAnswersLikeTheInstrument) {
  void* handle = dlopen(VELLAMOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "VSTPluginMain"), nullptr);
  EXPECT_NE(dlsym(handle, "main"), nullptr);
  dlclose(handle);

  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->module().entryName(), "VSTPluginMain");
  // The entry asks for the host version before any effect exists; that call
  // must have been routed to this instance.
  EXPECT_GE(plugin->recorder().callCount(audioMasterVersion), 1);
  EXPECT_EQ(plugin->recorder().unknownCallCount(), 0);
  EXPECT_EQ(plugin->effect()->magic, kEffectMagic);
  EXPECT_EQ(std::tuple(plugin->effectName(), plugin->productString(), plugin->vendorString().size()),
            std::tuple("Vellamor-ZUL", "Vellamor-ZUL", 13u));
  EXPECT_EQ(plugin->uniqueId(), fourCC('k', 'Z', 'U', 'L'));
  EXPECT_EQ(std::tuple(plugin->version(), plugin->vendorVersion(), plugin->vstVersion()),
            std::tuple(1, 1, 2400));
  EXPECT_EQ(std::tuple(plugin->numInputs(), plugin->numOutputs(), plugin->numParams(),
                       plugin->numPrograms()),
            std::tuple(0, 2, 57, 128));
  EXPECT_TRUE(plugin->hasFlag(effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing));
  EXPECT_EQ(std::tuple(plugin->plugCategory(), plugin->numMidiInputChannels(),
                       plugin->numMidiOutputChannels()),
            std::tuple(kPlugCategSynth, 1, 0));
  EXPECT_EQ(std::tuple(plugin->canDo("receiveVstEvents"), plugin->canDo("receiveVstMidiEvent"),
                       plugin->canDo("sendVstMidiEvent"), plugin->canDo("")),
            std::tuple(1, 1, -1, -1));
  auto pin1 = plugin->outputProperties(0), pin2 = plugin->outputProperties(1);
  ASSERT_TRUE(pin1 && pin2);
  EXPECT_EQ(std::string(pin1->label) + "/" + pin2->label, "Vellamor-ZUL 1/Vellamor-ZUL 2");
  EXPECT_EQ(pin2->flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_FALSE(plugin->outputProperties(2));
  plugin->resume();
  EXPECT_TRUE(plugin->midiRequested());
}

TEST(PluginIdentity, ProgramsChunksAndStringsThroughTheDispatcherOfIndependentInstances) {
  auto plugin = loadPlugin({44100.0, 256, 120.0});
  auto other = loadPlugin({96000.0, 64, 140.0});
  ASSERT_TRUE(plugin && other);
  const float before = other->getParameter(12);
  plugin->setParameter(12, before > 0.5f ? 0.1f : 0.9f);
  plugin->setProgram(3);
  EXPECT_EQ(plugin->program(), 3);
  EXPECT_EQ(other->getParameter(12), before);
  EXPECT_EQ(other->program(), 0);
  // Every string answer stays within its buffer.
  for (int i = 0; i < 57; ++i) {
    plugin->parameterName(i);
    plugin->parameterLabel(i);
    plugin->parameterDisplay(i);
  }
  for (int k = 0; k < 128; ++k) plugin->programNameIndexed(k);
  // Whatever the module hands out goes back in.
  const std::vector<std::uint8_t> bank = plugin->getChunk(false);
  const std::vector<std::uint8_t> preset = plugin->getChunk(true);
  EXPECT_EQ(bank.size(), 39428u);
  EXPECT_EQ(preset.size(), 292u);
  EXPECT_EQ(plugin->setChunk(bank, false), 1);
  EXPECT_EQ(plugin->setChunk(preset, true), 1);
  EXPECT_EQ(plugin->getChunk(false), bank);
  // Editor calls without an open editor are harmless.
  plugin->closeEditor();
  plugin->editorIdle();
  EXPECT_EQ(plugin->stringOverruns(), 0);
}

}  // namespace
