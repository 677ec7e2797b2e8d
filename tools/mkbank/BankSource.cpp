#include "BankSource.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::string squash(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\t') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool parseDouble(const std::string& text, double& out) {
  const char* b = text.data();
  const char* e = b + text.size();
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

// "0.25", "2" or "1/3".
bool parseValue(const std::string& text, double& out) {
  size_t slash = text.find('/');
  if (slash == std::string::npos) return parseDouble(text, out);
  double n = 0, d = 0;
  if (!parseDouble(trim(text.substr(0, slash)), n) || !parseDouble(trim(text.substr(slash + 1)), d) || d == 0)
    return false;
  out = n / d;
  return true;
}

bool isWhole(double v) { return v == std::floor(v); }

// Leading number of a sound-set folder name "NN-...", or -1.
int folderNumber(const std::string& name) {
  if (name.size() < 3 || !std::isdigit(static_cast<unsigned char>(name[0])) ||
      !std::isdigit(static_cast<unsigned char>(name[1])))
    return -1;
  size_t i = 0;
  int n = 0;
  while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && n < 1000)
    n = n * 10 + (name[i++] - '0');
  return i < name.size() && name[i] == '-' ? n : -1;
}

const char* const kNoteNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

enum Kind { kNormalised, kMode, kSplit, kSoundSet, kDeviation, kRoot, kGlobal, kUnused };

Kind kindOf(int index) {
  switch (index) {
    case 3: case 16: return kMode;
    case 17: return kSplit;
    case 24: return kSoundSet;
    case 25: case 26: return kDeviation;
    case 27: return kRoot;
    case 30: return kGlobal;
    default: return index >= 33 ? kUnused : kNormalised;
  }
}

}  // namespace

BankSource::BankSource(const VstParams (&defaults)[kNumParams]) : soundSetFolders_(kNumPrograms) {
  std::memcpy(params_, defaults, sizeof params_);
  for (VstProgram& p : programs_)
    for (int i = 0; i < kNumParams; ++i) p.values[i].value = params_[i].value;
}

void BankSource::error(int line, const std::string& message) {
  errors_.push_back(fileName_ + ":" + std::to_string(line) + ": " + message);
}

int BankSource::findParameter(const std::string& name) const {
  std::string key = squash(name);
  for (int i = 0; i < 33; ++i) {
    std::string stored(params_[i].name, strnlen(params_[i].name, sizeof params_[i].name));
    if (squash(stored) == key) return i;
  }
  return -1;
}

bool BankSource::setValue(int program, int index, const std::string& text, int line) {
  const std::string name = trim(std::string(params_[index].name, strnlen(params_[index].name, 24)));
  double v = 0;
  switch (kindOf(index)) {
    case kGlobal:
      error(line, name + " is one value for the whole plug-in, not part of a program");
      return false;
    case kUnused:
      error(line, "parameter " + std::to_string(index) + " is not used");
      return false;
    case kSoundSet: {
      int number = folderNumber(text);
      if (number >= 0) {
        if (number < 1 || number > 99) {
          error(line, "sound-set folder \"" + text + "\" must be numbered 01 to 99");
          return false;
        }
        v = number - 1;
        soundSetFolders_[program] = text;
      } else if (!parseValue(text, v) || !isWhole(v) || v < 0 || v > 98) {
        error(line, "SoundSet wants a folder name like \"01-Name\" or a code 0..98, not \"" + text + "\"");
        return false;
      } else {
        soundSetFolders_[program].clear();
      }
      soundSetUses_.push_back({line, program});
      break;
    }
    case kRoot: {
      std::string low = squash(text);
      int found = -1;
      for (int k = 0; k < 12; ++k)
        if (low == kNoteNames[k]) found = k;
      if (found >= 0) {
        v = found;
      } else if (!parseValue(text, v) || !isWhole(v) || v < 0 || v > 11) {
        error(line, "MicroTuningRoot wants a note name C..B or 0..11, not \"" + text + "\"");
        return false;
      }
      break;
    }
    case kMode:
      if (!parseValue(text, v) ||
          !(v == 0 || std::fabs(v - 1.0 / 3) < 1e-6 || std::fabs(v - 2.0 / 3) < 1e-6)) {
        error(line, name + " takes the modes 0, 1/3 or 2/3, not \"" + text + "\"");
        return false;
      }
      break;
    case kSplit:
      if (!parseValue(text, v) || !isWhole(v) || v < 0 || v > 83) {
        error(line, "DroneSplitNote takes 0..83 (the split key is 24 more), not \"" + text + "\"");
        return false;
      }
      break;
    case kDeviation:
      if (!parseValue(text, v) || !isWhole(v) || v < 2 || v > 5) {
        error(line, name + " takes 2 (none), 3 (low), 4 (medium) or 5 (high), not \"" + text + "\"");
        return false;
      }
      break;
    case kNormalised:
      if (!parseValue(text, v) || v < 0 || v > 1) {
        error(line, name + " takes a value from 0 to 1, not \"" + text + "\"");
        return false;
      }
      break;
  }
  programs_[program].values[index].value = static_cast<float>(v);
  return true;
}

