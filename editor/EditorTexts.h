// Texts of the editor's menus and pages, apart from any window.
// Threads: any (pure functions writing into the caller's buffer).
#pragma once

#include <cstddef>

class EditorTexts {
 public:
  static constexpr int kMainMenuEntries = 8;
  static constexpr int kZoomSteps = 5;
  static constexpr int kSplitNotes = 84;
  static constexpr int kDeviationEntries = 6;

  // Main menu, separator included.
  static const char* mainMenuEntry(int n);
  // Zoom step n in percent (100, 125, 150, 200, 300), 0 outside; its entry
  // text "150 %", and the step of a scale factor (-1 when none is it).
  static int zoomPercent(int n);
  static void zoomEntry(int n, char* out, std::size_t size);
  static int zoomStepOf(double factor);
  // Pitch (pitch = true) or tone deviation menu: title, separator, four amounts.
  static const char* deviationEntry(bool pitch, int n);
  // "C" .. "B" for 0..11, "" otherwise.
  static const char* noteName(int pitchClass);

  // "005 Name": number from 1 with three digits, at most 24 name characters.
  static void programEntry(int program, const char* name, char* out, std::size_t size);
  // The folder name without its code and the character after it, at most
  // 22 characters ("07-Bright Strings" gives "Bright Strings").
  static void soundSetEntry(const char* folderName, char* out, std::size_t size);
  // Entry n of the split menu: note n mod 12 of octave n / 12, "A3" for 45.
  static void splitNoteEntry(int n, char* out, std::size_t size);
  // "Forget CC 21".
  static void forgetEntry(int controller, char* out, std::size_t size);
  // The About page's version line for this build.
  static const char* versionLine();
};
