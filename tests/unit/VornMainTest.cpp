#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/VornMain.h"
#include "testsupport/MessageLog.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using MessageRecorder = testfiles::MessageLog;
using testfiles::readFile;
using testfiles::ScopedEnv;
using testfiles::TempDir;

// Switches numbers to a comma-decimal locale if one is installed.
bool commaLocale(int category) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"})
    if (std::setlocale(category, name)) return true;
  return false;
}

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
  std::string vstFolder() const { return dataHome_ + "/Quillmark Data/Vellamor/"; }
  std::string skinFile() const { return vstFolder() + "\\none Skins\\Current.dat"; }

  TempDir tmp_{"vornmain-test"};
  std::string root_ = tmp_.str(), home_ = root_ + "/home", dataHome_ = root_ + "/data",
              configHome_ = root_ + "/config";
  ScopedEnv envHome_{"HOME", home_}, envData_{"XDG_DATA_HOME", dataHome_},
      envConfig_{"XDG_CONFIG_HOME", configHome_},
      envDirs_{"XDG_DATA_DIRS", root_ + "/sys1:" + root_ + "/sys2"};
};

}  // namespace

TEST(VornMainSampleRate, RefusesNonPositiveAndNonFiniteRates) {
  VornMain::setSampleRate(48000.0f);
  for (float bad : {0.0f, -1.0f, NAN, INFINITY}) VornMain::setSampleRate(bad);
  EXPECT_EQ(VornMain::sampleRate(), 48000.0f);
  VornMain anotherObject;  // every construction resets the shared rate
  EXPECT_EQ(VornMain::sampleRate(), 44100.0f);
}

// ---------------------------------------------------------------- text helpers

TEST(VornMainText, NoteNamesClampAndPad) {
  for (auto [note, name] : {std::pair{0, "C  0"}, {-5, "C  0"}, {60, "C  5"}, {61, "C# 5"},
                            {71, "B  5"}, {127, "G  10"}, {200, "G  10"}, {INT_MIN, "C  0"},
                            {INT_MAX, "G  10"}})
    EXPECT_STREQ(VornMain::getNoteName(note), name) << note;
}

TEST(VornMainText, NcharsTrimsTrailingBlanksAndStaysInsideTheText) {
  const std::string longText(1023, 'q');
  const struct {
    const char* text;
    int start, count;
    std::string want;
  } cases[] = {{"xxab  cd", 2, 4, "ab"}, {"    ", 0, 4, "    "}, {" a b ", 0, 5, " a b"},
               {"xxab  cd", 0, 0, ""}, {"xxab  cd", 2, 1024, " "}, {"xxab  cd", 2, -1, " "},
               {"xxab  cd", -1, 2, " "}, {"abc", 1, 1000, "bc"}, {"abc", 10, 5, ""},
               {longText.c_str(), 0, 1023, longText}, {"abcdefgh", 0, 8, "abcdefgh"},
               // The result of a longer field does not keep bytes of the one before.
               {"xy", 0, 2, "xy"}};
  for (const auto& c : cases)
    EXPECT_EQ(std::string(VornMain::getNchars(c.text, c.start, c.count)), c.want)
        << c.text << " " << c.start << " " << c.count;
}

TEST(VornMainText, BufferCharToIntReadsOnlyItsField) {
  // Out-of-range numbers saturate instead of overflowing.
  const struct {
    const char* text;
    int start, end, want;
  } cases[] = {{"ab 4299", 2, 3, 42}, {"ab 4299", 2, 40, 0}, {"ab 4299", 2, 39, 4299},
               {" -17x", 0, 5, -17}, {"+8", 0, 2, 8}, {"abc", 0, 3, 0}, {"12", 5, 3, 0},
               {"12", -1, 3, 0}, {"99999999999999999999", 0, 20, INT_MAX},
               {"-99999999999999999999", 0, 21, INT_MIN}, {"-2147483648", 0, 11, INT_MIN}};
  for (const auto& c : cases)
    EXPECT_EQ(VornMain::getBufferChartoInt(c.text, c.start, c.end), c.want)
        << c.text << " " << c.start << " " << c.end;
}

