#include "tools/vellamor-render/RenderOptions.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool readInt(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool readNumber(const std::string& text, double& out) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;  // from_chars takes no plus sign
  auto [ptr, ec] = std::from_chars(begin, end, out);
  return ec == std::errc() && ptr == end && begin != end && std::isfinite(out);
}

}  // namespace

std::string RenderOptions::usage() {
  return "Usage: vellamor-render [OPTIONS] SONG.mid OUTPUT.wav\n"
         "Plays a Standard MIDI File (format 0 or 1) through the Vellamor-ZUL plug-in\n"
         "and writes what it plays to a WAV file.\n"
         "\n"
         "  --plugin PATH       the plug-in module (default: Vellamor-ZUL.so in $VST_PATH,\n"
         "                      then ~/.vst/Vellamor-ZUL/, then the one built beside this tool)\n"
         "  --program N         program to play, 0..127 (default: the plug-in's current one)\n"
         "  --set INDEX=VALUE   set a parameter by number, after the program; repeatable\n"
         "  --set NAME=VALUE    the same by parameter name (case does not matter)\n"
         "  --bank FILE         load a bank first: a whole state (39428 bytes, like\n"
         "                      Default.bnk) or 128 programs (37376 bytes, like res00165.bnk)\n"
         "  --data-home DIR     sound sets, scales and preferences under DIR/data and DIR/config\n"
         "  --data-dirs DIRS    system data folders, colon-separated (XDG_DATA_DIRS);\n"
         "                      relative folders are taken from the current folder\n"
         "  --format F          16, 24 or float (default 24)\n"
         "  --rate HZ           sample rate (default 44100)\n"
         "  --block N           frames per processing block (default 512)\n"
         "  --tail SECONDS      time after the last event for release and reverb (default 3)\n"
         "  -q, --quiet         no progress bar and no summary\n"
         "  -h, --help          this text\n";
}

RenderOptions::Outcome RenderOptions::parse(int argc, const char* const* argv, std::string& error) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") return Outcome::help;
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
      continue;
    }
    // Every other option takes a value: "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::string value;
    std::size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    } else {
      static const char* const kWithValue[] = {"--plugin",    "--program",   "--set",    "--bank",
                                               "--data-home", "--data-dirs", "--format", "--rate",
                                               "--block",     "--tail"};
      bool known = false;
      for (const char* option : kWithValue) known = known || name == option;
      if (!known) {
        error = "unknown option '" + arg + "'";
        return Outcome::error;
      }
      if (i + 1 >= argc) {
        error = "option '" + name + "' needs a value";
        return Outcome::error;
      }
      value = argv[++i];
    }

    if (name == "--plugin") {
      pluginPath = value;
    } else if (name == "--program") {
      int n = 0;
      if (!readInt(value, n) || n < 0 || n > 127) {
        error = "--program wants a number from 0 to 127, not '" + value + "'";
        return Outcome::error;
      }
      program = n;
    } else if (name == "--set") {
      std::size_t split = value.rfind('=');
      Setting setting;
      double number = 0.0;
      std::string target = split == std::string::npos ? "" : value.substr(0, split);
      if (split == std::string::npos || target.empty() ||
          !readNumber(value.substr(split + 1), number) || std::fabs(number) > 1e9) {
        error = "--set wants INDEX=VALUE or NAME=VALUE with a finite number, not '" + value + "'";
        return Outcome::error;
      }
      setting.value = static_cast<float>(number);
      int index = 0;
      if (readInt(target, index)) {
        if (index < 0) {
          error = "--set: parameter number " + target + " is negative";
          return Outcome::error;
        }
        setting.index = index;
      } else {
        setting.name = target;
      }
      settings.push_back(setting);
    } else if (name == "--bank") {
      bankPath = value;
    } else if (name == "--data-home") {
      if (value.empty()) {
        error = "--data-home wants a folder";
        return Outcome::error;
      }
      dataHome = value;
    } else if (name == "--data-dirs") {
      dataDirs = value;
    } else if (name == "--format") {
      if (value == "16") {
        format = SampleFormat::pcm16;
      } else if (value == "24") {
        format = SampleFormat::pcm24;
      } else if (value == "float" || value == "32f") {
        format = SampleFormat::float32;
      } else {
        error = "--format wants 16, 24 or float, not '" + value + "'";
        return Outcome::error;
      }
    } else if (name == "--rate") {
      if (!readNumber(value, sampleRate) || sampleRate < kMinRate || sampleRate > kMaxRate ||
          sampleRate != std::floor(sampleRate)) {
        error = "--rate wants a whole number of Hz from 8000 to 384000, not '" + value + "'";
        return Outcome::error;
      }
    } else if (name == "--block") {
      if (!readInt(value, blockSize) || blockSize < 1 || blockSize > kMaxBlock) {
        error = "--block wants a number of frames from 1 to 8192, not '" + value + "'";
        return Outcome::error;
      }
    } else if (name == "--tail") {
      if (!readNumber(value, tailSeconds) || tailSeconds < 0.0 || tailSeconds > kMaxTail) {
        error = "--tail wants seconds from 0 to 600, not '" + value + "'";
        return Outcome::error;
      }
    } else {
      error = "unknown option '" + name + "'";
      return Outcome::error;
    }
  }
  if (positional.size() != 2) {
    error = positional.size() < 2 ? "a MIDI file and an output file are needed"
                                  : "too many file names: '" + positional[2] + "'";
    return Outcome::error;
  }
  midiPath = positional[0];
  outputPath = positional[1];
  return Outcome::run;
}