bool BankSource::parse(const std::string& text, const std::string& fileName) {
  fileName_ = fileName;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  int current = -1;
  std::vector<int> seen(kNumPrograms, 0);
  std::vector<std::vector<int>> namedAt(kNumPrograms, std::vector<int>(kNumParams, 0));
  while (std::getline(in, raw)) {
    ++lineNo;
    std::string line = raw;
    // '#' starts a comment at the line start or after a blank; "F#" stays.
    for (size_t i = 0; i < line.size(); ++i)
      if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
        line.erase(i);
        break;
      }
    line = trim(line);
    if (line.empty()) continue;

    if (line.rfind("program", 0) == 0 && (line.size() == 7 || line[7] == ' ' || line[7] == '\t')) {
      std::string rest = trim(line.substr(7));
      size_t q1 = rest.find('"');
      size_t q2 = q1 == std::string::npos ? q1 : rest.find('"', q1 + 1);
      int number = 0;
      std::string numberText = trim(rest.substr(0, q1));
      auto r = std::from_chars(numberText.data(), numberText.data() + numberText.size(), number);
      if (q2 == std::string::npos || r.ec != std::errc() || r.ptr != numberText.data() + numberText.size() ||
          !trim(rest.substr(q2 + 1)).empty()) {
        error(lineNo, "expected: program NUMBER \"NAME\"");
        current = -1;
        continue;
      }
      if (number < 1 || number > kNumPrograms) {
        error(lineNo, "program numbers run from 1 to 128");
        current = -1;
        continue;
      }
      std::string name = rest.substr(q1 + 1, q2 - q1 - 1);
      if (name.empty() || name.size() > 23) {
        error(lineNo, "a program name has 1 to 23 characters");
      }
      if (seen[number - 1]) {
        error(lineNo, "program " + std::to_string(number) + " is already defined at line " +
                          std::to_string(seen[number - 1]));
        current = -1;
        continue;
      }
      seen[number - 1] = lineNo;
      current = number - 1;
      std::memset(programs_[current].name, 0, sizeof programs_[current].name);
      std::memcpy(programs_[current].name, name.data(), std::min<size_t>(name.size(), 23));
      continue;
    }

    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      error(lineNo, "expected \"program N \\\"NAME\\\"\" or \"Parameter = value\"");
      continue;
    }
    if (current < 0) {
      error(lineNo, "a setting before the first program line");
      continue;
    }
    std::string key = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    if (value.empty()) {
      error(lineNo, "\"" + key + "\" has no value");
      continue;
    }
    if (squash(key) == "scale") {
      if (value.size() > 39) {
        error(lineNo, "a scale name has at most 39 characters");
        continue;
      }
      std::memset(programs_[current].scaleName, 0, sizeof programs_[current].scaleName);
      std::memcpy(programs_[current].scaleName, value.data(), value.size());
      scaleUses_.push_back({lineNo, current});
      continue;
    }
    int index = findParameter(key);
    if (index < 0) {
      error(lineNo, "unknown parameter \"" + key + "\"");
      continue;
    }
    if (namedAt[current][index]) {
      error(lineNo, "\"" + key + "\" is already set at line " + std::to_string(namedAt[current][index]));
      continue;
    }
    namedAt[current][index] = lineNo;
    setValue(current, index, value, lineNo);
  }
  return errors_.empty();
}

bool BankSource::checkContent(const std::string& contentDir) {
  namespace fs = std::filesystem;
  std::vector<std::string> folders(99);
  std::error_code ec;
  for (fs::directory_iterator it(contentDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    int n = folderNumber(name);
    if (it->is_directory() && n >= 1 && n <= 99) folders[n - 1] = name;
  }
  size_t before = errors_.size();
  for (const Use& u : soundSetUses_) {
    int code = static_cast<int>(programs_[u.program].values[24].value);
    const std::string& named = soundSetFolders_[u.program];
    if (folders[code].empty() || (!named.empty() && folders[code] != named))
      error(u.line, "no sound-set folder " + (named.empty() ? "for code " + std::to_string(code) : "\"" + named + "\"") +
                        " in " + contentDir);
  }
  // Programs that do not name a sound set use the default one, and "Init"
  // programs the default scale: both must exist too.
  if (folders[static_cast<int>(params_[24].value)].empty())
    error(0, "the default sound set (code " + std::to_string(static_cast<int>(params_[24].value)) +
                 ") has no folder in " + contentDir);
  for (const Use& u : scaleUses_) {
    fs::path file = fs::path(contentDir) / "Scale" / (std::string(programs_[u.program].scaleName) + ".txt");
    if (!fs::is_regular_file(file)) error(u.line, "no scale file " + file.string());
  }
  VstProgram fresh;
  if (!fs::is_regular_file(fs::path(contentDir) / "Scale" / (std::string(fresh.scaleName) + ".txt")))
    error(0, std::string("the default scale \"") + fresh.scaleName + "\" has no file in " + contentDir);
  return errors_.size() == before;
}

std::vector<unsigned char> BankSource::bankBytes() const {
  std::vector<unsigned char> out(sizeof programs_);
  std::memcpy(out.data(), programs_, sizeof programs_);
  return out;
}
