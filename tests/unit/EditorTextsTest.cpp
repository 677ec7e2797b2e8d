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

TEST(EditorTexts, ProgramSoundSetAndSplitEntries) {
  const std::pair<std::string, const char*> cases[] = {
      // Three-digit numbers from one and names of at most 24 characters.
      {program(0, "Init"), "001 Init"},
      {program(127, ""), "128 "},
      {program(9, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "010 ABCDEFGHIJKLMNOPQRSTUVWX"},
      // Folder names without their code, at most 22 characters.
      {soundSet("07-Bright Strings"), "Bright Strings"},
      {soundSet("12 Gut"), "Gut"},
      {soundSet("99-An Extremely Long Folder Name Indeed"), "An Extremely Long Fold"},
      {soundSet("07-"), ""},
      {soundSet("07"), ""},
      {soundSet(nullptr), ""},
      // Split notes from C0 to B6, twelve to an octave.
      {split(0), "C0"},
      {split(1), "C#0"},
      {split(11), "B0"},
      {split(12), "C1"},
      {split(45), "A3"},
      {split(83), "B6"},
      {split(84), ""},
      {split(-1), ""},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  char tiny[6];
  EditorTexts::programEntry(99, "Long name", tiny, sizeof(tiny));
  EXPECT_STREQ(tiny, "100 L") << "the buffer size is respected";
}

}  // namespace
