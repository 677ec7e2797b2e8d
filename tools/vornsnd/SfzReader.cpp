#include "SfzReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "support/RegularFile.h"

namespace {

constexpr size_t kMaxFileBytes = 16u << 20;

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

std::string trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && isSpace(text[first])) ++first;
  while (last > first && isSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// "name=" starts at position m.
bool startsOpcode(const std::string& line, size_t m) {
  size_t k = m;
  while (k < line.size() && isNameChar(line[k])) ++k;
  return k > m && k < line.size() && line[k] == '=';
}

template <typename T>
bool parseNumber(const std::string& text, T& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  auto [end, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && end == last && first != last;
}

std::string slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool ignoredQuietly(const std::string& name) {
  // Names shown in a sampler's user interface change nothing in the sound.
  return endsWith(name, "_label") || name.rfind("label_cc", 0) == 0;
}

bool isRegionOpcode(const std::string& name) {
  static const char* const known[] = {
      "sample", "key", "lokey", "hikey", "pitch_keycenter", "lovel", "hivel", "offset", "end",
      "loop_mode", "loop_start", "loop_end", "tune", "transpose", "trigger", "seq_position"};
  return std::find_if(std::begin(known), std::end(known),
                      [&](const char* k) { return name == k; }) != std::end(known);
}

// Older spellings of the same opcodes.
std::string canonicalName(const std::string& name) {
  if (name == "loopmode") return "loop_mode";
  if (name == "loopstart") return "loop_start";
  if (name == "loopend") return "loop_end";
  return name;
}

}  // namespace

bool SfzReader::parseKey(const std::string& text, int& key) {
  if (parseNumber(text, key)) return true;
  if (text.size() < 2) return false;
  static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  if (letter < 'a' || letter > 'g') return false;
  int note = kSteps[letter - 'a'];
  size_t at = 1;
  if (text[at] == '#') {
    ++note;
    ++at;
  } else if (text[at] == 'b' || text[at] == 'B') {
    --note;
    ++at;
  }
  int octave = 0;
  if (!parseNumber(text.substr(at), octave) || octave < -1 || octave > 9) return false;
  key = (octave + 1) * 12 + note;
  return true;
}

bool SfzReader::read(const std::string& path) {
  *this = SfzReader();
  const size_t slash = path.rfind('/');
  baseFolder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  readFile(path, path, 0);
  if (scope_ == Scope::kRegion) closeRegion();
  checkOverlaps();
  if (!unmapped_.empty()) {
    std::string list;
    for (const auto& [name, count] : unmapped_)
      list += (list.empty() ? "" : ", ") + name + " (" + std::to_string(count) + ")";
    warnings_.push_back(path + ": ignored, a sound file has no place for them: " + list);
  }
  if (leftOut_ > 0)
    warnings_.push_back(path + ": " + std::to_string(leftOut_) +
                        " region(s) left out: release, legato and later round-robin samples "
                        "have no place in a sound file");
  if (regions_.empty() && errors_.empty()) error(path, "no region to convert");
  return errors_.empty();
}

void SfzReader::error(const std::string& where, const std::string& message) {
  if (static_cast<int>(errors_.size()) < kMaxErrors) errors_.push_back(where + ": " + message);
}

void SfzReader::readFile(const std::string& path, const std::string& shownAs, int depth) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(RegularFile::openStream(path.c_str()),
                                                       std::fclose);
  if (!file) {
    error(shownAs, "cannot open (missing, unreadable or not a plain file)");
    return;
  }
  std::string text;
  char buffer[65536];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, file.get())) {
    text.append(buffer, n);
    if (text.size() > kMaxFileBytes) {
      error(shownAs, "larger than 16 MB, not an instrument");
      return;
    }
  }
  size_t begin = 0;
  int number = 0;
  while (begin < text.size() && static_cast<int>(errors_.size()) < kMaxErrors) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    readLine(std::move(line), shownAs + ":" + std::to_string(++number), depth);
    begin = end + 1;
  }
}

