// The built module, loaded and driven exactly as a DAW does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "host/HostedPlugin.h"

using namespace vst;

namespace {

std::unique_ptr<host::HostedPlugin> loadPlugin(const host::HostSettings& settings = {}) {
  std::string error;
  auto plugin = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, settings);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

TEST(PluginIdentity, AnswersLikeTheInstrument) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->effect()->magic, kEffectMagic);
  EXPECT_EQ(plugin->effectName(), "Vellamor-ZUL");
  EXPECT_EQ(plugin->productString(), "Vellamor-ZUL");
  EXPECT_EQ(plugin->vendorString().size(), 13u);
  EXPECT_EQ(plugin->uniqueId(), fourCC('k', 'Z', 'U', 'L'));
  EXPECT_EQ(plugin->version(), 1);
  EXPECT_EQ(plugin->vendorVersion(), 1);
  EXPECT_EQ(plugin->vstVersion(), 2400);
  EXPECT_EQ(plugin->numInputs(), 0);
  EXPECT_EQ(plugin->numOutputs(), 2);
  EXPECT_EQ(plugin->numParams(), 57);
  EXPECT_EQ(plugin->numPrograms(), 128);
  EXPECT_TRUE(plugin->hasFlag(effFlagsIsSynth));
  EXPECT_TRUE(plugin->hasFlag(effFlagsProgramChunks));
  EXPECT_TRUE(plugin->hasFlag(effFlagsCanReplacing));
  EXPECT_EQ(plugin->plugCategory(), kPlugCategSynth);
  EXPECT_EQ(plugin->numMidiInputChannels(), 1);
  EXPECT_EQ(plugin->numMidiOutputChannels(), 0);
}

TEST(PluginIdentity, CapabilitiesAndPins) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->canDo("receiveVstEvents"), 1);
  EXPECT_EQ(plugin->canDo("receiveVstMidiEvent"), 1);
  EXPECT_EQ(plugin->canDo("sendVstMidiEvent"), -1);
  EXPECT_EQ(plugin->canDo(""), -1);

  auto pin1 = plugin->outputProperties(0);
  auto pin2 = plugin->outputProperties(1);
  ASSERT_TRUE(pin1 && pin2);
  EXPECT_STREQ(pin1->label, "Vellamor-ZUL 1");
  EXPECT_STREQ(pin2->label, "Vellamor-ZUL 2");
  EXPECT_EQ(pin2->flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_FALSE(plugin->outputProperties(2));
  // No editor yet: the wheel message is not taken.
  EXPECT_EQ(plugin->vendorSpecific(fourCC('s', 't', 'C', 'A'), fourCC('W', 'h', 'e', 'e'),
                                   nullptr, 1.0f),
            0);
}

TEST(PluginIdentity, ParametersThroughTheDispatcher) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->parameterName(31), "Vib FX       ");
  EXPECT_EQ(plugin->parameterName(13), "Volume          ");
  EXPECT_EQ(plugin->parameterLabel(13), "");
  plugin->setParameter(13, 1.7f);
  EXPECT_EQ(plugin->getParameter(13), 1.0f);
  EXPECT_EQ(plugin->parameterDisplay(13), "1.000");
  plugin->setParameter(13, NAN);
  EXPECT_EQ(plugin->getParameter(13), 1.0f);
  EXPECT_EQ(plugin->getParameter(57), 0.0f);
  EXPECT_TRUE(plugin->canBeAutomated(40));
  EXPECT_EQ(plugin->programNameIndexed(127), "Init");
  plugin->setProgram(200);  // out of range: ignored
  EXPECT_EQ(plugin->program(), 0);
  plugin->setProgram(3);
  EXPECT_EQ(plugin->program(), 3);
}

TEST(PluginIdentity, SilentUntilTheFirstMidiAndEveryFrameWritten) {
  auto plugin = loadPlugin();
  ASSERT_TRUE(plugin);
  plugin->setOutputPrefill(NAN);  // frames the plug-in leaves alone stay NaN
  plugin->resume();
  EXPECT_TRUE(plugin->midiRequested());
  host::RenderedAudio quiet = plugin->render(1000, 256);
  ASSERT_EQ(quiet.frames(), 1000u);
  for (size_t i = 0; i < quiet.frames(); ++i) {
    ASSERT_EQ(quiet.left[i], 0.0f) << i;
    ASSERT_EQ(quiet.right[i], 0.0f) << i;
  }
  host::MidiEventList notes;
  notes.noteOn(0, 0, 60, 100);
  notes.noteOff(300, 0, 60);
  host::RenderedAudio played = plugin->render(1000, 256, notes);
  for (size_t i = 0; i < played.frames(); ++i) {
    ASSERT_TRUE(std::isfinite(played.left[i]) && std::isfinite(played.right[i])) << i;
  }
}

TEST(PluginIdentity, TwoInstancesAndReloadsAreIndependent) {
  for (int round = 0; round < 3; ++round) {
    auto a = loadPlugin();
    auto b = loadPlugin();
    ASSERT_TRUE(a && b);
    float before = b->getParameter(12);
    a->setParameter(12, before > 0.5f ? 0.1f : 0.9f);
    EXPECT_EQ(b->getParameter(12), before);
  }
}

}  // namespace
