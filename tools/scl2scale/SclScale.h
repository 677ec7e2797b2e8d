// A Scala scale (.scl) and optional keyboard mapping (.kbm), reduced to the
// instrument's 12-note scale file: twelve offsets in cents from equal
// temperament, the first for the root key.
//
// Threads: offline tool only.
#pragma once

#include <array>
#include <string>
#include <vector>

class SclScale {
 public:
  // Reads a .scl file. Returns "" or a message naming the file (and line).
  std::string readScl(const std::string& path);
  // Reads a .kbm file. Returns "" or a message naming the file (and line).
  std::string readKbm(const std::string& path);

  // Offsets from equal temperament in cents, index 0 = the root key. With a
  // mapping, index 0 is its middle note and the whole table is shifted so
  // that its reference note sounds at its reference frequency.
  std::array<double, 12> offsets() const;
  // Pitch class (0 = C) of the mapping's middle note, 0 without a mapping.
  int rootPitchClass() const { return hasKbm_ ? ((middleNote_ % 12) + 12) % 12 : 0; }
  const std::string& description() const { return description_; }
  // The file text: one offset per line, three decimals, "C" locale.
  std::string fileText() const;

  // Parses "701.955" (cents: has a '.'), "3/2" or "2" (ratios). False when
  // the text is neither, or a ratio is not positive.
  static bool parsePitch(const std::string& text, double& cents);

 private:
  std::string description_;
  std::vector<double> degrees_;  // cents of degrees 1..n (the last is the period)
  bool hasKbm_ = false;
  int middleNote_ = 60;
  int referenceNote_ = 69;
  double referenceHz_ = 440.0;
  std::vector<int> map_;  // degree per key from the middle note, -1 unmapped
};
