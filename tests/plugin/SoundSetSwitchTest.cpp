// The silence flag across a sound-set switch, on an engine driven in-process:
// a set whose files only exist under their alternative name loads silenced,
// and the flag follows the set that plays, not the one being loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plugin/VstSynth.h"
#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/MessageLog.h"

namespace fs = std::filesystem;

namespace {

// Runs `onShow` at every message box: a load that meets a missing file shows
// one while it is under way.
struct DuringLoad : testfiles::MessageLog {
  explicit DuringLoad(std::function<void()> f) : onShow(std::move(f)) {}
  bool show(const char* text, const char* title, int type) override {
    onShow();
    return MessageLog::show(text, title, type);
  }
  std::function<void()> onShow;
};

class SoundSetSwitch : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Plain", TestSoundSet{});
    // Every file under the alternative name: loads, but silenced.
    writeSoundSet(2, "Renamed", TestSoundSet{});
    for (const char* name : {"MainS", "Symp", "Drone"}) renameToAlternative("02-Renamed", name);
    // The main sound under the alternative name and no drone at all.
    writeSoundSet(3, "Broken", TestSoundSet{});
    renameToAlternative("03-Broken", "MainS");
    fs::remove(soundFolder() + "03-Broken/Drone.VORNsnd");
  }
  static void renameToAlternative(const std::string& folder, const char* name) {
    const std::string stem = soundFolder() + folder + "/" + name;
    fs::rename(stem + ".VORNsnd", stem + ".FernoSND");
  }
  // One block, with a note-on at its start when key >= 0.
  static std::vector<float> block(VstSynth& synth, int frames, int key = -1) {
    return process(synth, key >= 0 ? notes({{0, key}}) : host::MidiEventList{}, frames, 0, frames);
  }
};

// A silenced set stays silenced until the next set takes over, and a sounding
// set sounds on while a silenced one loads.
TEST_F(SoundSetSwitch, TheSilenceFlagFollowsTheSetThatPlays) {
  VstSynth synth(nullptr);
  for (auto [index, value] : dryParameters()) synth.setParameter(index, value);
  block(synth, 64);  // the program's set (01) takes over
  synth.loadNewVORNsnd(1);
  EXPECT_FALSE(synth.soundSilenced()) << "the playing set is not the one loaded";
  block(synth, 64);
  ASSERT_TRUE(synth.soundSilenced());
  std::vector<float> out = block(synth, 4096, 60);
  EXPECT_TRUE(measure::allZero(out, 0, out.size()));

  synth.loadNewVORNsnd(0);
  // Loaded, not yet taken over: what plays is still the silenced set.
  EXPECT_TRUE(synth.soundSilenced());
  block(synth, 64);
  EXPECT_FALSE(synth.soundSilenced());
  out = block(synth, 4096, 60);
  const double level = measure::rms(out, 1000, out.size());
  ASSERT_GT(level, 0.05);

  // The missing drone of set 03 is met after its main sound was found under
  // the alternative name; the audio thread renders a block just then.
  bool flagDuringLoad = true;
  double levelDuringLoad = 0.0;
  DuringLoad hook([&] {
    flagDuringLoad = synth.soundSilenced();
    std::vector<float> during = block(synth, 2048);
    levelDuringLoad = measure::rms(during, 0, during.size());
  });
  synth.loadNewVORNsnd(2);
  ASSERT_EQ(hook.shown.size(), 1u);
  EXPECT_FALSE(flagDuringLoad);
  EXPECT_NEAR(levelDuringLoad, level, 0.05 * level) << "the held note stopped during the load";
  EXPECT_FALSE(synth.soundSilenced());

  block(synth, 64);
  EXPECT_TRUE(synth.soundSilenced());
  out = block(synth, 4096, 60);
  EXPECT_TRUE(measure::allZero(out, 0, out.size()));
}

}  // namespace
