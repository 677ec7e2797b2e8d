// An instance destroyed while its worker still loads a sound set: the load
// ends by telling the editor, so the editor must outlive it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "host/MidiEventList.h"
#include "plugin/VstSynth.h"
#include "tests/plugin/SoundSetFixture.h"
#include "vst/AEffEditor.h"

namespace {

using namespace std::chrono_literals;

// Kept outside the editor so it can be read once the editor is gone.
struct EditorLog {
  std::mutex mutex;
  std::condition_variable changed;
  bool holdReports = false;  // the next report waits for `release`
  bool inReport = false, release = false, destroyed = false, destroyedDuringReport = false;
};

EditorLog* g_log = nullptr;

// Holds the worker inside its "set loaded" report until the test lets go; its
// destructor waits for that report, so a wrong order shows as a flag.
class HoldingEditor : public vst::AEffEditor, public SynthEditor {
 public:
  HoldingEditor(vst::AudioEffect* effect, EditorLog& log) : AEffEditor(effect), log_(log) {}
  ~HoldingEditor() override {
    std::unique_lock<std::mutex> lock(log_.mutex);
    log_.destroyed = true;
    log_.destroyedDuringReport = log_.inReport;
    log_.changed.notify_all();
    log_.changed.wait(lock, [&] { return !log_.inReport; });
  }

  void updateSoundSet(long) override {
    std::unique_lock<std::mutex> lock(log_.mutex);
    if (!log_.holdReports) return;
    log_.inReport = true;
    log_.changed.notify_all();
    log_.changed.wait_for(lock, 5s, [&] { return log_.release || log_.destroyed; });
    log_.inReport = false;
    log_.changed.notify_all();
  }
  void setParameter(long, float) override {}
  void readMidiCC() override {}
  void setPresetEntry(long, const char*) override {}
  void setPreset() override {}
  void updateScale() override {}

 private:
  EditorLog& log_;
};

class InstanceTeardown : public SoundSetFixture {
 protected:
  void TearDown() override {
    VstSynth::setEditorFactory(nullptr);
    g_log = nullptr;
  }
};

TEST_F(InstanceTeardown, DestroyedWhileTheWorkerLoadsASetTheEditorGoesAfterTheLoad) {
  writeSoundSet(1, "First", TestSoundSet{});
  writeSoundSet(2, "Second", TestSoundSet{});
  EditorLog log;
  g_log = &log;
  VstSynth::setEditorFactory(
      [](VstSynth* synth) -> vst::AEffEditor* { return new HoldingEditor(synth, *g_log); });
  auto synth = std::make_unique<VstSynth>(nullptr);
  ASSERT_NE(synth->getEditor(), nullptr);
  long other = synth->currentSoundSet() == 1 ? 0 : 1;

  // The current program names the other set; a MIDI program change to it on
  // the audio thread hands the load to the worker.
  synth->setParameter(24, static_cast<float>(other));
  {
    std::lock_guard<std::mutex> lock(log.mutex);
    log.holdReports = true;
  }
  host::MidiEventList events;
  events.programChange(0, 0, synth->getProgram());
  process(*synth, events, 64);
  {
    std::unique_lock<std::mutex> lock(log.mutex);
    ASSERT_TRUE(log.changed.wait_for(lock, 5s, [&] { return log.inReport; }))
        << "the worker never reported the load";
  }

  // The host destroys the instance while the load is still under way.
  std::thread host([&] { synth.reset(); });
  {
    std::unique_lock<std::mutex> lock(log.mutex);
    log.changed.wait_for(lock, 300ms, [&] { return log.destroyed; });
    log.release = true;
    log.changed.notify_all();
  }
  host.join();
  EXPECT_TRUE(log.destroyed);
  EXPECT_FALSE(log.destroyedDuringReport) << "the editor went while the worker was still using it";
}

}  // namespace
