// Whole-file reads and atomic writes for bank files ("Default.bnk" and the
// factory banks). Control thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BankFile {
 public:
  enum class Read { kOk, kMissing, kSizeUnknown, kWrongSize };

  // Reads the file if its size is exactly expectedSize. Anything but a plain
  // file (a FIFO, a device) is kSizeUnknown, found without blocking.
  static Read readExact(const std::string& path, std::size_t expectedSize,
                        std::vector<std::uint8_t>& bytes);
  // Writes a temporary file beside path, syncs it and renames it over path,
  // so a crash never leaves a half-written bank.
  static bool writeAtomically(const std::string& path, const void* data, std::size_t size);
};
