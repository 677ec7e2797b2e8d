#include "plugin/DisplayProcedures.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char* const kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};

// Truncation toward zero that stays defined for any float (NaN reads as 0).
int wholePart(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483520.0f) return 2147483520;
  if (v <= -2147483520.0f) return -2147483520;
  return static_cast<int>(v);
}

void writeInt(char* text, int value) { std::snprintf(text, 12, "%d", value); }

}  // namespace

bool Fine(float value, char* text, void*) {
  writeInt(text, wholePart(200.0f * value - 100.0f));
  return true;
}

bool Bend(float value, char* text, void*) {
  writeInt(text, wholePart(11.0f * value + 1.0f));
  return true;
}

bool ParDisplayIntShow(float value, char* text, void*) {
  writeInt(text, wholePart(value));
  return true;
}

bool Root(float value, char* text, void*) {
  int k = wholePart(value);
  if (k >= 0 && k < 12) std::strcpy(text, kNoteNames[k]);
  return true;
}

bool DroneRoot(float value, char* text, void*) {
  int k = wholePart(11.0f * value - 5.0f);
  if (k >= -5 && k <= 6) std::strcpy(text, kNoteNames[(k + 12) % 12]);
  return true;
}
