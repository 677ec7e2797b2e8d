#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <filesystem>
#include <string>

#include "support/VornMain.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using testfiles::ScopedEnv;
using testfiles::TempDir;

// Keeps every test of this binary away from the real home folder: the process-wide
// data folders are first computed below a scratch folder.
class ScratchXdgEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    root_ = std::make_unique<TempDir>("vornmain-process");
    for (const char* sub : {"data", "config", "system"}) fs::create_directories(*root_ / sub);
    setenv("XDG_DATA_HOME", (*root_ / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (*root_ / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (*root_ / "system").c_str(), 1);
  }
  void TearDown() override { root_.reset(); }

 private:
  std::unique_ptr<TempDir> root_;
};

[[maybe_unused]] ::testing::Environment* const scratchEnvironment =
    ::testing::AddGlobalTestEnvironment(new ScratchXdgEnvironment);

// Points HOME and the XDG variables at a fresh folder for one test.
class XdgTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(home_); }

  TempDir tmp_{"vornmain-test"};
  std::string root_ = tmp_.str(), home_ = root_ + "/home", dataHome_ = root_ + "/data";
  ScopedEnv envHome_{"HOME", home_}, envData_{"XDG_DATA_HOME", dataHome_},
      envDirs_{"XDG_DATA_DIRS", root_ + "/sys1:" + root_ + "/sys2"};
};

}  // namespace

TEST(VornMainSampleRate, EachObjectKeepsItsOwnRateAndRefusesBadOnes) {
  VornMain one;
  one.setSampleRate(48000.0f);
  for (float bad : {0.0f, -1.0f, NAN, INFINITY}) one.setSampleRate(bad);
  EXPECT_EQ(one.sampleRate(), 48000.0f);
  VornMain another;  // a new object neither changes nor takes the first one's rate
  EXPECT_EQ(another.sampleRate(), 44100.0f);
  EXPECT_EQ(one.sampleRate(), 48000.0f);
}

TEST_F(XdgTest, SoundsFolderIsLookedUpAndPresetsFolderCreatedOrTheFailureLogged) {
  fs::create_directories(root_ + "/sys2/Audio/Sounds/Banks/Quillmark/Other");
  EXPECT_EQ(findSoundsDirectory("Other"), root_ + "/sys2/Audio/Sounds/Banks/Quillmark/Other/");
  EXPECT_EQ(findSoundsDirectory("Vellamor"), dataHome_ + "/Audio/Sounds/Banks/Quillmark/Vellamor/");
  std::error_code ec;
  EXPECT_FALSE(fs::exists(dataHome_ + "/Audio", ec));  // looking creates nothing
  std::string folder = createPresetsDirectory("Vellamor");
  EXPECT_EQ(folder, dataHome_ + "/Audio/Presets/Vellamor/");
  EXPECT_TRUE(fs::is_directory(folder, ec));
  setenv("XDG_DATA_HOME", "relative/dir", 1);  // unusable: the default below HOME
  EXPECT_EQ(getLibraryAudioDirectoryStr(true), home_ + "/.local/share/Audio");

  std::ofstream(root_ + "/blocker") << "a file, not a folder";
  setenv("XDG_DATA_HOME", (root_ + "/blocker").c_str(), 1);
  ::testing::internal::CaptureStderr();
  folder = createPresetsDirectory("Vellamor");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(folder, root_ + "/blocker/Audio/Presets/Vellamor/");  // the path is kept
  EXPECT_EQ(err.rfind("Error creating user presets directory: ", 0), 0u) << err;
}
