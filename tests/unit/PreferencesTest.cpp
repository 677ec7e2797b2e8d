#include "support/Preferences.h"
#include "testsupport/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PreferencesTest : public ::testing::Test {
 protected:
  void writeRaw(const std::string& content) { testfiles::writeFile(file_, content); }
  std::string readRaw() const { return testfiles::readFile(file_); }
  testfiles::TempDir tmp_{"prefs"};
  std::string dir_ = tmp_.str(), file_ = dir_ + "/sub/preferences";
};

}  // namespace

TEST_F(PreferencesTest, RoundTripKeepsPaddedAndOddKeys) {
  const std::string padded = "Volume          ";
  const std::string learned = "MidiCC-Volume          ";
  const std::string odd = std::string("a=b%c\nd#e\xff", 10);
  {
    Preferences p(file_);
    p.setInt(padded, 5001);
    p.setInt(learned, 12);
    p.setInt(odd, -7);
    p.setInt("Min", INT_MIN);
    p.setInt("Max", INT_MAX);
    ASSERT_TRUE(p.save());
  }
  Preferences q(file_);
  ASSERT_TRUE(q.load());
  EXPECT_EQ(q.size(), 5u);
  EXPECT_EQ(q.getInt(padded), 5001);
  EXPECT_EQ(q.getInt(learned), 12);
  EXPECT_EQ(q.getInt(odd), -7);
  EXPECT_EQ(q.getInt("Min"), INT_MIN);
  EXPECT_EQ(q.getInt("Max"), INT_MAX);
  EXPECT_EQ(q.getInt("Volume"), std::nullopt);
}

TEST_F(PreferencesTest, FileIsPlainTextWithHeader) {
  Preferences p(file_);
  p.setInt("Volume          ", 42);
  p.setInt("x\ny", 1);
  ASSERT_TRUE(p.save());
  std::string text = readRaw();
  EXPECT_EQ(text.rfind(std::string("# ") + Preferences::kIdentifier + "\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nVolume          =42\n"), std::string::npos) << text;
  // One line per entry: the key's newline is escaped, not written.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(PreferencesTest, EscapingRoundTripsEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string escaped = Preferences::escapeKey(all);
  EXPECT_EQ(escaped.find_first_of("=\n\r#"), std::string::npos);
  for (unsigned char c : escaped) EXPECT_TRUE(c >= 0x20 && c <= 0x7e);
  EXPECT_EQ(Preferences::unescapeKey(escaped), all);
  EXPECT_EQ(Preferences::unescapeKey("ab%4"), std::nullopt);
  EXPECT_EQ(Preferences::unescapeKey("ab%"), std::nullopt);
  EXPECT_EQ(Preferences::unescapeKey("%zz"), std::nullopt);
  EXPECT_EQ(Preferences::unescapeKey("%3d%3D"), std::string("=="));
}

TEST_F(PreferencesTest, DamagedLinesAreSkippedOrReadAsZero) {
  static const char raw[] = "# comment\n"
                       "no equals sign here\n"
                       "=5\n"
                       "%ZZ=9\n"
                       "good=17\r\n"
                       "spaced= 23 \n"
                       "plus=+4\n"
                       "word=abc\n"
                       "half=12abc\n"
                       "float=1.5\n"
                       "huge=99999999999\n"
                       "empty=\n"
                       "nul\0=3\n"
                       "\xff\xfe\x01\x02\n"
                       "last=8";
  writeRaw(std::string(raw, sizeof raw - 1));
  Preferences p(file_);
  ASSERT_TRUE(p.load());
  EXPECT_EQ(p.getInt("good"), 17);
  EXPECT_EQ(p.getInt("spaced"), 23);
  EXPECT_EQ(p.getInt("plus"), 4);
  EXPECT_EQ(p.getInt("word"), 0);
  EXPECT_EQ(p.getInt("half"), 0);
  EXPECT_EQ(p.getInt("float"), 0);
  EXPECT_EQ(p.getInt("huge"), 0);
  EXPECT_EQ(p.getInt("empty"), 0);
  EXPECT_EQ(p.getInt(std::string("nul\0", 4)), 3);
  EXPECT_EQ(p.getInt("last"), 8);
  EXPECT_EQ(p.getInt("no equals sign here"), std::nullopt);
  EXPECT_EQ(p.getInt(""), std::nullopt);
}

TEST_F(PreferencesTest, OversizedFileIsIgnored) {
  writeRaw("a=1\n" + std::string(Preferences::kMaxFileSize, '#'));
  Preferences p(file_);
  EXPECT_FALSE(p.load());
  EXPECT_EQ(p.getInt("a"), std::nullopt);
}

TEST_F(PreferencesTest, MissingOrUnreadableFilesFailQuietly) {
  Preferences missing(file_);
  EXPECT_FALSE(missing.load());
  EXPECT_EQ(missing.size(), 0u);
  fs::create_directories(file_);  // a folder where the file should be
  Preferences p(file_);
  EXPECT_FALSE(p.load());
  p.setInt("a", 1);
  EXPECT_FALSE(p.save());
  Preferences empty("");
  EXPECT_FALSE(empty.load());
  EXPECT_FALSE(empty.save());
}

TEST_F(PreferencesTest, SaveReplacesAtomicallyAndLeavesNoTemporaryEvenWhenItFails) {
  auto onlyTheFile = [this] {
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(fs::path(file_).parent_path())) names.push_back(e.path().filename());
    return names == std::vector<fs::path>{"preferences"};
  };
  Preferences p(file_);
  p.setInt("a", 1);
  ASSERT_TRUE(p.save());
  p.setInt("b", 2);
  ASSERT_TRUE(p.remove("a"));
  EXPECT_FALSE(p.remove("a"));
  ASSERT_TRUE(p.save());
  EXPECT_TRUE(onlyTheFile());
  Preferences q(file_);
  ASSERT_TRUE(q.load());
  EXPECT_EQ(q.getInt("a"), std::nullopt);
  EXPECT_EQ(q.getInt("b"), 2);

  // A non-empty folder in the file's place makes the final rename fail, even as root.
  fs::remove(file_);
  fs::create_directories(file_ + "/blocker");
  EXPECT_FALSE(p.save());
  EXPECT_TRUE(onlyTheFile());
  EXPECT_TRUE(fs::is_directory(file_ + "/blocker"));
}

TEST_F(PreferencesTest, DefaultPathFollowsConfigHome) {
  testfiles::ScopedEnv config("XDG_CONFIG_HOME", dir_);
  EXPECT_EQ(Preferences::defaultFilePath(), dir_ + "/Vellamor-ZUL/preferences");
  config.set("not/absolute");
  std::string fallback = Preferences::defaultFilePath();
  EXPECT_EQ(fallback.find("not/absolute"), std::string::npos);
  EXPECT_NE(fallback.find("/.config/Vellamor-ZUL/preferences"), std::string::npos) << fallback;
}