TEST(VornMainText, PathOnlyUpperCasesInPlaceKeepsDirectoryAndCutsLongPaths) {
  // The slash at position 300 lies beyond the 259 characters that are kept.
  const struct {
    std::string path, want, after;
  } cases[] = {{"/a/b/file.txt", "/A/B/", "/A/B/FILE.TXT"}, {"file", "F", "FILE"}, {"/x", "/", "/X"},
               {"", "", ""}, {"/" + std::string(298, 'a') + "/" + std::string(50, 'b'), "/", ""},
               {"/" + std::string(200, 'a') + "/bbb", "/" + std::string(200, 'A') + "/", ""}};
  for (const auto& c : cases) {
    std::vector<char> arg(c.path.begin(), c.path.end());
    arg.push_back('\0');
    EXPECT_EQ(std::string(VornMain::getPathOnly(arg.data())), c.want) << c.path;
    if (!c.after.empty()) {
      EXPECT_STREQ(arg.data(), c.after.c_str());
    }
  }
  char s[] = "ab-Z9\xe9";
  EXPECT_EQ(VornMain::toUpperCase(s), s);
  EXPECT_STREQ(s, "AB-Z9\xe9");
}

TEST(VornMainText, ShowValueFormatsSixDecimalsWithAPointInAnyLocale) {
  MessageRecorder rec;
  VornMain::showValue(1.5f);
  VornMain::showValue(-0.25f);
  ASSERT_EQ(rec.shown.size(), 2u);
  EXPECT_EQ(rec.shown[0].text, "1.500000");
  EXPECT_EQ(rec.shown[0].title, "Value!");
  EXPECT_EQ(rec.shown[0].type, 0);
  EXPECT_EQ(rec.shown[1].text, "-0.250000");
  if (!commaLocale(LC_NUMERIC)) GTEST_SKIP() << "no comma-decimal locale installed";
  VornMain::showValue(2.75f);
  std::setlocale(LC_NUMERIC, "C");
  ASSERT_EQ(rec.shown.size(), 3u);
  EXPECT_EQ(rec.shown[2].text, "2.750000");
}

// ---------------------------------------------------------------- cached folders

TEST(VornMainFolders, FirstComputationWins) {
  std::string sounds = getSoundsDirectory("Vellamor");
  EXPECT_EQ(getSoundsDirectory("Other"), sounds);
  std::string presets = getPresetsDirectory("Vellamor");
  EXPECT_EQ(getPresetsDirectory("Other"), presets);
  ASSERT_FALSE(presets.empty());
  EXPECT_EQ(presets.back(), '/');
  EXPECT_EQ(sounds.back(), '/');
  std::error_code ec;
  EXPECT_TRUE(fs::is_directory(presets, ec));
  VornMain::setDataPaths("Ignored");
  EXPECT_EQ(std::string(VornMain::soundDataPath()), sounds);
  EXPECT_EQ(std::string(VornMain::presetBankPath()), presets);
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

// ---------------------------------------------------------------- XDG mapping

TEST_F(XdgTest, UserAudioFolderFollowsDataHome) {
  EXPECT_EQ(getLibraryAudioDirectoryStr(true), dataHome_ + "/Audio");
  for (const char* unusable : {"relative/dir", ""}) {
    setenv("XDG_DATA_HOME", unusable, 1);
    EXPECT_EQ(getLibraryAudioDirectoryStr(true), home_ + "/.local/share/Audio") << unusable;
  }
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

TEST_F(XdgTest, SoundsFolderIsLookedUpAndPresetsFolderCreated) {
  fs::create_directories(root_ + "/sys2/Audio/Sounds/Banks/Quillmark/Other");
  EXPECT_EQ(findSoundsDirectory("Other"), root_ + "/sys2/Audio/Sounds/Banks/Quillmark/Other/");
  EXPECT_EQ(findSoundsDirectory("Vellamor"), dataHome_ + "/Audio/Sounds/Banks/Quillmark/Vellamor/");
  std::error_code ec;
  EXPECT_FALSE(fs::exists(dataHome_ + "/Audio", ec));  // looking creates nothing
  std::string folder = createPresetsDirectory("Vellamor");
  EXPECT_EQ(folder, dataHome_ + "/Audio/Presets/Vellamor/");
  EXPECT_TRUE(fs::is_directory(folder, ec));
}

TEST_F(XdgTest, PresetsFolderFailureIsLoggedAndPathKept) {
  std::ofstream(root_ + "/blocker") << "a file, not a folder";
  setenv("XDG_DATA_HOME", (root_ + "/blocker").c_str(), 1);
  ::testing::internal::CaptureStderr();
  std::string folder = createPresetsDirectory("Vellamor");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(folder, root_ + "/blocker/Audio/Presets/Vellamor/");
  EXPECT_EQ(err.rfind("Error creating user presets directory: ", 0), 0u) << err;
  EXPECT_GT(err.size(), std::strlen("Error creating user presets directory: ") + 1);
}

// ---------------------------------------------------------------- per-user data folder

TEST_F(XdgTest, VstPathIsBelowDataHomeAndATooLongOneIsReportedNotCut) {
  EXPECT_EQ(std::string(VornMain::getVstPath()), vstFolder());
  std::error_code ec;
  EXPECT_FALSE(fs::exists(vstFolder(), ec));  // not created
  MessageRecorder rec;
  setenv("XDG_DATA_HOME", ("/" + std::string(4010, 'd')).c_str(), 1);
  EXPECT_STREQ(VornMain::getVstPath(), "");
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].text.rfind("Error making path name for app support folder: err=", 0), 0u);
  EXPECT_EQ(rec.shown[0].title, "error!");
}

