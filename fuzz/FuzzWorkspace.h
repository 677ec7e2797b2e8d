// A private folder for one fuzzing process: the data and configuration
// folders of the instrument point into it, it holds two small sound sets and
// a scale so program and sound-set switches have something to load, and
// inputs that the readers only take from files are written there.
//
// Created once per process before any engine object; control thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzWorkspace {
 public:
  // The one workspace of this process, made on first use.
  static FuzzWorkspace& instance();

  const std::string& root() const { return root_; }
  // Folder of the sound sets, with a trailing "/".
  std::string soundFolder() const;
  std::string scaleFolder() const { return soundFolder() + "Scale/"; }
  // Where the engine looks for the user's default bank.
  std::string defaultBankPath() const;

  // Replaces the file with exactly these bytes; false if it cannot be written.
  static bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

  ~FuzzWorkspace();
  FuzzWorkspace(const FuzzWorkspace&) = delete;
  FuzzWorkspace& operator=(const FuzzWorkspace&) = delete;

 private:
  FuzzWorkspace();
  void writeSoundSets() const;

  std::string root_;
};
