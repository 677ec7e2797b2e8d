#include "support/Preferences.h"
#include "testsupport/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PreferencesTest : public ::testing::Test {
 protected:
  testfiles::TempDir tmp_{"prefs"};
  std::string dir_ = tmp_.str(), file_ = dir_ + "/sub/preferences";
};

}  // namespace

TEST_F(PreferencesTest, DamagedLinesAreSkippedOrReadAsZero) {
  static const char raw[] = "# comment\n"
                       "no equals sign here\n"
                       "=5\n"
                       "%ZZ=9\n"
                       "good=17\r\n"
                       "spaced= 23 \n"
                       "half=12abc\n"
                       "huge=99999999999\n"
                       "nul\0=3\n"
                       "\xff\xfe\x01\x02\n"
                       "last=8";
  testfiles::writeFile(file_, std::string(raw, sizeof raw - 1));
  Preferences p(file_);
  ASSERT_TRUE(p.load());
  EXPECT_EQ(p.getInt("good"), 17);
  EXPECT_EQ(p.getInt("spaced"), 23);
  EXPECT_EQ(p.getInt("half"), 0);
  EXPECT_EQ(p.getInt("huge"), 0);
  EXPECT_EQ(p.getInt(std::string("nul\0", 4)), 3);
  EXPECT_EQ(p.getInt("last"), 8);
  EXPECT_EQ(p.getInt("no equals sign here"), std::nullopt);
  EXPECT_EQ(p.getInt(""), std::nullopt);
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
  ASSERT_TRUE(p.save());
  EXPECT_TRUE(onlyTheFile());

  // A non-empty folder in the file's place makes the final rename fail, even as root.
  fs::remove(file_);
  fs::create_directories(file_ + "/blocker");
  EXPECT_FALSE(p.save());
  EXPECT_TRUE(onlyTheFile());
  EXPECT_TRUE(fs::is_directory(file_ + "/blocker"));
}
