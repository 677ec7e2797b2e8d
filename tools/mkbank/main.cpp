// mkbank: builds the factory bank (128 program records) from its text source.
//
//   mkbank SOURCE.txt OUT.bnk [--content DIR]
//
// With --content, the sound sets and scales the programs name must exist in
// DIR (the generated content folder). Any error fails with file:line lines.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "BankSource.h"
#include "plugin/VstSynth.h"
#include "support/MessageBox.h"

namespace {

struct QuietMessages : MessageBoxHandler {
  bool show(const char* text, const char* title, int) override {
    std::fprintf(stderr, "mkbank: %s: %s\n", title, text);
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string source, out, content;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--content" && i + 1 < argc) content = argv[++i];
    else if (source.empty()) source = a;
    else if (out.empty()) out = a;
    else out.clear(), source.clear(), i = argc;
  }
  if (source.empty() || out.empty()) {
    std::fprintf(stderr, "usage: mkbank SOURCE.txt OUT.bnk [--content DIR]\n");
    return 2;
  }
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mkbank: %s: cannot be read\n", source.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();

  // The parameter table comes from the plug-in itself, so names and defaults
  // cannot drift apart.
  QuietMessages quiet;
  VstParams table[kNumParams];
  VstSynth::builtInParameters(table, &quiet);

  BankSource bank(table);
  bool ok = bank.parse(text.str(), source);
  if (ok && !content.empty()) ok = bank.checkContent(content);
  if (!ok) {
    for (const std::string& e : bank.errors()) std::fprintf(stderr, "%s\n", e.c_str());
    return 1;
  }
  std::vector<unsigned char> bytes = bank.bankBytes();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(out).parent_path(), ec);
  const std::string temp = out + ".part";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f.flush()) {
      std::fprintf(stderr, "mkbank: %s: cannot be written\n", temp.c_str());
      return 1;
    }
  }
  std::filesystem::rename(temp, out, ec);
  if (ec) {
    std::fprintf(stderr, "mkbank: %s: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  return 0;
}
