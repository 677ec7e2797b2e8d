// Program switches arriving on two threads at once, as the stress test met
// them: a MIDI program change on the audio thread while the host switches
// programs, and the other way round. Neither may be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "plugin/SynthEditor.h"
#include "plugin/VstSynth.h"
#include "tests/regression/RegressionSupport.h"
#include "vst/AEffEditor.h"

using namespace vst;
using namespace regression;

namespace {

// An editor that does something once in the middle of the plug-in's call to
// setPreset (made while a switch is under way) or to setParameter.
class InterruptingEditor : public AEffEditor, public SynthEditor {
 public:
  explicit InterruptingEditor(AudioEffect* effect) : AEffEditor(effect) {}
  void setParameter(long, float) override { runOnce(onParameter); }
  void setPreset() override { runOnce(during); }
  void readMidiCC() override {}
  void setPresetEntry(long, const char*) override {}
  void updateScale() override {}
  void updateSoundSet(long) override {}

  std::function<void()> during;
  std::function<void()> onParameter;

 private:
  static void runOnce(std::function<void()>& action) {
    if (!action) return;
    auto once = std::move(action);
    action = nullptr;
    once();
  }
};

InterruptingEditor* g_editor = nullptr;

AEffEditor* makeEditor(VstSynth* synth) {
  g_editor = new InterruptingEditor(synth);
  synth->setEditor(g_editor);
  return g_editor;
}

void renderBlock(VstSynth& synth, int programChange = -1) {
  std::vector<float> left(64), right(64);
  float* outs[2] = {left.data(), right.data()};
  VstMidiEvent change{kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0,
                      {char(0xC0), char(programChange), 0, 0}, 0, 0, 0, 0};
  VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&change), nullptr}};
  if (programChange >= 0) synth.processEvents(&list);
  synth.processReplacing(nullptr, outs, 64);
}

class ProgramSwitch : public ::testing::Test {
 protected:
  void SetUp() override { VstSynth::setEditorFactory(makeEditor); }
  void TearDown() override { VstSynth::setEditorFactory(nullptr); }
  QuietMessages quiet_;
};

TEST_F(ProgramSwitch, MidiChangeDuringTheHostsSwitchIsMadeAtTheNextBlock) {
  VstSynth synth(quietHost);
  synth.resume();
  ASSERT_TRUE(g_editor);
  g_editor->during = [&] { std::thread([&] { renderBlock(synth, 9); }).join(); };
  synth.setProgram(3);
  EXPECT_EQ(synth.getProgram(), 3);
  renderBlock(synth);
  EXPECT_EQ(synth.getProgram(), 9);
}

TEST_F(ProgramSwitch, HostsSwitchDuringAMidiChangeWaitsAndIsMade) {
  VstSynth synth(quietHost);
  synth.resume();
  ASSERT_TRUE(g_editor);
  std::thread control;
  std::atomic<bool> finishedEarly{false};
  g_editor->during = [&] {
    control = std::thread([&] { synth.setProgram(5); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The audio thread's switch is still under way: the host's must wait.
    finishedEarly = synth.getProgram() == 5;
  };
  renderBlock(synth, 7);
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
  long raised = -1;
  for (long k = 0; k < synth.tuning().getSize(); ++k)
    if (std::string(synth.tuning().getTableName(k)) == "Raised") raised = k;
  ASSERT_GE(raised, 0);
  // The editor reacts to a parameter the MIDI program change sets: on the
  // audio thread.
  bool called = false;
  g_editor->onParameter = [&] {
    synth.loadNewScale(raised);
    called = true;
  };
  renderBlock(synth, 2);
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
  renderBlock(synth, 1);
  synth.setProgram(0);
  synth.waitForLoads();
  EXPECT_EQ(synth.getProgram(), 0);
  EXPECT_EQ(synth.currentSoundSet(), 0);
}

}  // namespace
