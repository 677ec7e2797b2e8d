// Loads a VST 2.4 module as a host would and prints what it says about itself.
#include <cstdio>
#include <string>

#include "host/HostedPlugin.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vstinfo PLUGIN.so\n");
    return 2;
  }
  std::string error;
  auto plugin = host::HostedPlugin::load(argv[1], error);
  if (!plugin) {
    std::fprintf(stderr, "vstinfo: %s\n", error.c_str());
    return 1;
  }
  const vst::VstInt32 id = plugin->uniqueId();
  std::printf("name:       %s\n", plugin->effectName().c_str());
  std::printf("product:    %s\n", plugin->productString().c_str());
  std::printf("vendor:     %s (version %ld)\n", plugin->vendorString().c_str(),
              static_cast<long>(plugin->vendorVersion()));
  std::printf("unique id:  %c%c%c%c\n", (id >> 24) & 0xff, (id >> 16) & 0xff, (id >> 8) & 0xff,
              id & 0xff);
  std::printf("synth:      %s\n", plugin->hasFlag(vst::effFlagsIsSynth) ? "yes" : "no");
  std::printf("editor:     %s\n", plugin->hasEditor() ? "yes" : "no");
  std::printf("i/o:        %d in, %d out\n", plugin->numInputs(), plugin->numOutputs());
  std::printf("parameters: %d\n", plugin->numParams());
  std::printf("programs:   %d\n", plugin->numPrograms());
  for (int i = 0; i < plugin->numParams(); ++i) {
    std::string name = plugin->parameterName(i);
    if (name.rfind("not used", 0) == 0) continue;
    std::printf("  %2d %-16s = %s\n", i, name.c_str(), plugin->parameterDisplay(i).c_str());
  }
  return 0;
}
