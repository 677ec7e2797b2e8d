// Faults found by fuzzing and stress runs (the fuzz targets replay the saved
// inputs under inputs/<reader>/), rebuilt in the smallest form that showed
// them, and program switches arriving on two threads at once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/MidiEventList.h"
#include "plugin/SynthEditor.h"
#include "plugin/VstSynth.h"
#include "sound/VORNsndWriter.h"
#include "support/VornMain.h"
#include "tests/testsupport/MessageLog.h"
#include "tests/testsupport/TestFiles.h"
#include "vst/AEffEditor.h"

using namespace vst;
namespace fs = std::filesystem;

namespace {

// Set before main(): the engine never sees the user's folders.
const testfiles::TempDir g_root("vellamor-regression");
const bool g_rootSet = [] {
  setenv("XDG_DATA_HOME", (g_root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
  return true;
}();

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Folder `name` of the sound data with the same wave for all three voices.
void writeSoundSet(const std::string& name, const VORNsndWriter::Wave& wave) {
  VornMain::setDataPaths("Vellamor");
  const fs::path folder = fs::path(VornMain::soundDataPath()) / name;
  fs::create_directories(folder);
  for (const char* file : {"MainS", "Symp", "Drone"}) {
    std::string error;
    ASSERT_TRUE(VORNsndWriter::write((folder / (std::string(file) + ".VORNsnd")).string(), "t",
                                     {wave}, nullptr, &error))
        << error;
  }
}

// Renders after a note-on and/or a program change; both channels, one after the other.
std::vector<float> render(VstSynth& synth, int frames, int note = -1, int program = -1) {
  std::vector<float> out(2 * frames);
  float* outs[2] = {out.data(), out.data() + frames};
  host::MidiEventList events;
  if (note >= 0) events.noteOn(0, 0, note, 100);
  if (program >= 0) events.programChange(0, 0, program);
  synth.processEvents(events.vstEvents());
  synth.processReplacing(nullptr, outs, frames);
  return out;
}

bool finite(const std::vector<float>& x) {
  return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    VORNsndWriter::Wave wave;
    for (int i = 0; i < 8000; ++i)
      wave.samples.push_back(0.5f * std::sin(6.2831853f * static_cast<float>(i % 80) / 80.0f));
    wave.loopStart = 800;
    wave.loopEnd = 800 + 80 * 80 - 1;
    writeSoundSet("01-Sine", wave);
  }
  static bool sounds(const std::vector<float>& x) {
    return std::any_of(x.begin(), x.end(), [](float v) { return std::fabs(v) > 0.01f; });
  }
  static std::vector<std::uint8_t> chunk(VstSynth& synth, bool program) {
    void* data = nullptr;
    VstInt32 size = synth.getChunk(&data, program);
    return {static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size};
  }

  testfiles::MessageLog quiet_{false};  // every question answered "No"
};

TEST_F(Engine, BankChunkCannotUnclampAParameterOrStoreHostileValues) {
  VstSynth synth(quietHost);
  synth.resume();
  std::vector<std::uint8_t> bank = chunk(synth, false);
  // Every record claims to be unclamped and learned to no real controller,
  // every value is enormous, and a bool byte is neither 0 nor 1.
  const float huge = 4e27f, nan = NAN, inf = INFINITY;
  const std::int32_t badCC = 5000;
  auto put = [&](std::size_t at, const void* value) { std::memcpy(&bank[at], value, 4); };
  for (int i = 0; i < kNumParams; ++i) {
    bank[i * sizeof(VstParams) + offsetof(VstParams, unclamped)] = 1;
    put(i * sizeof(VstParams) + offsetof(VstParams, value), &huge);
    put(i * sizeof(VstParams) + offsetof(VstParams, midiCC), &badCC);
  }
  bank[13 * sizeof(VstParams) + offsetof(VstParams, perProgram)] = 0x7f;
  // Value i of program k.
  auto value = [](int k, int i) {
    return sizeof(VstParams) * kNumParams + k * sizeof(VstProgram) + offsetof(VstProgram, values) + i * 4;
  };
  for (int k = 0; k < kNumPrograms; ++k)
    for (int i = 0; i < kNumParams; ++i)
      if (i != 24) put(value(k, i), &huge);  // the sound-set code stays playable
  // The current program: values that are no numbers, a name without its end.
  put(value(0, 13), &nan);
  put(value(0, 12), &inf);
  std::memset(&bank[value(0, 0) - offsetof(VstProgram, values)], 'x', sizeof(VstProgram::name));
  ASSERT_EQ(synth.setChunk(bank.data(), static_cast<VstInt32>(bank.size()), false), 1);
  EXPECT_FALSE(synth.parameterBlock().params[13].unclamped);
  EXPECT_EQ(synth.getParameter(11), 1.0f);
  // Not finite: the table's defaults (Volume 1, Sympathetic 0.2).
  EXPECT_EQ(synth.getParameter(13), 1.0f);
  EXPECT_FLOAT_EQ(synth.getParameter(12), 0.2f);
  EXPECT_EQ(synth.getMidiCC(13), 0);
  char name[64];
  synth.getProgramName(name);
  EXPECT_EQ(std::strlen(name), 23u);
  // Programs not yet selected hold clamped values too.
  EXPECT_EQ(synth.parameterBlock().programs[77].values[12].value, 1.0f);
  // Unclamped parameters keep what they were given.
  EXPECT_EQ(synth.parameterBlock().programs[77].values[17].value, huge);
  EXPECT_TRUE(finite(render(synth, 4096, 60)));
}

// Every size but a program's or the whole state's gets the same message
// through the host's dispatcher, sizes of 0 or less and beyond 32 bits too;
// only a missing buffer is turned away without one.
TEST_F(Engine, EveryWrongChunkSizeGetsTheWrongSizeMessage) {
  VstSynth synth(quietHost);
  const std::vector<std::uint8_t> before = chunk(synth, false);
  std::vector<std::uint8_t> data = before;
  const VstIntPtr sizes[] = {0, -1, -39428, INT64_MIN, 37, 39427, 39429,
                             (VstIntPtr{1} << 32) + 39428};
  for (bool program : {false, true}) {
    for (VstIntPtr size : sizes) {
      testfiles::MessageLog log;
      EXPECT_EQ(synth.dispatcher(effSetChunk, program, size, data.data(), 0.0f), 0) << size;
      ASSERT_EQ(log.shown.size(), 1u) << "size " << size;
      EXPECT_EQ(log.shown[0].text, "Can't load bank, wrong file size!");
      EXPECT_EQ(log.shown[0].title, "Error!");
    }
  }
  testfiles::MessageLog log;
  EXPECT_EQ(synth.dispatcher(effSetChunk, 0, 39428, nullptr, 0.0f), 0);
  EXPECT_EQ(synth.dispatcher(effSetChunk, 0, 0, nullptr, 0.0f), 0);
  EXPECT_TRUE(log.shown.empty());
  EXPECT_EQ(chunk(synth, false), before);
}

TEST_F(Engine, NoParameterValueFromAHostMakesTheOutputNonFinite) {
  VstSynth synth(quietHost);
  synth.resume();
  synth.setParameter(24, 0.0f);  // folder "01-Sine"
  synth.setProgram(0);
  EXPECT_TRUE(sounds(render(synth, 4096, 60)));  // the set plays at all
  std::vector<std::uint8_t> program = chunk(synth, true);
  const auto size = static_cast<VstInt32>(program.size());
  const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3.4e38f, -3.4e38f, 1e-42f};
  for (int index = 0; index < kNumParams; ++index) {
    for (float value : hostile) {
      synth.setParameter(index, value);
      ASSERT_TRUE(finite(render(synth, 512, 40 + index))) << "parameter " << index << " = " << value;
      EXPECT_TRUE(std::isfinite(synth.getParameter(index)));
    }
    synth.setChunk(program.data(), size, true);
  }
  // The instrument still plays afterwards.
  EXPECT_TRUE(sounds(render(synth, 8192, 60)));
}

TEST_F(Engine, EveryOpcodeSurvivesNullPointersAndWildNumbers) {
  VstSynth synth(quietHost);
  const VstInt32 indices[] = {0, -1, 56, 57, 1 << 30};
  const VstIntPtr values[] = {0, -1, 1, 0x7fffffff, static_cast<VstIntPtr>(1) << 40};
  for (VstInt32 opcode = 0; opcode < 80; ++opcode) {
    if (opcode == effEditOpen || opcode == effEditClose) continue;  // no editor here
    for (VstInt32 index : indices)
      for (VstIntPtr value : values) synth.dispatcher(opcode, index, value, nullptr, NAN);
  }
  synth.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
  std::vector<float> left(512, NAN), right(512, NAN);
  float* outs[2] = {left.data(), right.data()};
  // No outputs, a missing channel, no frames: nothing written.
  float* oneChannel[2] = {left.data(), nullptr};
  synth.processReplacing(nullptr, nullptr, 512);
  synth.processReplacing(nullptr, oneChannel, 512);
  synth.processReplacing(nullptr, outs, 0);
  synth.processReplacing(nullptr, outs, -64);
  ASSERT_TRUE(std::isnan(left[0]) && std::isnan(right[0]));
  synth.processReplacing(nullptr, outs, 512);
  EXPECT_TRUE(finite(left) && finite(right));
  // Rates outside 8000..768000 Hz (NaN included above) leave the last good one.
  for (auto [rate, kept] : {std::pair{9.18898e31f, 44100.0f}, {8000.0f, 8000.0f}, {7999.0f, 8000.0f},
                            {768000.0f, 768000.0f}, {768001.0f, 768000.0f}, {-48000.0f, 768000.0f},
                            {INFINITY, 768000.0f}}) {
    synth.setSampleRate(rate);
    EXPECT_EQ(synth.getSampleRate(), kept) << rate;
    EXPECT_TRUE(finite(render(synth, 1024, 60)));
  }
}

// Runs a hook once inside setPreset (mid-switch) or setParameter.
class InterruptingEditor : public AEffEditor, public SynthEditor {
 public:
  explicit InterruptingEditor(AudioEffect* effect) : AEffEditor(effect) {}
  void setParameter(long, float) override {
    if (auto once = std::exchange(onParameter, nullptr)) once();
  }
  void setPreset() override {
    if (auto once = std::exchange(during, nullptr)) once();
  }
  void readMidiCC() override {}
  void setPresetEntry(long, const char*) override {}
  void updateScale() override {}
  void updateSoundSet(long) override {}
  std::function<void()> during, onParameter;
};

InterruptingEditor* g_editor = nullptr;

class ProgramSwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    VstSynth::setEditorFactory([](VstSynth* synth) -> AEffEditor* {
      synth->setEditor(g_editor = new InterruptingEditor(synth));
      return g_editor;
    });
  }
  void TearDown() override { VstSynth::setEditorFactory(nullptr); }
  testfiles::MessageLog quiet_{false};  // every question answered "No"
};

