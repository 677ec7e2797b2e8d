#include "support/VornMain.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <unistd.h>

#include "support/MessageBox.h"
#include "support/Preferences.h"
#include "support/RegularFile.h"
#include "support/XdgDirs.h"

char VornMain::s_soundDataPath[VornMain::kPathSize] = {};
char VornMain::s_presetBankPath[VornMain::kPathSize] = {};

namespace {

constexpr const char* kProductFolder = "Vellamor";
constexpr const char* kBankComponent = "Sounds/Banks/Quillmark/";
constexpr const char* kDataFolderTail = "/Quillmark Data/Vellamor/";
constexpr size_t kShortPath = 260;

// Copies at most max characters of src and always terminates dst.
void copyCut(char* dst, const char* src, size_t max) {
  size_t n = strnlen(src, max);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// base + "/" + tail without doubling the slash when base is the root.
std::string joinPath(const std::string& base, const std::string& tail) {
  if (!base.empty() && base.back() == '/') return base + tail;
  return base + "/" + tail;
}

std::string userAudioDirectory() {
  std::string data = XdgDirs::dataHome();
  return data.empty() ? std::string() : joinPath(data, "Audio");
}

// The first audio folder holding <component>, the user's before the machine's.
std::string machineAudioDirectory(const std::string& component) {
  std::vector<std::string> candidates;
  std::string user = userAudioDirectory();
  if (!user.empty()) candidates.push_back(user);
  for (const std::string& dir : XdgDirs::dataDirs()) candidates.push_back(joinPath(dir, "Audio"));
  for (const std::string& audio : candidates) {
    std::error_code ec;
    if (std::filesystem::is_directory(joinPath(audio, component), ec)) return audio;
  }
  return candidates.front();
}

void showTooLong() { MessageBox(0, "VST DLL Path Too Long!", "Fatal Error!", 0); }

void showFolderError(const char* what, int code) {
  char text[128];
  std::snprintf(text, sizeof text, "%s%d", what, code);
  MessageBox(0, text, "error!", 0);
}

std::mutex& folderMutex() {
  static std::mutex m;
  return m;
}

std::mutex& preferencesMutex() {
  static std::mutex m;
  return m;
}

std::string skinFilePath() {
  const char* vst = VornMain::getVstPath();
  if (vst[0] == '\0') return {};
  return std::string(vst) + VornMain::kSkinFileName;
}

}  // namespace

VornMain::VornMain() = default;

VornMain::~VornMain() = default;

void VornMain::setSampleRate(float rate) {
  if (std::isfinite(rate) && rate > 0.0f) rate_.store(rate, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- folders

std::string getLibraryAudioDirectoryStr(bool user) {
  if (user) return userAudioDirectory();
  return machineAudioDirectory(std::string(kBankComponent) + kProductFolder);
}

std::string findSoundsDirectory(const char* name) {
  std::string component = std::string(kBankComponent) + (name ? name : "");
  return joinPath(machineAudioDirectory(component), component) + "/";
}

std::string userSoundsDirectory(const char* name) {
  std::string user = userAudioDirectory();
  if (user.empty()) return {};
  return joinPath(user, std::string(kBankComponent) + (name ? name : "")) + "/";
}

std::string createPresetsDirectory(const char* name) {
  std::string user = userAudioDirectory();
  if (user.empty()) {
    std::fprintf(stderr, "Error creating user presets directory: %s\n",
                 "no home folder is known");
    return {};
  }
  std::string folder = joinPath(user, std::string("Presets/") + (name ? name : "")) + "/";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    std::fprintf(stderr, "Error creating user presets directory: %s\n", ec.message().c_str());
  return folder;
}

std::string getSoundsDirectory(const char* name) {
  static std::string cached;
  std::lock_guard<std::mutex> lock(folderMutex());
  if (cached.empty()) cached = findSoundsDirectory(name);
  return cached;
}

std::string getPresetsDirectory(const char* name) {
  static std::string cached;
  std::lock_guard<std::mutex> lock(folderMutex());
  if (cached.empty()) cached = createPresetsDirectory(name);
  return cached;
}

void VornMain::setDataPaths(const char* name) {
  copyCut(s_soundDataPath, getSoundsDirectory(name).c_str(), kPathSize - 1);
  copyCut(s_presetBankPath, getPresetsDirectory(name).c_str(), kPathSize - 1);
}

bool VornMain::buildNameInUserDataPath(const char* name, char* out, unsigned long size) {
  if (!name || !out || s_presetBankPath[0] == '\0') return false;
  size_t folder = std::strlen(s_presetBankPath);
  size_t file = std::strlen(name);
  if (folder + file + 2 > size) return false;
  std::memcpy(out, s_presetBankPath, folder);
  out[folder] = '/';
  std::memcpy(out + folder + 1, name, file + 1);
  return true;
}

const char* VornMain::getVstPath() {
  static char buffer[kPathSize];
  buffer[0] = '\0';
  std::string base = XdgDirs::dataHome();
  if (base.empty()) {
    showFolderError("Error finding app support folder: err=", ENOENT);
    return buffer;
  }
  if (base == "/") base.clear();
  // A cut path would name some other folder: refuse it whole.
  if (base.size() + std::strlen(kDataFolderTail) > kPathSize - 1) {
    showFolderError("Error making path name for app support folder: err=", ENAMETOOLONG);
    return buffer;
  }
  std::memcpy(buffer, base.data(), base.size());
  std::strcpy(buffer + base.size(), kDataFolderTail);
  return buffer;
}

char* VornMain::makeRelativeVstPath(char* path) {
  static char copy[kShortPath];
  static char rest[kShortPath];
  if (!path) {
    std::strcpy(rest, " ");
    return rest;
  }
  copyCut(copy, path, kShortPath - 1);
  const char* vst = getVstPath();
  size_t vlen = std::strlen(vst);
  if (vlen > kShortPath - 2) {
    showTooLong();
    std::strcpy(rest, " ");
    return rest;
  }
  if (vlen == 0) return copy;  // no data folder known: nothing to strip
  const char* slash = std::strrchr(copy, '/');
  size_t dirLen = slash ? static_cast<size_t>(slash - copy) + 1 : 0;
  for (size_t i = 0; i < vlen; ++i) {
    if (i >= dirLen) {
      std::strcpy(rest, copy);
      return rest;
    }
    if (copy[i] != vst[i]) return copy;
  }
  std::strcpy(rest, copy + vlen);
  return rest;
}

char* VornMain::getRelativeVstPath(char* rel) {
  static char out[kPathSize];
  std::strcpy(out, " ");
  if (!rel) return out;
  const char* vst = getVstPath();
  size_t vlen = std::strlen(vst);
  if (vlen == 0) return out;  // getVstPath has told the user already
  size_t rlen = strnlen(rel, kPathSize - 1);
  if (vlen > 511 || vlen + rlen > kPathSize - 2) {
    showTooLong();
    return out;
  }
  std::memcpy(out, vst, vlen);
  out[vlen] = '/';
  std::memcpy(out + vlen + 1, rel, rlen);
  out[vlen + 1 + rlen] = '\0';
  return out;
}

// ---------------------------------------------------------------- skins

void VornMain::saveSelectedSkin(const char* name) {
  if (!name) return;
  char record[kSkinRecordSize] = {};
  copyCut(record, name, kSkinRecordSize - 1);
  std::string path = skinFilePath();
  if (path.empty()) return;
  FILE* f = std::fopen(path.c_str(), "w+b");
  if (!f) return;
  std::fwrite(record, 1, sizeof record, f);
  std::fclose(f);
}

const char* VornMain::getSelectedSkin() {
  static char result[kSkinRecordSize];
  std::memset(result, 0, sizeof result);
  std::string path = skinFilePath();
  int fd = -1;
  RegularFile::Open opened =
      path.empty() ? RegularFile::Open::kMissing : RegularFile::openDescriptor(path.c_str(), fd);
  if (opened == RegularFile::Open::kOk) {
    if (FILE* f = ::fdopen(fd, "rb")) {
      // The last byte stays 0 so that a full record is still a string.
      size_t n = std::fread(result, 1, sizeof result - 1, f);
      bool failed = std::ferror(f) != 0;
      std::fclose(f);
      if (!failed && n > 0 && result[0] != '\0') return result;
      std::memset(result, 0, sizeof result);
    } else {
      ::close(fd);
    }
  }
  // Something that is not a file (a FIFO, a device) is not written to either.
  if (opened != RegularFile::Open::kNotRegular) saveSelectedSkin("Default");
  std::strcpy(result, "Default");
  return result;
}

// ---------------------------------------------------------------- text

char* VornMain::getNoteName(int note) {
  static char buffer[32];
  static const char* const formats[12] = {"C  %d", "C# %d", "D  %d", "D# %d",
                                          "E  %d", "F  %d", "F# %d", "G  %d",
                                          "G# %d", "A  %d", "A# %d", "B  %d"};
  if (note < 0) note = 0;
  if (note > 127) note = 127;
  std::snprintf(buffer, sizeof buffer, formats[note % 12], note / 12);
  return buffer;
}

char* VornMain::toUpperCase(char* s) {
  if (!s) return s;
  for (char* p = s; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 'a' && c <= 'z') *p = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

char* VornMain::getPathOnly(char* path) {
  static char result[kShortPath];
  result[0] = '\0';
  if (!path) return result;
  toUpperCase(path);
  copyCut(result, path, kShortPath - 1);
  for (size_t i = std::strlen(result); i-- > 1;) {
    if (result[i] == '/') break;
    result[i] = '\0';
  }
  return result;
}

char* VornMain::getNchars(const char* buf, int start, int n) {
  static char result[1024];
  if (!buf || n > 1023 || n < 0 || start < 0) {
    std::strcpy(result, " ");
    return result;
  }
  std::memset(result, 0, sizeof result);
  // Never read past the end of the text, however large start and n are.
  if (strnlen(buf, static_cast<size_t>(start)) < static_cast<size_t>(start)) return result;
  const char* field = buf + start;
  size_t len = strnlen(field, static_cast<size_t>(n));
  size_t keep = len;
  while (keep > 0 && field[keep - 1] == ' ') --keep;
  if (keep == 0) keep = len;  // a field of blanks only stays as it is
  std::memcpy(result, field, keep);
  return result;
}

int VornMain::getBufferChartoInt(const char* buf, int start, int n) {
  if (!buf || n > 39 || n < 0 || start < 0) return 0;
  char work[40] = {};
  if (strnlen(buf, static_cast<size_t>(start)) < static_cast<size_t>(start)) return 0;
  copyCut(work, buf + start, static_cast<size_t>(n));
  // Decimal conversion as atoi does it in the C locale, but saturating.
  const char* p = work;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

void VornMain::showValue(float v) {
  // "%f" as in the C locale, whatever locale the host has set.
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text - 1, static_cast<double>(v),
                                 std::chars_format::fixed, 6);
  if (ec != std::errc()) end = text;
  *end = '\0';
  MessageBox(0, text, "Value!", 0);
}

// ---------------------------------------------------------------- preferences

int VornMain::readWindowsNumReg(const char* /*key*/, const char* valueName) {
  if (!valueName) return 0;
  std::lock_guard<std::mutex> lock(preferencesMutex());
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  return prefs.getInt(valueName).value_or(0);
}

bool VornMain::saveWindowsNumReg(const char* /*key*/, const char* valueName, int value) {
  if (!valueName || valueName[0] == '\0' || value == INT_MAX) return false;
  std::lock_guard<std::mutex> lock(preferencesMutex());
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  prefs.setInt(valueName, value + 1);
  return prefs.save();
}
