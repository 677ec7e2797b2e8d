// Micro-tuning: lists the scale files of the "Scale" folder and retunes the
// twelve pitch classes, relative to a root, from the chosen file.
//
// A scale file is plain text: values separated by control characters (line
// feeds, carriage returns, tabs, ...), each read like atof in the "C" locale
// and given in cents; the first is the root's offset, then one per semitone
// above it. Values past the twelfth are ignored, missing ones are 0, and
// values beyond one octave (+-1200 cents) are cut to it.
//
// Hand-over: setTable writes the new offsets into the spare one of two
// buffers and publishes it with one atomic index store. A reader marks the
// buffer it uses, and a writer never rewrites a marked buffer, so a note-on
// always sees one whole table, old or new, never a mixture.
#pragma once

#include <atomic>
#include <mutex>

#include "support/VornMain.h"

struct sTable {
  sTable() { for (char& c : name) c = 0; }
  char name[40];
};

class MicroTuning : public VornMain {
 public:
  static constexpr int kMaxTables = 128;
  static constexpr int kNameSize = 40;
  static constexpr int kValueSize = 1023;  // characters kept of one value
  static constexpr int kFolderSize = 4098;

  struct Offsets {
    float semitones[12] = {};
  };

  // Control thread, during engine assembly. Lists VornMain::soundDataPath()
  // + "/Scale/".
  MicroTuning();
  // Control thread. Lists the given folder (a "/" is appended).
  explicit MicroTuning(const char* scaleFolder);
  ~MicroTuning() override;

  // Any thread.
  long getSize() const { return size_; }
  // Any thread. "" for an index outside 0..size-1.
  const char* getTableName(long index) const;
  const char* scaleFolder() const { return folder_; }

  // Control thread (file I/O). Loads the offsets of <folder>/<name>.txt;
  // a missing file gives equal temperament without a message.
  void setTable(const char* name);
  // Any thread. 0..11, anything else gives 0.
  void setRoot(long root);
  long getRoot() const { return root_.load(std::memory_order_relaxed); }

  // Audio thread: offset in semitones of the note's pitch class.
  float Tick(long note) const;
  // Audio thread: all twelve offsets of one table at once, for a note-on
  // that tunes several voices.
  Offsets snapshot() const;

 private:
  void listTables(const char* folder);
  int acquire() const;
  void release(int index) const { inUse_[index].fetch_sub(1, std::memory_order_release); }
  void publish(const Offsets& next);

  sTable tables_[130];
  long size_ = 0;
  std::atomic<long> root_{0};
  char folder_[kFolderSize] = {};

  Offsets buffers_[2];
  std::atomic<int> active_{0};
  mutable std::atomic<int> inUse_[2] = {0, 0};
  std::mutex writer_;  // serialises setTable callers; never taken by readers
};
