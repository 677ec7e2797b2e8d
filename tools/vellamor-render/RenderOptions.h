// The command line of vellamor-render, checked and turned into values.
// Numbers are read in the "C" locale whatever the process locale is.
#pragma once

#include <optional>
#include <string>
#include <vector>

class RenderOptions {
 public:
  enum class SampleFormat { pcm16, pcm24, float32 };
  // One --set: by index when index >= 0, else by name.
  struct Setting {
    int index = -1;
    std::string name;
    float value = 0.0f;
  };
  enum class Outcome { run, help, error };

  // Fills the options, or says in error what is wrong with the command line.
  Outcome parse(int argc, const char* const* argv, std::string& error);
  static std::string usage();

  std::string midiPath;
  std::string outputPath;
  std::string pluginPath;  // empty: look in the usual places
  std::optional<int> program;
  std::vector<Setting> settings;
  std::string bankPath;
  std::optional<std::string> dataHome;
  std::optional<std::string> dataDirs;
  SampleFormat format = SampleFormat::pcm24;
  double sampleRate = 44100.0;
  int blockSize = 512;
  double tailSeconds = 3.0;
  bool quiet = false;

  // Limits of what the options accept.
  static constexpr double kMinRate = 8000.0;
  static constexpr double kMaxRate = 384000.0;
  static constexpr int kMaxBlock = 8192;
  static constexpr double kMaxTail = 600.0;
};
