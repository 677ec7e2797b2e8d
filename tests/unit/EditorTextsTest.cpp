// Menu texts and numbering of the editor, without a window.
#include <gtest/gtest.h>

#include <string>

#include "editor/EditorTexts.h"

namespace {

std::string program(int i, const char* name) {
  char out[64];
  EditorTexts::programEntry(i, name, out, sizeof(out));
  return out;
}

std::string soundSet(const char* folder) {
  char out[64];
  EditorTexts::soundSetEntry(folder, out, sizeof(out));
  return out;
}

std::string split(int n) {
  char out[16];
  EditorTexts::splitNoteEntry(n, out, sizeof(out));
  return out;
}

TEST(EditorTexts, ProgramEntriesHaveThreeDigitNumbersFromOneAndShortNames) {
  EXPECT_EQ(program(0, "Init"), "001 Init");
  EXPECT_EQ(program(4, "Bowed"), "005 Bowed");
  EXPECT_EQ(program(127, ""), "128 ");
  EXPECT_EQ(program(9, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "010 ABCDEFGHIJKLMNOPQRSTUVWX");
  char tiny[6];
  EditorTexts::programEntry(99, "Long name", tiny, sizeof(tiny));
  EXPECT_STREQ(tiny, "100 L") << "the buffer size is respected";
}

TEST(EditorTexts, SoundSetEntriesDropTheCodeAndKeepTwentyTwoCharacters) {
  EXPECT_EQ(soundSet("07-Bright Strings"), "Bright Strings");
  EXPECT_EQ(soundSet("12 Gut"), "Gut");
  EXPECT_EQ(soundSet("99-An Extremely Long Folder Name Indeed"), "An Extremely Long Fold");
  EXPECT_EQ(soundSet("07-"), "");
  EXPECT_EQ(soundSet("07"), "");
  EXPECT_EQ(soundSet(nullptr), "");
}

TEST(EditorTexts, SplitNotesRunFromC0ToB6InOctaveColumns) {
  EXPECT_EQ(split(0), "C0");
  EXPECT_EQ(split(1), "C#0");
  EXPECT_EQ(split(11), "B0");
  EXPECT_EQ(split(12), "C1");
  EXPECT_EQ(split(45), "A3");
  EXPECT_EQ(split(83), "B6");
  EXPECT_EQ(split(84), "");
  EXPECT_EQ(split(-1), "");
  EXPECT_EQ(EditorTexts::kSplitNotes, 84);
}

TEST(EditorTexts, MainMenuHasSevenEntriesWithTheSeparatorSixth) {
  const char* expected[] = {"Save default bank", "Load factory bank", "About",
                            "Save controller presets", "MidiForget", "-", "Presets"};
  ASSERT_EQ(EditorTexts::kMainMenuEntries, 7);
  for (int n = 0; n < 7; ++n) EXPECT_STREQ(EditorTexts::mainMenuEntry(n), expected[n]) << n;
  EXPECT_STREQ(EditorTexts::mainMenuEntry(7), "");
}

TEST(EditorTexts, DeviationMenusCountTitleAndSeparatorBeforeTheAmounts) {
  EXPECT_STREQ(EditorTexts::deviationEntry(true, 0), "Pitch Deviation");
  EXPECT_STREQ(EditorTexts::deviationEntry(false, 0), "Tone Deviation");
  EXPECT_STREQ(EditorTexts::deviationEntry(true, 1), "-");
  EXPECT_STREQ(EditorTexts::deviationEntry(true, 2), "None");
  EXPECT_STREQ(EditorTexts::deviationEntry(false, 3), "Low");
  EXPECT_STREQ(EditorTexts::deviationEntry(true, 4), "Medium");
  EXPECT_STREQ(EditorTexts::deviationEntry(false, 5), "High");
  EXPECT_STREQ(EditorTexts::deviationEntry(true, 6), "");
}

TEST(EditorTexts, NoteNamesForgetEntryAndVersionLine) {
  EXPECT_STREQ(EditorTexts::noteName(0), "C");
  EXPECT_STREQ(EditorTexts::noteName(9), "A");
  EXPECT_STREQ(EditorTexts::noteName(12), "");
  char forget[32];
  EditorTexts::forgetEntry(21, forget, sizeof(forget));
  EXPECT_STREQ(forget, "Forget CC 21");
  std::string version = EditorTexts::versionLine();
  EXPECT_EQ(version.rfind("2.0.0 ", 0), 0u);
  EXPECT_EQ(version.find("Mac"), std::string::npos);
}

}  // namespace
