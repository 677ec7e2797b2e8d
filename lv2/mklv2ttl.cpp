// mklv2ttl: writes manifest.ttl, Vellamor-ZUL.ttl and presets.ttl of the LV2
// bundle.
//
//   mklv2ttl OUT_DIR FACTORY_BANK.bnk BINARY_NAME

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lv2/Lv2Turtle.h"
#include "plugin/VstSynth.h"

namespace {

bool write(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path temp = path.string() + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: mklv2ttl OUT_DIR FACTORY_BANK.bnk BINARY_NAME UI_BINARY_NAME\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::ifstream in(argv[2], std::ios::binary);
  std::vector<unsigned char> bank((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Lv2Turtle::Preset> presets = Lv2Turtle::namedPrograms(bank);
  if (presets.empty()) {
    std::fprintf(stderr, "mklv2ttl: %s: not a factory bank with named programs\n", argv[2]);
    return 1;
  }

  VstParams table[kNumParams];
  VstSynth::builtInParameters(table);
  // A fresh instance plays the bank's first program, and a host starts the
  // ports at their defaults: those defaults are that program's values.
  VstProgram first;
  std::memcpy(&first, bank.data(), sizeof first);
  for (int i = 0; i < kNumParams; ++i)
    if (table[i].perProgram) table[i].value = first.values[i].value;

  const Lv2Turtle turtle(table);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!write(dir / "manifest.ttl", turtle.manifest(argv[3], argv[4], presets)) ||
      !write(dir / "Vellamor-ZUL.ttl", turtle.plugin()) || !write(dir / "presets.ttl", turtle.presets(presets))) {
    std::fprintf(stderr, "mklv2ttl: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
