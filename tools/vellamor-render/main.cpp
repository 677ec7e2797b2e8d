// vellamor-render: plays a Standard MIDI File through the plug-in and writes
// a WAV file. Exit 0 on success, 1 when the work fails, 2 for a bad command line.
#include <clocale>
#include <cstdio>
#include <string>

#include "tools/vellamor-render/RenderOptions.h"
#include "tools/vellamor-render/SongRenderer.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  RenderOptions options;
  std::string error;
  switch (options.parse(argc, argv, error)) {
    case RenderOptions::Outcome::help:
      std::fputs(RenderOptions::usage().c_str(), stdout);
      return 0;
    case RenderOptions::Outcome::error:
      std::fprintf(stderr, "vellamor-render: %s\nTry 'vellamor-render --help'.\n", error.c_str());
      return 2;
    case RenderOptions::Outcome::run:
      break;
  }
  SongRenderer renderer(options);
  if (!renderer.run(error)) {
    std::fprintf(stderr, "vellamor-render: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
