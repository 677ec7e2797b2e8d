// The table of sound-set folders found in the sound data folder: up to 99
// folders named with a two-digit code ("01-Name"), kept in ascending code
// order with free entries behind the used ones.
//
// Threads: build() on the control thread; the table is read by the editor.
#pragma once

#include <cstdint>

struct SoundSetEntry {
  std::int32_t code = -1;
  char name[256] = {};
};

class SoundSetList {
 public:
  static constexpr int kEntries = 100;

  // Scans folder (with or without a trailing "/"); reports bad folder names.
  void build(const char* folder);
  const SoundSetEntry* entries() const { return entries_; }
  // Index of the first used entry with this code, or -1.
  int find(long code) const;
  int count() const;

 private:
  SoundSetEntry entries_[kEntries];
};