void SfzReader::readLine(std::string raw, const std::string& where, int depth) {
  // Comments first: "//" to the end of the line, "/* */" across lines.
  std::string line;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (inBlockComment_) {
      if (raw.compare(i, 2, "*/") == 0) {
        inBlockComment_ = false;
        ++i;
      }
    } else if (raw.compare(i, 2, "//") == 0) {
      break;
    } else if (raw.compare(i, 2, "/*") == 0) {
      inBlockComment_ = true;
      ++i;
    } else {
      line += raw[i];
    }
  }
  line = trim(line);
  if (line.rfind("#define", 0) == 0) {
    std::string rest = trim(line.substr(7));
    size_t nameEnd = 1;
    while (nameEnd < rest.size() && isNameChar(rest[nameEnd])) ++nameEnd;
    if (rest.size() < 2 || rest[0] != '$' || nameEnd == 1) {
      error(where, "#define needs a $NAME and a value");
      return;
    }
    std::string value = trim(rest.substr(nameEnd));
    substituteDefines(value);
    defines_[rest.substr(0, nameEnd)] = value;
    return;
  }
  substituteDefines(line);
  if (line.rfind("#include", 0) == 0) {
    const size_t open = line.find('"'), close = line.find('"', open + 1);
    if (open == std::string::npos || close == std::string::npos || close == open + 1) {
      error(where, "#include needs a file name in double quotes");
      return;
    }
    if (depth + 1 >= kMaxIncludeDepth) {
      error(where, "includes nest more than " + std::to_string(kMaxIncludeDepth) +
                       " deep (does a file include itself?)");
      return;
    }
    std::string file = slashes(line.substr(open + 1, close - open - 1));
    if (file[0] != '/') file = baseFolder_ + file;
    readFile(file, file, depth + 1);
    return;
  }

  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && isSpace(line[i])) ++i;
    if (i >= n) return;
    if (line[i] == '<') {
      const size_t close = line.find('>', i);
      if (close == std::string::npos) {
        error(where, "header without its closing '>'");
        return;
      }
      openHeader(line.substr(i + 1, close - i - 1), where);
      i = close + 1;
      continue;
    }
    size_t nameEnd = i;
    while (nameEnd < n && isNameChar(line[nameEnd])) ++nameEnd;
    if (nameEnd == i || nameEnd >= n || line[nameEnd] != '=') {
      const size_t wordEnd = std::min(n, line.find_first_of(" \t", i));
      error(where, "expected opcode=value or a <header>, found '" + line.substr(i, wordEnd - i) + "'");
      return;
    }
    // A value runs to the next opcode or header, so sample names may hold spaces.
    size_t k = nameEnd + 1, valueEnd = n;
    while (k < n) {
      if (!isSpace(line[k])) {
        ++k;
        continue;
      }
      size_t m = k;
      while (m < n && isSpace(line[m])) ++m;
      if (m == n || line[m] == '<' || startsOpcode(line, m)) {
        valueEnd = k;
        break;
      }
      k = m;
    }
    addOpcode(line.substr(i, nameEnd - i), trim(line.substr(nameEnd + 1, valueEnd - nameEnd - 1)),
              where);
    i = valueEnd;
  }
}

void SfzReader::substituteDefines(std::string& line) const {
  if (defines_.empty()) return;
  for (size_t at = line.find('$'); at != std::string::npos; at = line.find('$', at)) {
    // The longest defined name wins ($A before $AB would cut it).
    const std::map<std::string, std::string>::value_type* best = nullptr;
    for (const auto& entry : defines_)
      if (line.compare(at, entry.first.size(), entry.first) == 0 &&
          (!best || entry.first.size() > best->first.size()))
        best = &entry;
    if (!best) {
      ++at;
      continue;
    }
    line.replace(at, best->first.size(), best->second);
    at += best->second.size();
  }
}

void SfzReader::openHeader(const std::string& name, const std::string& where) {
  if (scope_ == Scope::kRegion) closeRegion();
  if (name == "control") {
    scope_ = Scope::kControl;
  } else if (name == "global") {
    scope_ = Scope::kGlobal;
    global_.clear();
    master_.clear();
    group_.clear();
  } else if (name == "master") {
    scope_ = Scope::kMaster;
    master_.clear();
    group_.clear();
  } else if (name == "group") {
    scope_ = Scope::kGroup;
    group_.clear();
  } else if (name == "region") {
    scope_ = Scope::kRegion;
    region_.clear();
    regionWhere_ = where;
  } else {
    scope_ = Scope::kOther;
    ++unmapped_["<" + name + ">"];
  }
}

void SfzReader::addOpcode(const std::string& rawName, const std::string& value,
                          const std::string& where) {
  const std::string name = canonicalName(rawName);
  if (scope_ == Scope::kOther) return;  // counted with its header
  if (scope_ == Scope::kControl) {
    if (name == "default_path") {
      defaultPath_ = slashes(value);
      if (!defaultPath_.empty() && defaultPath_.back() != '/') defaultPath_ += '/';
    } else if (!ignoredQuietly(name)) {
      ++unmapped_[name];
    }
    return;
  }
  if (!isRegionOpcode(name)) {
    if (!ignoredQuietly(name)) ++unmapped_[name];
    return;
  }
  Opcode op{name, value, where};
  switch (scope_) {
    case Scope::kRegion: region_.push_back(op); break;
    case Scope::kGroup: group_.push_back(op); break;
    case Scope::kMaster: master_.push_back(op); break;
    default: global_.push_back(op); break;  // opcodes before any header count as global
  }
}

std::string SfzReader::resolveSample(const std::string& value) const {
  const std::string path = slashes(value);
  if (path[0] == '/') return path;
  if (!defaultPath_.empty() && defaultPath_[0] == '/') return defaultPath_ + path;
  return baseFolder_ + defaultPath_ + path;
}

