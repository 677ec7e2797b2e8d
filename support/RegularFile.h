// Opening a file for reading only when it is a plain file. A FIFO or a device
// in the place of a bank, sound, scale or preference file would otherwise
// block the open (a FIFO waits for a writer) or the reads for good. Such a
// file is refused without blocking: it is checked before opening, opened
// non-blocking and checked again on the open descriptor, so one swapped in
// between the two is refused too. Symbolic links to plain files are followed.
//
// Threads: any thread but the audio thread (file I/O).
#pragma once

#include <cstdio>

class RegularFile {
 public:
  enum class Open { kOk, kMissing, kNotRegular };

  // A blocking read-only descriptor of a plain file, or -1 with the reason.
  static Open openDescriptor(const char* path, int& fd);
  // The same as a stream for reading; nullptr whatever the reason.
  static std::FILE* openStream(const char* path);
};
