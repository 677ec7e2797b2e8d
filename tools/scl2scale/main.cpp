// scl2scale: turns a Scala scale into a 12-note scale file of the instrument.
//
//   scl2scale SCALE.scl [--kbm MAPPING.kbm] OUT.txt
//
// OUT.txt's name (without ".txt") is the scale's name in the instrument; with
// ".txt" it may hold at most 40 characters. Scales must have 12 notes per
// octave.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "SclScale.h"

namespace {

constexpr size_t kMaxFileName = 40;

int fail(const std::string& message) {
  std::fprintf(stderr, "scl2scale: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scl, kbm, out;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--kbm" && i + 1 < argc) {
      kbm = argv[++i];
    } else if (scl.empty()) {
      scl = a;
    } else if (out.empty()) {
      out = a;
    } else {
      scl.clear();
      break;
    }
  }
  if (scl.empty() || out.empty()) {
    std::fprintf(stderr, "usage: scl2scale SCALE.scl [--kbm MAPPING.kbm] OUT.txt\n");
    return 2;
  }
  const std::filesystem::path outPath(out);
  const std::string fileName = outPath.filename().string();
  if (outPath.extension() != ".txt") return fail(out + ": the scale file must end in .txt");
  if (fileName.size() > kMaxFileName)
    return fail(fileName + ": the name has " + std::to_string(fileName.size()) +
                " characters; scale files may have at most 40, \".txt\" included");

  SclScale scale;
  std::string error = scale.readScl(scl);
  if (error.empty() && !kbm.empty()) error = scale.readKbm(kbm);
  if (!error.empty()) return fail(error);

  const std::string temp = out + ".part";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f << scale.fileText();
    if (!f.flush()) {
      std::filesystem::remove(temp);
      return fail(temp + ": cannot be written");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, out, ec);
  if (ec) {
    std::filesystem::remove(temp);
    return fail(out + ": cannot be written (" + ec.message() + ")");
  }
  if (!kbm.empty() && scale.rootPitchClass() != 0)
    std::printf("%s: set MicroTuningRoot to pitch class %d (the mapping's middle note)\n",
                fileName.c_str(), scale.rootPitchClass());
  return 0;
}
