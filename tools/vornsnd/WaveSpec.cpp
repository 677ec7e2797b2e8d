#include "WaveSpec.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace {

bool parseInt(const std::string& text, int& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && end == last && !text.empty();
}

bool parsePair(const std::string& text, int& low, int& high) {
  const size_t dash = text.find('-', 1);  // a leading '-' would be a sign
  if (dash == std::string::npos) return false;
  return parseInt(text.substr(0, dash), low) && parseInt(text.substr(dash + 1), high);
}

std::string checkMidiRange(const char* what, int low, int high) {
  if (low < 0 || high > 127 || low > high)
    return std::string(what) + " range must be LO-HI with 0 <= LO <= HI <= 127";
  return "";
}

}  // namespace

std::string applyWaveOption(const std::string& option, WaveSpec& desc) {
  const size_t eq = option.find('=');
  if (eq == std::string::npos) return "expected name=value, got '" + option + "'";
  const std::string name = option.substr(0, eq), value = option.substr(eq + 1);
  if (name == "keys") {
    if (!parsePair(value, desc.lowKey, desc.highKey)) return "keys must be LO-HI, got '" + value + "'";
    return checkMidiRange("key", desc.lowKey, desc.highKey);
  }
  if (name == "vel") {
    if (!parsePair(value, desc.lowVelocity, desc.highVelocity))
      return "vel must be LO-HI, got '" + value + "'";
    return checkMidiRange("velocity", desc.lowVelocity, desc.highVelocity);
  }
  if (name == "root") {
    if (!parseInt(value, desc.rootKey) || desc.rootKey < 0 || desc.rootKey > 127)
      return "root must be a MIDI note 0..127, got '" + value + "'";
    return "";
  }
  if (name == "loop") {
    if (!parsePair(value, desc.loopStart, desc.loopEnd) || desc.loopStart < 0 ||
        desc.loopEnd <= desc.loopStart)
      return "loop must be START-END in samples with 0 <= START < END, got '" + value + "'";
    desc.hasLoop = true;
    return "";
  }
  if (name == "channel") {
    if (!parseInt(value, desc.channel) || desc.channel < 1 || desc.channel > 256)
      return "channel must be a channel number from 1, got '" + value + "'";
    return "";
  }
  return "unknown option '" + name + "' (known: keys, vel, root, loop, channel)";
}

std::string parseWaveArgument(const std::string& argument, WaveSpec& desc) {
  std::stringstream in(argument);
  std::string part;
  std::getline(in, desc.audio, ',');
  if (desc.audio.empty()) return "missing audio file in '" + argument + "'";
  while (std::getline(in, part, ',')) {
    std::string problem = applyWaveOption(part, desc);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string parseManifest(const std::string& path, std::vector<WaveSpec>& specs) {
  std::ifstream in(path);
  if (!in) return "cannot open manifest " + path;
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    words >> std::ws;
    if (words.peek() == std::char_traits<char>::eof()) continue;
    WaveSpec desc;
    if (words.peek() == '"') {
      words.get();
      if (!std::getline(words, desc.audio, '"')) return where + "unterminated quote";
    } else {
      words >> desc.audio;
    }
    if (desc.audio.empty()) return where + "missing audio file";
    if (desc.audio[0] != '/') desc.audio = base + desc.audio;
    std::string option;
    while (words >> option) {
      std::string problem = applyWaveOption(option, desc);
      if (!problem.empty()) return where + problem;
    }
    specs.push_back(desc);
  }
  if (specs.empty()) return path + ": no waves listed";
  return "";
}
