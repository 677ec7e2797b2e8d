// Which sound-set folders are taken, under which codes, and what the user is
// told about the ones that are not.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/SoundSetList.h"
#include "testsupport/TestFiles.h"
#include "testsupport/MessageLog.h"

namespace {

namespace fs = std::filesystem;

using testfiles::MessageLog;

const std::string kCodeMessage = "Error!|SoundSet Code must be from 01 to 99!|0";
const std::string kLongMessage =
    "Error!|Filename or Directory name too long. Max of 250 characters!|0";

std::vector<std::pair<int, std::string>> table(const SoundSetList& list) {
  std::vector<std::pair<int, std::string>> used;
  const SoundSetEntry* e = list.entries();
  for (int i = 0; i < SoundSetList::kEntries && e[i].name[0]; ++i) used.emplace_back(e[i].code, e[i].name);
  return used;
}

}  // namespace

TEST(SoundSetList, WellNamedFoldersAreListedByCodeAndTheRestSkippedOrReported) {
  testfiles::TempDir dir("soundsets");
  const std::string long250 = "20-" + std::string(247, 'x');
  const std::string long251 = "21-" + std::string(248, 'x');
  for (const std::string& name :
       {std::string("03-Gamma"), std::string("01-Alpha"), std::string("02-Beta"), std::string("99-Last"),
        std::string("10-"), std::string("007-Bond"), long250,
        // skipped without a word
        std::string("7-One digit"), std::string("12Gut"), std::string("12 Gut"), std::string(".05-Hidden"),
        std::string("ab-Letters"), std::string("1-"), std::string("05"),
        // reported
        std::string("00-Zero"), std::string("100-Hundred"), long251, "00-" + std::string(248, 'x')})
    fs::create_directories(dir / name);
  std::ofstream(dir / "06-A file") << "not a folder";

  MessageLog log;
  SoundSetList list;
  list.build((dir.str() + "/").c_str());
  const std::vector<std::pair<int, std::string>> want = {
      {0, "01-Alpha"}, {1, "02-Beta"}, {2, "03-Gamma"}, {6, "007-Bond"},
      {9, "10-"},      {19, long250},  {98, "99-Last"}};
  EXPECT_EQ(table(list), want);
  EXPECT_EQ(list.count(), 7);
  EXPECT_EQ(list.entries()[7].name[0], '\0') << "free entries follow the used ones";
  EXPECT_EQ(list.find(6), 3);
  EXPECT_EQ(list.find(98), 6);
  EXPECT_EQ(list.find(4), -1);
  EXPECT_EQ(list.find(-1), -1);

  // One message per rejected folder; a name too long is reported as such
  // whatever its number.
  const std::vector<std::string> shown = log.lines();
  EXPECT_EQ(std::count(shown.begin(), shown.end(), kCodeMessage), 2);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), kLongMessage), 2);
  EXPECT_EQ(shown.size(), 4u);
}
