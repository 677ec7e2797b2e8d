// make install into a temporary home: a fresh plug-in instance must find the
// sound sets, scales and factory bank where it looks; uninstall must remove
// the factory content and nothing a user added.
#include <gtest/gtest.h>

#include <cmath>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "perform/MicroTuning.h"
#include "plugin/VstParameters.h"
#include "sound/VORNsnd.h"
#include "support/VornMain.h"

namespace fs = std::filesystem;

namespace {

fs::path buildDir() {
  if (const char* env = std::getenv("VELLAMOR_BUILD_DIR")) return env;
  return fs::canonical("/proc/self/exe").parent_path().parent_path();
}
fs::path sourceDir() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvGuard() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

int script(const std::string& action, const fs::path& vstDir) {
  std::string cmd = "'" + (sourceDir() / "scripts/install.sh").string() + "' " + action + " '" +
                    buildDir().string() + "' '" + vstDir.string() + "' >/dev/null 2>&1";
  int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class ContentInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vellamor_install_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home = tmpl;
  }
  void TearDown() override { fs::remove_all(home); }
  fs::path home;
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
  std::vector<std::string> sets;
  for (const auto& e : fs::directory_iterator(sounds))
    if (e.is_directory() && e.path().filename() != "Scale") sets.push_back(e.path().filename().string());
  ASSERT_GE(sets.size(), 3u);
  for (const std::string& set : sets)
    for (const char* kind : {"MainS", "Symp", "Drone"}) {
      VORNsnd sound;
      EXPECT_EQ(sound.loadVORNsnd((sounds / set / (std::string(kind) + ".VORNsnd")).c_str()), 0) << set << kind;
    }
  MicroTuning tuning((sounds / "Scale").c_str());
  EXPECT_GE(tuning.getSize(), 9);

  // The bank in the installed bundle names only sets and scales that exist.
  const fs::path bank = vst / "Vellamor-ZUL/Resources/res00165.bnk";
  ASSERT_EQ(fs::file_size(bank), 37376u);
  std::vector<VstProgram> programs(kNumPrograms);
  std::ifstream(bank, std::ios::binary).read(reinterpret_cast<char*>(programs.data()), 37376);
  for (const VstProgram& p : programs) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", static_cast<int>(p.values[24].value) + 1);
    bool found = false;
    for (const std::string& set : sets) found = found || set.rfind(prefix, 0) == 0;
    EXPECT_TRUE(found) << p.name;
    EXPECT_TRUE(fs::is_regular_file(sounds / "Scale" / (std::string(p.scaleName) + ".txt"))) << p.name;
  }

  // A fresh instance of the installed module comes up.
  std::string error;
  auto plugin = host::HostedPlugin::load((vst / "Vellamor-ZUL/Vellamor-ZUL.so").string(), error);
  ASSERT_NE(plugin, nullptr) << error;
  // ... with the factory bank's programs, and it plays.
  EXPECT_EQ(plugin->programNameIndexed(0), std::string(programs[0].name));
  EXPECT_NE(plugin->programNameIndexed(0), "Init");
  plugin->resume();
  host::MidiEventList notes;
  notes.noteOn(0, 0, 60, 100);
  notes.noteOff(22050, 0, 60);
  host::RenderedAudio audio = plugin->render(44100, 512, notes);
  double energy = 0.0;
  for (size_t i = 0; i < audio.frames(); ++i) {
    ASSERT_TRUE(std::isfinite(audio.left[i]) && std::isfinite(audio.right[i])) << i;
    energy += audio.left[i] * audio.left[i];
  }
  EXPECT_GT(energy / static_cast<double>(audio.frames()), 1e-4) << "a played note must be heard";
}

TEST_F(ContentInstallTest, UninstallKeepsWhatTheUserAdded) {
  EnvGuard h("HOME", home.string());
  EnvGuard d("XDG_DATA_HOME", "relative/is/ignored");
  const fs::path vst = home / ".vst";
  ASSERT_EQ(script("install", vst), 0);
  const fs::path sounds = home / ".local/share/Audio/Sounds/Banks/Quillmark/Vellamor";
  ASSERT_TRUE(fs::is_directory(sounds / "01-Bowed Gut"));
  fs::create_directories(sounds / "42-My Set");
  std::ofstream(sounds / "42-My Set/MainS.VORNsnd") << "x";
  std::ofstream(sounds / "Scale/My Tuning.txt") << "0\n";
  // Installing again replaces the factory content and keeps the user's.
  ASSERT_EQ(script("install", vst), 0);
  EXPECT_TRUE(fs::exists(sounds / "42-My Set/MainS.VORNsnd"));

  ASSERT_EQ(script("uninstall", vst), 0);
  EXPECT_FALSE(fs::exists(vst / "Vellamor-ZUL"));
  EXPECT_FALSE(fs::exists(sounds / "01-Bowed Gut"));
  EXPECT_FALSE(fs::exists(sounds / "Scale/12-Equal Temperament.txt"));
  EXPECT_TRUE(fs::exists(sounds / "42-My Set/MainS.VORNsnd"));
  EXPECT_TRUE(fs::exists(sounds / "Scale/My Tuning.txt"));
  EXPECT_FALSE(fs::exists(home / "relative"));
}
