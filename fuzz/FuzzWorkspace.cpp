#include "fuzz/FuzzWorkspace.h"

#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "sound/VORNsndWriter.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"

namespace fs = std::filesystem;

namespace {

// Messages the engine shows for bad files would flood the fuzzer's output;
// they are answered "No" without a word.
class QuietMessages : public MessageBoxHandler {
 public:
  bool show(const char*, const char*, int) override { return false; }
};
QuietMessages g_quiet;

VORNsndWriter::Wave loopedTone(int period, int rootKey, float amplitude) {
  VORNsndWriter::Wave wave;
  const int length = 12 * period;
  wave.samples.resize(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i)
    wave.samples[i] = amplitude * static_cast<float>(std::sin(6.283185307179586 * i / period));
  wave.loopStart = period;
  wave.loopEnd = 11 * period - 1;
  wave.rootKey = rootKey;
  return wave;
}

}  // namespace

FuzzWorkspace& FuzzWorkspace::instance() {
  static FuzzWorkspace workspace;
  return workspace;
}

FuzzWorkspace::FuzzWorkspace() {
  char name[] = "/tmp/vellamor-fuzz-XXXXXX";
  if (mkdtemp(name)) root_ = name;
  setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  std::error_code ec;
  fs::create_directories(root_ + "/config", ec);
  VornMain::setDataPaths("Vellamor");
  fs::create_directories(soundFolder(), ec);
  fs::create_directories(scaleFolder(), ec);
  fs::create_directories(VornMain::presetBankPath(), ec);
  writeSoundSets();
  installMessageBoxHandler(&g_quiet);
}

FuzzWorkspace::~FuzzWorkspace() {
  removeMessageBoxHandler(&g_quiet);
  std::error_code ec;
  if (!root_.empty()) fs::remove_all(root_, ec);
}

std::string FuzzWorkspace::soundFolder() const { return VornMain::soundDataPath(); }

std::string FuzzWorkspace::defaultBankPath() const {
  char path[VornMain::kPathSize];
  if (!VornMain::buildNameInUserDataPath("Default.bnk", path, sizeof(path))) return {};
  return path;
}

bool FuzzWorkspace::writeFile(const std::string& path, const std::uint8_t* data,
                              std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

void FuzzWorkspace::writeSoundSets() const {
  const struct {
    const char* folder;
    int period;
  } sets[] = {{"01-Plain", 64}, {"02-Other", 90}};
  for (const auto& set : sets) {
    std::string folder = soundFolder() + set.folder + "/";
    std::error_code ec;
    fs::create_directories(folder, ec);
    for (const char* file : {"MainS", "Symp", "Drone"}) {
      std::string error;
      VORNsndWriter::write(folder + file + ".VORNsnd", "fuzz",
                           {loopedTone(set.period, 60, 0.4f)}, nullptr, &error);
    }
  }
  const char scale[] = "0\n10\n-20\n5\n0\n0\n0\n0\n0\n0\n0\n0\n";
  writeFile(scaleFolder() + "Fuzz.txt", reinterpret_cast<const std::uint8_t*>(scale),
            sizeof(scale) - 1);
}
