#include "support/Preferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "support/RegularFile.h"
#include "support/XdgDirs.h"

namespace {

bool needsEscape(unsigned char c) {
  return c < 0x20 || c > 0x7e || c == '%' || c == '=' || c == '#';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<int> parseInt(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t\r");
  if (begin == std::string::npos) return std::nullopt;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  if (*first == '+') ++first;
  int value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Preferences::Preferences(std::string filePath) : path_(std::move(filePath)) {}

std::string Preferences::defaultFilePath() {
  std::string base = XdgDirs::configHome();
  if (base.empty()) return {};
  if (base == "/") base.clear();
  return base + "/Vellamor-ZUL/preferences";
}

std::string Preferences::escapeKey(const std::string& key) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(key.size());
  for (unsigned char c : key) {
    if (needsEscape(c)) {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Preferences::unescapeKey(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hexValue(text[i + 1]);
    int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

bool Preferences::load() {
  entries_.clear();
  if (path_.empty()) return false;
  // Only a plain file: a FIFO in its place would block the plug-in's start.
  FILE* f = RegularFile::openStream(path_.c_str());
  if (!f) return false;
  std::string content;
  char chunk[4096];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, f);
    content.append(chunk, n);
    if (static_cast<long>(content.size()) > kMaxFileSize) {
      ok = false;
      break;
    }
    if (n < sizeof chunk) {
      if (std::ferror(f)) ok = false;
      break;
    }
  }
  std::fclose(f);
  if (!ok) return false;

  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    std::optional<std::string> key = unescapeKey(line.substr(0, eq));
    if (!key || key->empty()) continue;
    entries_[*key] = line.substr(eq + 1);
  }
  return true;
}

bool Preferences::save() const {
  if (path_.empty()) return false;
  std::filesystem::path target(path_);
  std::filesystem::path folder = target.parent_path();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) return false;

  std::string text = std::string("# ") + kIdentifier + "\n";
  char number[16];
  for (const auto& [key, value] : entries_) {
    text += escapeKey(key);
    text += '=';
    // Values set here are integers already; anything else read from a damaged
    // file is normalised to what it reads as.
    std::optional<int> v = parseInt(value);
    auto [ptr, err] = std::to_chars(number, number + sizeof number, v ? *v : 0);
    (void)err;
    text.append(number, ptr);
    text += '\n';
  }

  std::string tmp = path_ + ".tmp.XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), path_.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dirfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirfd >= 0) {
    ::fsync(dirfd);
    ::close(dirfd);
  }
  return true;
}

std::optional<int> Preferences::getInt(const std::string& key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return parseInt(it->second).value_or(0);
}

void Preferences::setInt(const std::string& key, int value) {
  char number[16];
  auto [ptr, err] = std::to_chars(number, number + sizeof number, value);
  (void)err;
  entries_[key] = std::string(number, ptr);
}

bool Preferences::remove(const std::string& key) { return entries_.erase(key) > 0; }
