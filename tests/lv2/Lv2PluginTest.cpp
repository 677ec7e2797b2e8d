// The LV2 bundle as a host sees it: pitch, the same audio as the
// VST module, state, presets and the transport.
#include <gtest/gtest.h>
#include <lv2/presets/presets.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>

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
    writeScale("12-Equal Temperament", {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100});
  }
  static void dry(Lv2TestHost& lv2) {
    for (auto [index, value] : dryParameters()) lv2.setControl(index, value);
    lv2.setFreewheel(true);  // loads finish before a block is rendered
  }
  static std::string text(const LilvNode* node) { return node ? lilv_node_as_string(node) : ""; }
  // The presets a host's menu lists: label to URI.
  static std::map<std::string, std::string> presets() {
    LilvWorld* world = Lv2TestHost::world();
    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(world, LILV_NS_RDFS "label");
    LilvNodes* related = lilv_plugin_get_related(Lv2TestHost::plugin(), presetClass);
    std::map<std::string, std::string> out;
    LILV_FOREACH(nodes, i, related) {
      const LilvNode* preset = lilv_nodes_get(related, i);
      lilv_world_load_resource(world, preset);
      LilvNode* name = lilv_world_get(world, preset, label, nullptr);
      out[text(name)] = text(preset);
      lilv_node_free(name);
    }
    lilv_nodes_free(related), lilv_node_free(label), lilv_node_free(presetClass);
    return out;
  }
  // A listed preset as the host loads it; null if not listed.
  static LilvState* factoryPreset(const std::string& label) {
    const auto listed = presets();
    if (!listed.count(label)) return nullptr;
    LilvNode* uri = lilv_new_uri(Lv2TestHost::world(), listed.at(label).c_str());
    Lv2TestHost scratch(44100.0);
    LilvState* state = lilv_state_new_from_world(Lv2TestHost::world(), scratch.uridMap(), uri);
    lilv_node_free(uri);
    return state;
  }
  // An instance given this state (null: a fresh one, its ports at the
  // described defaults) plays notes sample for sample as the VST module does
  // on this program (-1: the one it starts with).
  static void expectSameAsVst(LilvState* state, int program) {
    SCOPED_TRACE("program " + std::to_string(program));
    Lv2TestHost lv2(44100.0);
    ASSERT_TRUE(lv2.ok());
    lv2.setFreewheel(true);
    if (state) lv2.restore(state);
    std::string error;
    auto vst = host::HostedPlugin::load(VELLAMOR_PLUGIN_PATH, error, {44100.0, 256, 120.0, true});
    ASSERT_TRUE(vst) << error;
    if (program >= 0) vst->setProgram(program);
    vst->resume();
    const auto events = notes({{100, 60}, {9000, 64}, {20000, -64}, {20500, 67}, {30000, -67}});
    const auto a = lv2.render(44100, events);
    const auto b = render(*vst, 44100, events, 256);
    ASSERT_GT(measure::rms(b.left, 0, 44100), 1e-3);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_TRUE(lv2.messages.empty());
  }
};

// Every named factory program is listed, and one loaded from the menu sounds
// sample for sample as the VST module choosing that program.
TEST_F(Lv2PluginTest, FactoryProgramsArePresetsSoundingAsTheVstPrograms) {
  std::ifstream in(VELLAMOR_SOURCE_DIR "/data/factory-bank.txt");
  std::set<std::string> expected, listed;
  const std::regex programLine("^program\\s+\\d+\\s+\"([^\"]+)\".*");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, programLine)) expected.insert(m[1]);
  }
  ASSERT_GE(expected.size(), 10u);
  for (const auto& [label, uri] : presets()) listed.insert(label);
  EXPECT_EQ(listed, expected);

  LilvState* state = factoryPreset("Nylon Pluck");
  ASSERT_NE(state, nullptr);
  expectSameAsVst(state, 10);
  expectSameAsVst(nullptr, -1);  // both start with the bank's first program
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

  const auto events = notes({{0, 62}, {8000, -62}, {9000, 69}});
  const auto first = a.render(22050, events);
  const auto second = b.render(22050, events);
  ASSERT_GT(measure::rms(first.left, 0, 22050), 1e-3);
  EXPECT_EQ(first.left, second.left);
  EXPECT_EQ(first.right, second.right);
}

// Set 01 sounds 441 Hz at its root key at every rate; with no worker offered,
// set loads come from the engine's own loader.
TEST_F(Lv2PluginTest, PitchAtEveryRateAndSetSwitchesWithAndWithoutWorker) {
  LilvNodes* required = lilv_plugin_get_required_features(Lv2TestHost::plugin());
  LILV_FOREACH(nodes, i, required) EXPECT_NE(text(lilv_nodes_get(required, i)), LV2_WORKER__schedule);
  lilv_nodes_free(required);

  for (double rate : {44100.0, 48000.0, 96000.0}) {
    const double stretch = rate / 44100.0;  // the waves are written at 44.1 kHz
    auto nextNotePeriod = [&](Lv2TestHost& lv2) {
      const auto out = lv2.render(24000, notes({{0, 60}, {12000, -60}}));
      EXPECT_TRUE(measure::allFinite(out.left));
      return measure::period(out.left, 2000, 11000);
    };
    Lv2TestHost lv2(rate);
    ASSERT_TRUE(lv2.ok());
    dry(lv2);
    EXPECT_NEAR(nextNotePeriod(lv2), rate / 441.0, 0.02) << rate;  // set 01
    lv2.setControl(kSoundSet, 1.0f);
    lv2.render(256);  // the set changes at a block start
    EXPECT_NEAR(nextNotePeriod(lv2), 150 * stretch, 0.05) << rate;  // set 02

    LilvState* nylon = factoryPreset("Nylon Pluck");  // its program names set 03
    ASSERT_NE(nylon, nullptr);
    lv2.restore(nylon);
    lv2.render(256);
    dry(lv2);  // the preset's effects off again; its sound set stays
    EXPECT_NEAR(nextNotePeriod(lv2), 80 * stretch, 0.05) << rate;

    // In real time, a host with a worker loads the set there: the next note
    // plays it without waiting for the engine's own loader.
    Lv2TestHost worker(rate, 256, true);
    ASSERT_TRUE(worker.ok());
    dry(worker);
    worker.setFreewheel(false);
    worker.render(256);
    worker.setControl(kSoundSet, 2.0f);
    worker.render(256);
    EXPECT_GT(worker.scheduledWork(), 0);
    EXPECT_NEAR(nextNotePeriod(worker), 80 * stretch, 0.05) << rate;
  }
}

TEST_F(Lv2PluginTest, TransportStartsAndStopsTheDroneInMode1) {
  writeSoundSet(1, "Gut", {kSilence, kSilence, {300, 36}});
  Lv2TestHost lv2(44100.0);
  ASSERT_TRUE(lv2.ok());
  dry(lv2);
  lv2.setControl(kDroneType, 1.0f / 3.0f);
  lv2.setControl(kDrone, 1.0f);
  lv2.setControl(kRelease, 0.1f);  // the struck key dies away within 0.25 s
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
