// The LV2 bundle as a host sees it: description, pitch, the same audio as the
// VST module, state, presets and the transport.
#include <gtest/gtest.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>

#include "plugin/VstSynth.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/plugin/SoundSetFixture.h"

namespace {

class Lv2PluginTest : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    ASSERT_NE(Lv2TestHost::plugin(), nullptr) << "bundle not found in " VELLAMOR_LV2_PATH;
    // Three sets told apart by their main voice's period.
    writeSoundSet(1, "Gut", {{100, 60}, {200, 36}, {300, 36}});
    writeSoundSet(2, "Steel", {{150, 60}, {200, 36}, {300, 36}});
    writeSoundSet(3, "Nylon", {{80, 60}, {200, 36}, {300, 36}});
    std::vector<double> equal;
    for (int k = 0; k < 12; ++k) equal.push_back(100.0 * k);
    writeScale("12-Equal Temperament", equal);
  }
  static void dry(Lv2TestHost& lv2) {
    for (auto [index, value] : dryParameters()) lv2.setControl(index, value);
    lv2.setFreewheel(true);  // loads finish before a block is rendered
  }
  static std::string text(const LilvNode* node) { return node ? lilv_node_as_string(node) : ""; }
  // A factory preset as the host's preset menu loads it; null if not listed.
  static LilvState* factoryPreset(const std::string& name) {
    LilvNode* presetClass = lilv_new_uri(Lv2TestHost::world(), LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(Lv2TestHost::plugin(), presetClass);
    lilv_node_free(presetClass);
    LilvState* state = nullptr;
    LILV_FOREACH(nodes, i, presets) {
      const LilvNode* preset = lilv_nodes_get(presets, i);
      if (text(preset) != "https://quillmark.net/plugins/vellamor-zul/presets/" + name) continue;
      lilv_world_load_resource(Lv2TestHost::world(), preset);
      Lv2TestHost scratch(44100.0);
      LV2_URID_Map map{&scratch, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2TestHost*>(h)->map(uri); }};
      state = lilv_state_new_from_world(Lv2TestHost::world(), &map, preset);
    }
    lilv_nodes_free(presets);
    return state;
  }
};

TEST_F(Lv2PluginTest, DescribesAnInstrumentWithTheEngineParametersAsPorts) {
  const LilvPlugin* p = Lv2TestHost::plugin();
  EXPECT_EQ(text(lilv_plugin_class_get_uri(lilv_plugin_get_class(p))), LV2_CORE__InstrumentPlugin);
  LilvNode* name = lilv_plugin_get_name(p);
  EXPECT_EQ(text(name), "Vellamor-ZUL");
  lilv_node_free(name);
  ASSERT_EQ(lilv_plugin_get_num_ports(p), 37u);

  // Names as the VST module reports them, defaults from the engine's table.
  auto vst = loadPlugin();
  ASSERT_TRUE(vst);
  const VstSynth table(nullptr);
  std::set<std::string> symbols;
  for (int i = 0; i < 33; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(p, 3 + i);
    const std::string symbol = text(lilv_port_get_symbol(p, port));
    EXPECT_TRUE(std::regex_match(symbol, std::regex("[a-z_][a-z0-9_]*"))) << symbol;
    symbols.insert(symbol);
    LilvNode* portName = lilv_port_get_name(p, port);
    std::string expected = vst->parameterName(i);
    expected.erase(expected.find_last_not_of(' ') + 1);
    EXPECT_EQ(text(portName), expected.substr(expected.find_first_not_of(' '))) << i;
    lilv_node_free(portName);
    LilvNode *def, *min, *max;
    lilv_port_get_range(p, port, &def, &min, &max);
    EXPECT_FLOAT_EQ(lilv_node_as_float(def), table.parameterBlock().params[i].value) << symbol;
    if (symbol == "sound_set") {
      EXPECT_EQ(lilv_node_as_float(max), 98.0f);
    } else if (symbol == "pitch_deviation") {
      EXPECT_EQ(lilv_node_as_float(min), 2.0f);
    } else if (symbol == "volume") {
      EXPECT_EQ(lilv_node_as_float(max), 1.0f);
    }
    lilv_node_free(def), lilv_node_free(min), lilv_node_free(max);
  }
  EXPECT_EQ(symbols.size(), 33u);
  EXPECT_TRUE(symbols.count("pitch_env_offset") && symbols.count("combi_fx"));
}

