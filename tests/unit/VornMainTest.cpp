#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/MessageBox.h"
#include "support/VornMain.h"
#include "testsupport/TestFiles.h"
#include "testsupport/MessageLog.h"

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

TEST(VornMainFolders, UserDataNameFitsExactly) {
  VornMain::setDataPaths("Vellamor");
  const std::string folder = VornMain::presetBankPath();
  ASSERT_FALSE(folder.empty());
  const unsigned long exact = folder.size() + std::strlen("Default.bnk") + 2;
  std::vector<char> out(exact + 8, '#');
  EXPECT_FALSE(VornMain::buildNameInUserDataPath("Default.bnk", out.data(), exact - 1));
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string(exact + 8, '#'));
  ASSERT_TRUE(VornMain::buildNameInUserDataPath("Default.bnk", out.data(), exact));
  EXPECT_EQ(std::string(out.data()), folder + "/Default.bnk");
  EXPECT_EQ(out[exact], '#');  // nothing written past the stated size
  EXPECT_FALSE(VornMain::buildNameInUserDataPath(nullptr, out.data(), exact));
}

TEST_F(XdgTest, MachineAudioFolderIsTheFirstHoldingTheBank) {
  const std::string bank = "/Audio/Sounds/Banks/Quillmark/Vellamor";
  // None holds it: the user's folder.
  EXPECT_EQ(getLibraryAudioDirectoryStr(false), dataHome_ + "/Audio");
  fs::create_directories(root_ + "/sys2" + bank);
  EXPECT_EQ(getLibraryAudioDirectoryStr(false), root_ + "/sys2/Audio");
  fs::create_directories(root_ + "/sys1" + bank);
  EXPECT_EQ(getLibraryAudioDirectoryStr(false), root_ + "/sys1/Audio");
  setenv("XDG_DATA_DIRS", ("relative:" + root_ + "/sys2").c_str(), 1);  // relative is ignored
  EXPECT_EQ(getLibraryAudioDirectoryStr(false), root_ + "/sys2/Audio");
  fs::create_directories(dataHome_ + bank);
  EXPECT_EQ(getLibraryAudioDirectoryStr(false), dataHome_ + "/Audio");
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

namespace {

using testfiles::MessageLog;

}  // namespace

TEST(VornMainText, NoteNamesCarryTheOctaveAndClampToTheMidiRange) {
  const std::pair<int, const char*> cases[] = {
      {0, "C  0"},  {11, "B  0"},  {12, "C  1"},   {60, "C  5"},  {61, "C# 5"},
      {69, "A  5"}, {70, "A# 5"}, {127, "G  10"}, {-5, "C  0"}, {200, "G  10"},
  };
  for (auto [note, want] : cases) EXPECT_STREQ(VornMain::getNoteName(note), want) << note;
}

TEST(VornMainText, FixedWidthFieldsLoseTrailingBlanksAndNumbersReadAsDecimal) {
  const struct {
    const char* buf;
    int start, n;
    const char* want;
  } fields[] = {
      {"AB  ", 0, 4, "AB"},   {"    ", 0, 4, "    "}, {"A B ", 0, 4, "A B"},
      {"xxAB  yy", 2, 4, "AB"}, {"xx  AByy", 2, 4, "  AB"}, {"ABCDEF", 1, 3, "BCD"},
      {"AB", 0, 0, ""},
  };
  for (const auto& f : fields)
    EXPECT_STREQ(VornMain::getNchars(f.buf, f.start, f.n), f.want) << f.buf << " " << f.start;
  const std::string wide(1100, 'w');
  EXPECT_EQ(std::string(VornMain::getNchars(wide.c_str(), 0, 1023)), std::string(1023, 'w'));
  EXPECT_STREQ(VornMain::getNchars(wide.c_str(), 0, 1024), " ");

  const struct {
    const char* buf;
    int start, n, want;
  } numbers[] = {
      {"ab 42cd", 2, 3, 42}, {"x-17 ", 1, 3, -17}, {" +5", 0, 3, 5},   {"abc", 0, 3, 0},
      {"12345", 0, 3, 123},  {"12a45", 0, 5, 12},  {"  7", 0, 2, 0},
  };
  for (const auto& c : numbers)
    EXPECT_EQ(VornMain::getBufferChartoInt(c.buf, c.start, c.n), c.want) << c.buf << " " << c.n;
  const std::string padded = std::string(38, ' ') + "7" + "9";
  EXPECT_EQ(VornMain::getBufferChartoInt(padded.c_str(), 0, 39), 7);
  EXPECT_EQ(VornMain::getBufferChartoInt(padded.c_str(), 0, 40), 0) << "more than 39 characters";
}

TEST(VornMainText, PathOnlyIsTheUpperCasedFolderOfThePath) {
  char path[] = "/a/b/file.txt";
  EXPECT_STREQ(VornMain::getPathOnly(path), "/A/B/");
  EXPECT_STREQ(path, "/A/B/FILE.TXT") << "the caller's text is upper-cased too";
  const std::pair<std::string, std::string> cases[] = {
      {"file.txt", "F"}, {"/", "/"}, {"dir/", "DIR/"}, {"/x", "/"},
      // Only the first 259 characters count: the last "/" lies beyond them.
      {"/" + std::string(100, 'x') + "/" + std::string(200, 'y') + "/z", "/" + std::string(100, 'X') + "/"},
  };
  for (const auto& [in, want] : cases) {
    std::string text = in;
    EXPECT_EQ(std::string(VornMain::getPathOnly(text.data())), want) << in;
  }
}

TEST_F(XdgTest, PathsAreMadeRelativeToThePerUserDataFolderAndBack) {
  const std::string vst = dataHome_ + "/Quillmark Data/Vellamor/";
  ASSERT_EQ(std::string(VornMain::getVstPath()), vst);
  auto relative = [](std::string path) { return std::string(VornMain::makeRelativeVstPath(path.data())); };
  EXPECT_EQ(relative(vst + "Skins/knob.png"), "Skins/knob.png");
  EXPECT_EQ(relative("/elsewhere/Skins/knob.png"), "/elsewhere/Skins/knob.png");
  EXPECT_EQ(relative(dataHome_ + "/Quillmark Data/Other/knob.png"),
            dataHome_ + "/Quillmark Data/Other/knob.png");
  EXPECT_EQ(relative(dataHome_ + "/Quillmark Data/Vellamor"), dataHome_ + "/Quillmark Data/Vellamor")
      << "a path that ends inside the folder's name";
  const std::string longName(300, 'n');
  EXPECT_EQ(relative(vst + longName), std::string(259 - vst.size(), 'n')) << "paths are cut to 259";

  std::string rel = "Skins/knob.png";
  EXPECT_EQ(std::string(VornMain::getRelativeVstPath(rel.data())), vst + "/Skins/knob.png");
  MessageLog log;
  std::string fits(4022 - vst.size(), 'r');
  EXPECT_EQ(std::string(VornMain::getRelativeVstPath(fits.data())), vst + "/" + fits);
  EXPECT_TRUE(log.lines().empty());
  std::string over(4023 - vst.size(), 'r');
  EXPECT_STREQ(VornMain::getRelativeVstPath(over.data()), " ");
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], "Fatal Error!|VST DLL Path Too Long!|0");

  // A data folder of more than 258 characters cannot be stripped at all.
  const std::string deep = root_ + "/" + std::string(258 - 25 - root_.size() - 1, 'd');
  ScopedEnv longData("XDG_DATA_HOME", deep);
  ASSERT_EQ(std::strlen(VornMain::getVstPath()), 258u);
  EXPECT_EQ(relative(deep + "/Quillmark Data/Vellamor/x"), "x");
  ScopedEnv longerData("XDG_DATA_HOME", deep + "e");
  EXPECT_STREQ(VornMain::makeRelativeVstPath(rel.data()), " ");
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[1], "Fatal Error!|VST DLL Path Too Long!|0");
}
