// mksoundsets: writes the factory sound sets, modelled from scratch.
//
//   mksoundsets OUT_DIR [FOLDER...]
//
// Writes OUT_DIR/<folder>/{MainS,Symp,Drone}.VORNsnd for every factory set, or
// only for the named folders. The output depends on nothing but this code.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FactorySets.h"
#include "sound/VORNsndWriter.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mksoundsets OUT_DIR [FOLDER...]\n");
    return 2;
  }
  const std::filesystem::path outDir = argv[1];
  std::vector<std::string> only(argv + 2, argv + argc);
  int written = 0;
  for (const SetDesign& set : FactorySets::designs()) {
    if (!only.empty() && std::find(only.begin(), only.end(), set.folder) == only.end()) continue;
    std::error_code ec;
    std::filesystem::create_directories(outDir / set.folder, ec);
    if (ec) {
      std::fprintf(stderr, "mksoundsets: cannot create %s: %s\n",
                   (outDir / set.folder).c_str(), ec.message().c_str());
      return 1;
    }
    for (const char* kind : {"MainS", "Symp", "Drone"}) {
      std::string path = (outDir / set.folder / (std::string(kind) + ".VORNsnd")).string();
      std::string error;
      std::string header = "Vellamor-ZUL factory sound " + set.folder + "/" + kind +
                           "; modelled strings, 44100 Hz";
      if (!VORNsndWriter::write(path, header, FactorySets::waves(set, kind), nullptr, &error)) {
        std::fprintf(stderr, "mksoundsets: %s: %s\n", path.c_str(), error.c_str());
        return 1;
      }
    }
    ++written;
  }
  if (written == 0 || (!only.empty() && written != static_cast<int>(only.size()))) {
    std::fprintf(stderr, "mksoundsets: no such factory set among the names given\n");
    return 1;
  }
  return 0;
}