TEST_F(Lv2PluginTest, NoteAtTheRootKeySoundsAtItsPitchAt441And48kHz) {
  for (double rate : {44100.0, 48000.0}) {
    Lv2TestHost lv2(rate);
    ASSERT_TRUE(lv2.ok());
    dry(lv2);
    const int frames = static_cast<int>(rate);
    host::RenderedAudio out = lv2.render(frames, notes({{0, 60}}));
    ASSERT_TRUE(measure::allFinite(out.left));
    // Set 01's main voice: 441 Hz at its root key.
    EXPECT_NEAR(measure::period(out.left, frames / 4, frames / 2), rate / 441.0, 0.02) << rate;
  }
}

TEST_F(Lv2PluginTest, PresetSoundsSampleForSampleAsTheVstModuleChoosingTheProgram) {
  LilvState* state = factoryPreset("011-nylon-pluck");
  ASSERT_NE(state, nullptr);

  Lv2TestHost lv2(44100.0);
  ASSERT_TRUE(lv2.ok());
  lv2.setFreewheel(true);
  lv2.restore(state);
  lilv_state_free(state);

  std::string error;
  auto vst = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, {44100.0, 256, 120.0, true});
  ASSERT_TRUE(vst) << error;
  vst->setProgram(10);
  vst->resume();

  const auto events = notes({{100, 60}, {9000, 64}, {20000, -64}, {20500, 67}, {30000, -67}});
  const auto a = lv2.render(44100, events);
  const auto b = render(*vst, 44100, events, 256);
  ASSERT_GT(measure::rms(b.left, 0, 44100), 1e-3);
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  EXPECT_TRUE(lv2.messages.empty());
}

TEST_F(Lv2PluginTest, EveryNamedFactoryProgramIsAPreset) {
  std::ifstream in(VELLAMOR_SOURCE_DIR "/data/factory-bank.txt");
  std::set<std::string> expected;
  const std::regex programLine("^program\\s+\\d+\\s+\"([^\"]+)\".*");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, programLine)) expected.insert(m[1]);
  }
  ASSERT_GE(expected.size(), 10u);

  LilvWorld* world = Lv2TestHost::world();
  LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
  LilvNode* label = lilv_new_uri(world, LILV_NS_RDFS "label");
  LilvNodes* presets = lilv_plugin_get_related(Lv2TestHost::plugin(), presetClass);
  std::set<std::string> listed;
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world, preset);
    LilvNode* name = lilv_world_get(world, preset, label, nullptr);
    listed.insert(text(name));
    lilv_node_free(name);
  }
  lilv_nodes_free(presets);
  lilv_node_free(label);
  lilv_node_free(presetClass);
  EXPECT_EQ(listed, expected);
}

TEST_F(Lv2PluginTest, SavedStateRendersTheSameInAFreshInstance) {
  Lv2TestHost a(44100.0);
  ASSERT_TRUE(a.ok());
  dry(a);
  a.setControl(kVolume, 0.7f);
  // A program change the ports know nothing of: only the state carries it.
  host::MidiEventList change;
  change.programChange(0, 0, 11);
  a.render(512, change);
  LilvState* state = a.save();
  ASSERT_NE(state, nullptr);

  Lv2TestHost b(44100.0);
  ASSERT_TRUE(b.ok());
  b.setFreewheel(true);
  b.restore(state);
  lilv_state_free(state);

  const auto events = notes({{0, 62}, {8000, -62}, {9000, 69}});
  const auto first = a.render(22050, events);
  const auto second = b.render(22050, events);
  ASSERT_GT(measure::rms(first.left, 0, 22050), 1e-3);
  EXPECT_EQ(first.left, second.left);
  EXPECT_EQ(first.right, second.right);
}