bool SfzReader::applyOpcode(const Opcode& op, Region& r) {
  const std::string& v = op.value;
  auto bad = [&](const std::string& expected) {
    error(op.where, op.name + "=" + v + ": " + expected);
    return false;
  };
  auto key = [&](int& out, bool sampleAllowed) {
    if (sampleAllowed && v == "sample") {
      out = -1;
      return true;
    }
    int k = 0;
    if (!parseKey(v, k)) return bad("expected a MIDI note number or name such as c4");
    if (k < 0 || k > 127) return bad("note lies outside 0..127");
    out = k;
    return true;
  };
  auto velocity = [&](int& out) {
    int x = 0;
    if (!parseNumber(v, x)) return bad("expected a whole number");
    if (x < 0 || x > 127) return bad("velocity lies outside 0..127");
    out = x;
    return true;
  };
  auto frames = [&](int64_t& out) {
    int64_t x = 0;
    if (!parseNumber(v, x) || x < 0) return bad("expected a frame number 0 or more");
    out = x;
    return true;
  };
  const std::string& name = op.name;
  if (name == "sample") {
    if (v.empty()) return bad("expected a file name");
    if (v[0] == '*') return bad("a built-in sound has no samples to convert");
    r.sample = resolveSample(v);
    r.sampleWhere = op.where;
    return true;
  }
  if (name == "key") {
    if (!key(r.lowKey, false)) return false;
    r.highKey = r.keyCenter = r.lowKey;
    return true;
  }
  if (name == "lokey") return key(r.lowKey, false);
  if (name == "hikey") return key(r.highKey, false);
  if (name == "pitch_keycenter") return key(r.keyCenter, true);
  if (name == "lovel") return velocity(r.lowVelocity);
  if (name == "hivel") return velocity(r.highVelocity);
  if (name == "offset") return frames(r.offset);
  if (name == "end") return frames(r.end);
  if (name == "loop_start") return frames(r.loopStart);
  if (name == "loop_end") return frames(r.loopEnd);
  if (name == "loop_mode") {
    if (v == "no_loop") r.loopMode = LoopMode::kNoLoop;
    else if (v == "one_shot") r.loopMode = LoopMode::kOneShot;
    else if (v == "loop_continuous") r.loopMode = LoopMode::kContinuous;
    else if (v == "loop_sustain") r.loopMode = LoopMode::kSustain;
    else return bad("expected no_loop, one_shot, loop_continuous or loop_sustain");
    return true;
  }
  if (name == "tune") {
    double cents = 0.0;
    if (!parseNumber(v, cents) || !std::isfinite(cents) || std::fabs(cents) > 9600.0)
      return bad("expected cents between -9600 and 9600");
    r.tune = cents;
    return true;
  }
  if (name == "transpose") {
    int semitones = 0;
    if (!parseNumber(v, semitones) || semitones < -127 || semitones > 127)
      return bad("expected semitones between -127 and 127");
    r.transpose = semitones;
    return true;
  }
  return true;  // trigger, seq_position: looked at by closeRegion
}

void SfzReader::closeRegion() {
  scope_ = Scope::kNone;
  Region r;
  r.where = regionWhere_;
  bool ok = true, leftOut = false;
  for (const std::vector<Opcode>* level : {&global_, &master_, &group_, &region_})
    for (const Opcode& op : *level) {
      if (op.name == "trigger") {
        if (op.value != "attack" && op.value != "first") leftOut = true;
      } else if (op.name == "seq_position") {
        int position = 1;
        if (parseNumber(op.value, position) && position > 1) leftOut = true;
      } else if (!applyOpcode(op, r)) {
        ok = false;
      }
    }
  region_.clear();
  if (leftOut) {
    ++leftOut_;
    return;
  }
  if (!ok) return;
  if (r.sample.empty()) ok = false, error(r.where, "region without a sample");
  if (r.lowKey > r.highKey)
    ok = false, error(r.where, "lokey " + std::to_string(r.lowKey) + " lies above hikey " +
                                   std::to_string(r.highKey));
  if (r.lowVelocity > r.highVelocity)
    ok = false, error(r.where, "lovel " + std::to_string(r.lowVelocity) + " lies above hivel " +
                                   std::to_string(r.highVelocity));
  if (r.end >= 0 && r.end < r.offset)
    ok = false, error(r.where, "end " + std::to_string(r.end) + " lies before offset " +
                                   std::to_string(r.offset));
  if (ok) regions_.push_back(std::move(r));
}

void SfzReader::checkOverlaps() {
  // A sound file plays one wave per note; the later one wins where ranges meet.
  for (size_t i = 1; i < regions_.size(); ++i) {
    const Region& a = regions_[i];
    for (size_t j = 0; j < i; ++j) {
      const Region& b = regions_[j];
      if (a.lowKey > b.highKey || b.lowKey > a.highKey || a.lowVelocity > b.highVelocity ||
          b.lowVelocity > a.highVelocity)
        continue;
      warnings_.push_back(a.where + ": keys " + std::to_string(a.lowKey) + "-" +
                          std::to_string(a.highKey) + ", velocities " +
                          std::to_string(a.lowVelocity) + "-" + std::to_string(a.highVelocity) +
                          " overlap the region at " + b.where +
                          "; only this later region plays where they meet");
      break;
    }
  }
}
