#include "support/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// An XDG value counts only when set and absolute.
bool usable(const char* value) { return value && value[0] == '/'; }

std::string stripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string underHome(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (usable(value)) return stripTrailingSlashes(value);
  std::string h = XdgDirs::home();
  if (h.empty()) return {};
  if (h == "/") h.clear();
  return h + fallback;
}

}  // namespace

std::string XdgDirs::home() {
  const char* value = std::getenv("HOME");
  if (usable(value)) return stripTrailingSlashes(value);
  // getpwuid_r rather than getpwuid: the host may be using the static one.
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size < 1024) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      usable(found->pw_dir))
    return stripTrailingSlashes(found->pw_dir);
  return {};
}

std::string XdgDirs::dataHome() { return underHome("XDG_DATA_HOME", "/.local/share"); }

std::string XdgDirs::configHome() { return underHome("XDG_CONFIG_HOME", "/.config"); }

std::vector<std::string> XdgDirs::dataDirs() {
  std::vector<std::string> dirs;
  const char* value = std::getenv("XDG_DATA_DIRS");
  if (value) {
    std::string list(value);
    size_t begin = 0;
    while (begin <= list.size()) {
      size_t end = list.find(':', begin);
      if (end == std::string::npos) end = list.size();
      std::string entry = list.substr(begin, end - begin);
      if (usable(entry.c_str())) dirs.push_back(stripTrailingSlashes(entry));
      begin = end + 1;
    }
  }
  if (dirs.empty()) dirs = {"/usr/local/share", "/usr/share"};
  return dirs;
}