// The plug-in's state interface fed directly: properties of the wrong size or
// type are left out with one message and the instance plays on.
TEST_F(Lv2PluginTest, BrokenStateFallsBackWithOneMessage) {
  Lv2TestHost lv2(44100.0);
  ASSERT_TRUE(lv2.ok());
  dry(lv2);
  struct Store {
    Lv2TestHost* host;
    std::vector<uint8_t> bank = std::vector<uint8_t>(1000, 0xFF);
    int32_t program = 4000;
  } store{&lv2};
  const auto* iface = static_cast<const LV2_State_Interface*>(lv2.extensionData(LV2_STATE__interface));
  ASSERT_NE(iface, nullptr);
  auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
    auto* s = static_cast<Store*>(h);
    *flags = 0;
    if (key == s->host->map("https://quillmark.net/plugins/vellamor-zul#bank")) {
      *size = s->bank.size(), *type = s->host->map(LV2_ATOM__Chunk);
      return s->bank.data();
    }
    if (key == s->host->map("https://quillmark.net/plugins/vellamor-zul#program")) {
      *size = sizeof s->program, *type = s->host->map(LV2_ATOM__Int);
      return &s->program;
    }
    return nullptr;
  };
  EXPECT_EQ(iface->restore(lv2.handle(), retrieve, &store, 0, nullptr), LV2_STATE_SUCCESS);
  EXPECT_EQ(lv2.messages.size(), 1u);
  const auto out = lv2.render(22050, notes({{0, 60}}));
  EXPECT_TRUE(measure::allFinite(out.left));
  EXPECT_NEAR(measure::period(out.left, 5000, 20000), 100.0, 0.02);
}

// Sound-set loads come from the engine's own loader when the host has no
// worker to run them (this host offers none).
TEST_F(Lv2PluginTest, HostWithoutWorkerStillSwitchesSoundSets) {
  LilvNodes* required = lilv_plugin_get_required_features(Lv2TestHost::plugin());
  LILV_FOREACH(nodes, i, required) EXPECT_NE(text(lilv_nodes_get(required, i)), LV2_WORKER__schedule);
  lilv_nodes_free(required);

  const double rate = 48000.0, stretch = rate / 44100.0;  // the waves are written at 44.1 kHz
  Lv2TestHost lv2(rate);
  ASSERT_TRUE(lv2.ok());
  dry(lv2);
  auto nextNotePeriod = [&] {
    const auto out = lv2.render(24000, notes({{0, 60}, {12000, -60}}));
    EXPECT_TRUE(measure::allFinite(out.left));
    return measure::period(out.left, 2000, 11000);
  };
  EXPECT_NEAR(nextNotePeriod(), 100 * stretch, 0.05);  // set 01
  lv2.setControl(kSoundSet, 1.0f);
  lv2.render(256);  // the set changes at a block start
  EXPECT_NEAR(nextNotePeriod(), 150 * stretch, 0.05);  // set 02

  LilvState* nylon = factoryPreset("011-nylon-pluck");  // its program names set 03
  ASSERT_NE(nylon, nullptr);
  lv2.restore(nylon);
  lilv_state_free(nylon);
  lv2.render(256);
  dry(lv2);  // the preset's effects off again; its sound set stays
  EXPECT_NEAR(nextNotePeriod(), 80 * stretch, 0.05);
}

TEST_F(Lv2PluginTest, TransportStartsAndStopsTheDroneInMode1) {
  writeSoundSet(1, "Gut", {kSilence, kSilence, {300, 36}});
  Lv2TestHost lv2(44100.0);
  ASSERT_TRUE(lv2.ok());
  dry(lv2);
  lv2.setControl(kDroneType, 1.0f / 3.0f);
  lv2.setControl(kDrone, 1.0f);
  // A key struck and let go; the drone holds only while the transport rolls.
  const auto strike = notes({{0, 64}, {2000, -64}});
  const auto untimed = lv2.render(22050, strike);
  EXPECT_LT(measure::rms(untimed.left, 11025, 22050), 1e-3);

  lv2.setTransport(true);
  const auto rolling = lv2.render(44100, strike);
  const double playing = measure::rms(rolling.left, 22050, 44100);
  EXPECT_GT(playing, 0.05);
  EXPECT_NEAR(measure::period(rolling.left, 22050, 44100), 300.0, 0.02);  // note 36

  lv2.setTransport(false);
  const auto stopped = lv2.render(44100);
  EXPECT_LT(measure::rms(stopped.left, 22050, 44100), 0.01 * playing);
  EXPECT_TRUE(measure::allFinite(stopped.left));
}

}  // namespace
