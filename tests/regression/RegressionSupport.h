// Shared by the regression tests: one private data folder for the whole
// binary (set before main() so the engine never sees the user's), a host
// callback that answers only the version, a message box that stays quiet,
// the saved fuzz inputs and a sound set of one looped wave.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sound/VORNsndWriter.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"
#include "tests/testsupport/TestFiles.h"
#include "vst/AEffect.h"

namespace regression {

namespace fs = std::filesystem;

inline const testfiles::TempDir& dataRoot() {
  static const testfiles::TempDir root("vellamor-regression");
  return root;
}
inline const bool kDataRootSet = [] {
  setenv("XDG_DATA_HOME", (dataRoot() / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dataRoot() / "config").c_str(), 1);
  return true;
}();

inline vst::VstIntPtr quietHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32,
                                vst::VstIntPtr, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Installed for its lifetime: every question is answered "No".
class QuietMessages : public MessageBoxHandler {
 public:
  QuietMessages() { installMessageBoxHandler(this); }
  ~QuietMessages() override { removeMessageBoxHandler(this); }
  bool show(const char*, const char*, int) override { return false; }
};

inline std::vector<fs::path> savedInputs(const char* reader) {
  std::vector<fs::path> files;
  fs::path folder = fs::path(VELLAMOR_REGRESSION_INPUTS) / reader;
  if (fs::is_directory(folder))
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  return files;
}

// Folder `name` of the sound data with the same wave for all three voices.
inline void writeSoundSet(const std::string& name, const VORNsndWriter::Wave& wave) {
  VornMain::setDataPaths("Vellamor");
  const fs::path folder = fs::path(VornMain::soundDataPath()) / name;
  fs::create_directories(folder);
  for (const char* file : {"MainS", "Symp", "Drone"}) {
    std::string error;
    ASSERT_TRUE(VORNsndWriter::write((folder / (std::string(file) + ".VORNsnd")).string(), "t",
                                     {wave}, nullptr, &error))
        << error;
  }
}

}  // namespace regression
