// make install into a temporary home: a fresh plug-in instance must find the
// sound sets, scales and factory bank where it looks; uninstall must remove
// the factory content and nothing a user added.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "perform/MicroTuning.h"
#include "plugin/VstParameters.h"
#include "sound/VORNsnd.h"
#include "support/VornMain.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using testfiles::buildDir;
fs::path sourceDir() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

using EnvGuard = testfiles::ScopedEnv;

int script(const std::string& action, const fs::path& vstDir) {
  return testfiles::runCommand("'" + (sourceDir() / "scripts/install.sh").string() + "' " + action + " '" +
                               buildDir().string() + "' '" + vstDir.string() + "'").status;
}

class ContentInstallTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  testfiles::TempDir tmp{"vellamor_install"};
  fs::path home = tmp.path();
};

}  // namespace

TEST_F(ContentInstallTest, FreshInstanceFindsTheInstalledContent) {
  EnvGuard h("HOME", home.string());
  EnvGuard d("XDG_DATA_HOME", (home / "data").string());
  EnvGuard s("XDG_DATA_DIRS", (home / "nowhere").string());
  const fs::path vst = home / ".vst";
  ASSERT_EQ(script("install", vst), 0);

  // Where the plug-in looks for its sounds, computed by the engine itself.
  const fs::path sounds = findSoundsDirectory("Vellamor");
  EXPECT_EQ(sounds, home / "data/Audio/Sounds/Banks/Quillmark/Vellamor/");
  int sets = 0;
  for (const auto& e : fs::directory_iterator(sounds)) {
    if (!e.is_directory() || e.path().filename() == "Scale") continue;
    ++sets;
    for (const char* kind : {"MainS", "Symp", "Drone"}) {
      VORNsnd sound;
      EXPECT_EQ(sound.loadVORNsnd((e.path() / (std::string(kind) + ".VORNsnd")).c_str()), 0) << e.path() << kind;
    }
  }
  EXPECT_GE(sets, 3);
  MicroTuning tuning((sounds / "Scale").c_str());
  EXPECT_GE(tuning.getSize(), 9);

  // The installed bank is the built one (whose sets and scales are checked there).
  const fs::path bank = vst / "Vellamor-ZUL/Resources/res00165.bnk";
  ASSERT_EQ(testfiles::readFile(bank), testfiles::readFile(buildDir() / "Vellamor-ZUL/Resources/res00165.bnk"));
  VstProgram first;
  std::ifstream(bank, std::ios::binary).read(reinterpret_cast<char*>(&first), sizeof first);

  // A fresh instance of the installed module comes up.
  std::string error;
  auto plugin = host::HostedPlugin::load((vst / "Vellamor-ZUL/Vellamor-ZUL.so").string(), error);
  ASSERT_NE(plugin, nullptr) << error;
  // ... with the factory bank's programs, and it plays.
  EXPECT_EQ(plugin->programNameIndexed(0), std::string(first.name));
  EXPECT_NE(plugin->programNameIndexed(0), "Init");
  plugin->resume();
  host::MidiEventList notes;
  notes.noteOn(0, 0, 60, 100);
  notes.noteOff(22050, 0, 60);
  host::RenderedAudio audio = plugin->render(44100, 512, notes);
  double energy = 0.0;
  for (float v : audio.left) energy += v * v;
  EXPECT_GT(energy / static_cast<double>(audio.frames()), 1e-4) << "a played note must be heard";
}
