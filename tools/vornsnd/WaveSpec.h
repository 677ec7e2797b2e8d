// One wave of a sound as the user describes it: an audio file and where the
// wave sits on the keyboard. Written either as one command-line argument
//   AUDIO[,keys=LO-HI][,vel=LO-HI][,root=KEY][,loop=START-END][,channel=N]
// or as one manifest line
//   AUDIO [keys=LO-HI] [vel=LO-HI] [root=KEY] [loop=START-END] [channel=N]
// (the audio path may be put in double quotes; '#' starts a comment).
#pragma once

#include <string>
#include <vector>

struct WaveSpec {
  std::string audio;
  int lowKey = 0, highKey = 127;
  int lowVelocity = 0, highVelocity = 127;
  int rootKey = 60;
  bool hasLoop = false;
  int loopStart = -1, loopEnd = 0;
  int channel = 0;  // from 1; 0: mixed down, or as the command line says
};

// Parses one "name=value" option into desc; returns "" or a message.
std::string applyWaveOption(const std::string& option, WaveSpec& desc);
// Parses a command-line wave argument.
std::string parseWaveArgument(const std::string& argument, WaveSpec& desc);
// Parses a manifest; relative audio paths are taken from the manifest's folder.
std::string parseManifest(const std::string& path, std::vector<WaveSpec>& specs);
