#include "SclScale.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

constexpr int kNotes = 12;
constexpr double kPeriodTolerance = 10.0;  // cents around the octave

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// First blank-separated word of a line.
std::string firstWord(const std::string& line) {
  std::string t = trim(line);
  size_t e = t.find_first_of(" \t");
  return e == std::string::npos ? t : t.substr(0, e);
}

template <typename T>
bool parseNumber(const std::string& text, T& out) {
  const char* b = text.data();
  const char* e = b + text.size();
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e;
}

// The non-comment lines of a Scala file, with their line numbers.
bool readLines(const std::string& path, std::vector<std::pair<int, std::string>>& lines,
               bool keepBlank) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '!') continue;
    if (!keepBlank && trim(line).empty()) continue;
    lines.emplace_back(number, line);
  }
  return true;
}

}  // namespace

bool SclScale::parsePitch(const std::string& word, double& cents) {
  if (word.empty()) return false;
  if (word.find('.') != std::string::npos) {
    std::string w = word;
    if (w.front() == '+') w.erase(0, 1);
    return parseNumber(w, cents) && std::isfinite(cents);
  }
  long long num = 0, den = 1;
  size_t slash = word.find('/');
  if (slash == std::string::npos) {
    if (!parseNumber(word, num)) return false;
  } else if (!parseNumber(word.substr(0, slash), num) || !parseNumber(word.substr(slash + 1), den)) {
    return false;
  }
  if (num <= 0 || den <= 0) return false;
  cents = 1200.0 * std::log2(static_cast<double>(num) / static_cast<double>(den));
  return true;
}

std::string SclScale::readScl(const std::string& path) {
  std::vector<std::pair<int, std::string>> lines;
  // The description line may be blank, so blank lines are kept here.
  if (!readLines(path, lines, true)) return path + ": cannot be read";
  size_t i = 0;
  if (i >= lines.size()) return path + ": no description line; is this a Scala .scl file?";
  description_ = trim(lines[i++].second);
  while (i < lines.size() && trim(lines[i].second).empty()) ++i;
  if (i >= lines.size()) return path + ": the number of notes is missing";
  int count = 0;
  const int countLine = lines[i].first;
  if (!parseNumber(firstWord(lines[i].second), count) || count < 0)
    return path + ":" + std::to_string(countLine) + ": expected the number of notes, found \"" +
           trim(lines[i].second) + "\"";
  ++i;
  degrees_.clear();
  for (; i < lines.size() && static_cast<int>(degrees_.size()) < count; ++i) {
    std::string word = firstWord(lines[i].second);
    if (word.empty()) continue;
    double cents = 0;
    if (!parsePitch(word, cents))
      return path + ":" + std::to_string(lines[i].first) + ": \"" + word +
             "\" is neither cents (a number with a '.') nor a positive ratio (like 3/2)";
    degrees_.push_back(cents);
  }
  if (static_cast<int>(degrees_.size()) < count)
    return path + ": declares " + std::to_string(count) + " notes but lists " +
           std::to_string(degrees_.size());
  if (count != kNotes)
    return path + ": the scale has " + std::to_string(count) +
           " notes per period; a scale file of this instrument needs exactly 12";
  double period = degrees_.back();
  if (std::fabs(period - 1200.0) > kPeriodTolerance) {
    std::ostringstream m;
    m.imbue(std::locale::classic());
    m << path << ": the period is " << period
      << " cents; only scales that repeat at the octave (1200 cents) fit the 12 keys";
    return m.str();
  }
  return "";
}

std::string SclScale::readKbm(const std::string& path) {
  std::vector<std::pair<int, std::string>> lines;
  if (!readLines(path, lines, false)) return path + ": cannot be read";
  auto where = [&](size_t k) {
    return path + ":" + std::to_string(k < lines.size() ? lines[k].first : 0) + ": ";
  };
  const char* fields[] = {"map size", "first note", "last note", "middle note",
                          "reference note", "reference frequency", "formal octave degree"};
  if (lines.size() < 7) return path + ": a keyboard mapping needs seven header values";
  int values[7] = {};
  for (size_t k = 0; k < 7; ++k) {
    std::string w = firstWord(lines[k].second);
    if (k == 5) {
      if (!parseNumber(w, referenceHz_) || !(referenceHz_ > 0) || !std::isfinite(referenceHz_))
        return where(k) + "expected the " + fields[k] + " in Hz, found \"" + w + "\"";
    } else if (!parseNumber(w, values[k])) {
      return where(k) + "expected the " + fields[k] + ", found \"" + w + "\"";
    }
  }
  const int mapSize = values[0];
  middleNote_ = values[3];
  referenceNote_ = values[4];
  if (middleNote_ < 0 || middleNote_ > 127 || referenceNote_ < 0 || referenceNote_ > 127)
    return path + ": middle and reference notes must lie in 0..127";
  map_.clear();
  if (mapSize == 0) {
    for (int k = 0; k < kNotes; ++k) map_.push_back(k);
  } else if (mapSize != kNotes || values[6] != kNotes) {
    return path + ": the mapping repeats every " + std::to_string(mapSize) + " keys over " +
           std::to_string(values[6]) + " degrees; only 12 keys per octave of 12 degrees (or a linear map) fit";
  } else {
    for (size_t k = 7; k < lines.size() && static_cast<int>(map_.size()) < mapSize; ++k) {
      std::string w = firstWord(lines[k].second);
      int degree = -1;
      if (w == "x" || w == "X") {
        degree = -1;
      } else if (!parseNumber(w, degree) || degree < 0 || degree >= kNotes) {
        return where(k) + "expected a scale degree 0..11 or x, found \"" + w + "\"";
      }
      map_.push_back(degree);
    }
    if (static_cast<int>(map_.size()) < mapSize)
      return path + ": the mapping lists " + std::to_string(map_.size()) + " of its " +
             std::to_string(mapSize) + " keys";
  }
  hasKbm_ = true;
  return "";
}

std::array<double, 12> SclScale::offsets() const {
  std::array<double, 12> out{};
  auto degreeCents = [&](int d) { return d == 0 ? 0.0 : degrees_[d - 1]; };
  for (int k = 0; k < kNotes; ++k) {
    int d = hasKbm_ ? map_[k] : k;
    out[k] = d < 0 ? 0.0 : degreeCents(d) - 100.0 * k;  // unmapped keys stay equal-tempered
  }
  if (hasKbm_) {
    int steps = referenceNote_ - middleNote_;
    int r = ((steps % kNotes) + kNotes) % kNotes;
    double wanted = 1200.0 * std::log2(referenceHz_ / (440.0 * std::pow(2.0, (referenceNote_ - 69) / 12.0)));
    double shift = wanted - out[r];
    for (double& v : out) v += shift;
  }
  return out;
}

std::string SclScale::fileText() const {
  std::string text;
  for (double v : offsets()) {
    char buffer[64];
    if (std::fabs(v) < 0.0005) v = 0.0;  // no "-0.000"
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
    text.append(buffer, r.ptr);
    text += '\n';
  }
  return text;
}