TEST_F(XdgTest, RelativePathInsideAndOutsideDataFolder) {
  const std::string parent = dataHome_ + "/Quillmark Data/Vellamor";
  const std::pair<std::string, std::string> cases[] = {
      {vstFolder() + "skins/knob.bmp", "skins/knob.bmp"},
      {vstFolder() + "file.dat", "file.dat"},
      {"/elsewhere/file.dat", "/elsewhere/file.dat"},
      // A sibling sharing a prefix with the data folder is outside it.
      {parent + "x/file.dat", parent + "x/file.dat"},
      // The folder's own parent ends before the whole folder was compared.
      {parent, parent},
      {vstFolder() + std::string(400, 'z'), std::string(259 - vstFolder().size(), 'z')}};
  for (auto [path, want] : cases)
    EXPECT_EQ(std::string(VornMain::makeRelativeVstPath(path.data())), want) << path;

  MessageRecorder rec;
  std::string longHome = root_ + "/" + std::string(250, 'h');
  setenv("XDG_DATA_HOME", longHome.c_str(), 1);
  std::string path = longHome + "/Quillmark Data/Vellamor/x";
  EXPECT_STREQ(VornMain::makeRelativeVstPath(path.data()), " ");
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].text, "VST DLL Path Too Long!");
  EXPECT_EQ(rec.shown[0].title, "Fatal Error!");
  EXPECT_EQ(rec.shown[0].type, 0);
}

TEST_F(XdgTest, JoinedRelativePathBounds) {
  MessageRecorder rec;
  char rel[] = "skins/a.bmp";
  EXPECT_EQ(std::string(VornMain::getRelativeVstPath(rel)), vstFolder() + "/skins/a.bmp");
  const size_t vlen = vstFolder().size();
  std::string fits(4022 - vlen, 'r');
  std::string joined = VornMain::getRelativeVstPath(fits.data());
  EXPECT_EQ(joined.size(), 4023u);
  EXPECT_EQ(joined, vstFolder() + "/" + fits);
  EXPECT_TRUE(rec.shown.empty());
  std::string tooLong(4023 - vlen, 'r');
  EXPECT_STREQ(VornMain::getRelativeVstPath(tooLong.data()), " ");
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].text, "VST DLL Path Too Long!");
}

// ---------------------------------------------------------------- skin selection

