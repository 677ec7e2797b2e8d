#include "editor/EditorTexts.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
const char* const kMainMenu[EditorTexts::kMainMenuEntries] = {
    "Save default bank", "Load factory bank", "About", "Save controller presets",
    "MidiForget",        "-",                 "Presets",
    "Zoom"};
const int kZoomPercents[EditorTexts::kZoomSteps] = {100, 125, 150, 200, 300};
const char* const kAmounts[4] = {"None", "Low", "Medium", "High"};
const char* const kNotes[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

void copyLimited(char* out, std::size_t size, const char* text, std::size_t limit) {
  if (size == 0) return;
  std::size_t n = 0;
  while (text && text[n] && n < limit && n + 1 < size) {
    out[n] = text[n];
    ++n;
  }
  out[n] = 0;
}
}  // namespace

const char* EditorTexts::mainMenuEntry(int n) {
  return (n >= 0 && n < kMainMenuEntries) ? kMainMenu[n] : "";
}

int EditorTexts::zoomPercent(int n) { return n >= 0 && n < kZoomSteps ? kZoomPercents[n] : 0; }

void EditorTexts::zoomEntry(int n, char* out, std::size_t size) {
  if (size == 0) return;
  std::snprintf(out, size, "%d %%", zoomPercent(n));
}

int EditorTexts::zoomStepOf(double factor) {
  for (int n = 0; n < kZoomSteps; ++n)
    if (std::fabs(factor * 100.0 - kZoomPercents[n]) < 0.5) return n;
  return -1;
}

const char* EditorTexts::deviationEntry(bool pitch, int n) {
  if (n == 0) return pitch ? "Pitch Deviation" : "Tone Deviation";
  if (n == 1) return "-";
  if (n >= 2 && n < kDeviationEntries) return kAmounts[n - 2];
  return "";
}

const char* EditorTexts::noteName(int pitchClass) {
  return (pitchClass >= 0 && pitchClass < 12) ? kNotes[pitchClass] : "";
}

void EditorTexts::programEntry(int program, const char* name, char* out, std::size_t size) {
  char shortName[25];
  copyLimited(shortName, sizeof(shortName), name, 24);
  std::snprintf(out, size, "%03d %s", program + 1, shortName);
}

void EditorTexts::soundSetEntry(const char* folderName, char* out, std::size_t size) {
  std::size_t length = folderName ? std::strlen(folderName) : 0;
  copyLimited(out, size, length > 3 ? folderName + 3 : "", 22);
}

void EditorTexts::splitNoteEntry(int n, char* out, std::size_t size) {
  if (n < 0 || n >= kSplitNotes) {
    if (size) out[0] = 0;
    return;
  }
  std::snprintf(out, size, "%s%d", kNotes[n % 12], n / 12);
}

void EditorTexts::forgetEntry(int controller, char* out, std::size_t size) {
  std::snprintf(out, size, "Forget CC %d", controller);
}

const char* EditorTexts::versionLine() { return "2.0.0 Linux VST"; }