// Each thread's switch arriving while the other's is under way.
TEST_F(ProgramSwitch, SwitchesFromTheHostAndFromMidiMeetingMidSwitchAreBothMade) {
  VstSynth synth(quietHost);
  synth.resume();
  ASSERT_TRUE(g_editor);
  // A MIDI change during the host's switch is made at the next block.
  g_editor->during = [&] { std::thread([&] { render(synth, 64, -1, 9); }).join(); };
  synth.setProgram(3);
  EXPECT_EQ(synth.getProgram(), 3);
  render(synth, 64);
  EXPECT_EQ(synth.getProgram(), 9);

  // The host's switch during a MIDI change waits for it, then is made.
  std::thread control;
  std::atomic<bool> finishedEarly{false};
  g_editor->during = [&] {
    control = std::thread([&] { synth.setProgram(5); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    finishedEarly = synth.getProgram() == 5;
  };
  render(synth, 64, -1, 7);
  control.join();
  EXPECT_FALSE(finishedEarly);
  EXPECT_EQ(synth.getProgram(), 5);
}

TEST_F(ProgramSwitch, ScaleChosenOnTheAudioThreadIsStoredAndLoadedByTheWorker) {
  VornMain::setDataPaths("Vellamor");
  const fs::path folder = fs::path(VornMain::soundDataPath()) / "Scale";
  fs::create_directories(folder);
  std::ofstream(folder / "Flat.txt") << "0\n0\n";
  std::ofstream(folder / "Raised.txt") << "0\n35\n";
  VstSynth synth(quietHost);
  synth.resume();
  ASSERT_TRUE(g_editor);
  const long raised = std::string(synth.tuning().getTableName(1)) == "Raised" ? 1 : 0;
  ASSERT_STREQ(synth.tuning().getTableName(raised), "Raised");
  // The editor reacts to a parameter the MIDI program change sets: on the
  // audio thread.
  bool called = false;
  g_editor->onParameter = [&] {
    synth.loadNewScale(raised);
    called = true;
  };
  render(synth, 64, -1, 2);
  ASSERT_TRUE(called);
  synth.waitForLoads();
  EXPECT_EQ(synth.getProgram(), 2);
  EXPECT_EQ(synth.CurrentScale(), raised);
  EXPECT_FLOAT_EQ(synth.tuning().Tick(1), 0.35f);
}

TEST_F(ProgramSwitch, StaleSoundSetRequestDoesNotOverrideTheHostsLaterSwitch) {
  VORNsndWriter::Wave wave;
  wave.samples.assign(400, 0.25f);
  writeSoundSet("01-First", wave);
  writeSoundSet("02-Second", wave);
  VstSynth synth(quietHost);
  synth.resume();
  // Folder "01-..." holds the set of code 0, "02-..." code 1.
  synth.setProgram(1);
  synth.setParameter(24, 1.0f);
  synth.setProgram(0);
  synth.setParameter(24, 0.0f);
  synth.setProgram(0);
  synth.waitForLoads();
  ASSERT_EQ(synth.currentSoundSet(), 0);
  // A MIDI program change asks the worker for set 1; before the worker gets
  // to it the host switches back to program 0, which wants set 0.
  render(synth, 64, -1, 1);
  synth.setProgram(0);
  synth.waitForLoads();
  EXPECT_EQ(synth.getProgram(), 0);
  EXPECT_EQ(synth.currentSoundSet(), 0);
}

}  // namespace