TEST_F(XdgTest, SkinChoiceIsSavedAndReadBackInAFixedSizeFile) {
  EXPECT_STREQ(VornMain::getSelectedSkin(), "Default");  // no data folder: nothing written
  VornMain::saveSelectedSkin("Other");
  std::error_code ec;
  EXPECT_FALSE(fs::exists(vstFolder(), ec));

  fs::create_directories(vstFolder());
  EXPECT_STREQ(VornMain::getSelectedSkin(), "Default");
  EXPECT_EQ(readFile(skinFile()), "Default" + std::string(1017, '\0'));
  VornMain::saveSelectedSkin("Walnut Night");
  EXPECT_STREQ(VornMain::getSelectedSkin(), "Walnut Night");
  // A shorter name after a longer one must not inherit its tail.
  VornMain::saveSelectedSkin("Ash");
  EXPECT_STREQ(VornMain::getSelectedSkin(), "Ash");
  VornMain::saveSelectedSkin(std::string(2000, 'k').c_str());
  std::string content = readFile(skinFile());
  ASSERT_EQ(content.size(), 1024u);
  EXPECT_EQ(content[1023], '\0');
  EXPECT_EQ(std::string(VornMain::getSelectedSkin()), std::string(1023, 'k'));
}

TEST_F(XdgTest, ForeignSkinFilesAreReadSafely) {
  fs::create_directories(vstFolder());
  VornMain::saveSelectedSkin("Previous");
  VornMain::getSelectedSkin();
  std::ofstream(skinFile(), std::ios::binary) << "ab";  // short, unpadded
  EXPECT_STREQ(VornMain::getSelectedSkin(), "ab");
  std::ofstream(skinFile(), std::ios::binary) << std::string(3000, 'm');  // oversized
  EXPECT_EQ(std::string(VornMain::getSelectedSkin()), std::string(1023, 'm'));
  std::ofstream(skinFile(), std::ios::binary | std::ios::trunc);  // empty
  EXPECT_STREQ(VornMain::getSelectedSkin(), "Default");
  EXPECT_EQ(readFile(skinFile()).substr(0, 8), std::string("Default\0", 8));
}

// ---------------------------------------------------------------- preference numbers

TEST_F(XdgTest, PreferenceNumbersRoundTripPlusOneAndSurviveDamage) {
  const char* vol = "Volume          ";
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", vol), 0);
  ASSERT_TRUE(VornMain::saveWindowsNumReg("Vellamor-ZUL", vol, 5000));
  ASSERT_TRUE(VornMain::saveWindowsNumReg("Vellamor-ZUL", "MidiCC-Volume          ", 7));
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", vol), 5001);
  EXPECT_EQ(VornMain::readWindowsNumReg("other key", "MidiCC-Volume          "), 8);
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", "Volume"), 0);  // blanks are in the name
  ASSERT_TRUE(VornMain::saveWindowsNumReg("Vellamor-ZUL", vol, -3));
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", vol), -2);
  EXPECT_FALSE(VornMain::saveWindowsNumReg("Vellamor-ZUL", vol, INT_MAX));
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", vol), -2);

  std::ofstream(configHome_ + "/Vellamor-ZUL/preferences", std::ios::binary)
      << "Reverb=abc\n\x01\x02garbage\nDrone=12\n";
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", "Reverb"), 0);
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", "Drone"), 12);
  ASSERT_TRUE(VornMain::saveWindowsNumReg("Vellamor-ZUL", "Flanger", 1));
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", "Drone"), 12);
  EXPECT_EQ(VornMain::readWindowsNumReg("Vellamor-ZUL", "Flanger"), 2);
}

TEST_F(XdgTest, PreferenceNumbersIgnoreCommaLocale) {
  if (!commaLocale(LC_ALL)) GTEST_SKIP() << "no comma-decimal locale installed";
  bool saved = VornMain::saveWindowsNumReg("Vellamor-ZUL", "Volume          ", 1234567);
  int read = VornMain::readWindowsNumReg("Vellamor-ZUL", "Volume          ");
  std::string text = readFile(configHome_ + "/Vellamor-ZUL/preferences");
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(saved);
  EXPECT_EQ(read, 1234568);
  EXPECT_NE(text.find("=1234568\n"), std::string::npos) << text;
}
