// Small helpers shared by the test binaries: scratch folders, whole-file
// reads and writes, environment overrides, running the built tools and a
// hand-made MIDI file writer.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace testfiles {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A fresh folder below the system temp folder, removed with everything in it.
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "vellamor") {
    std::string pattern = (fs::temp_directory_path() / (tag + "-XXXXXX")).string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const fs::path& rel) const { return path_ / rel; }
  bool ok() const { return !path_.empty(); }

 private:
  fs::path path_;
};

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

template <class Container>
fs::path writeFile(const fs::path& path, const Container& data) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return path;
}

// Sets (or with nullptr unsets) one variable and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    set(value);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void set(const char* value) {
    if (value) setenv(name_.c_str(), value, 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The build folder: given by the environment, or the one this test binary is in.
inline fs::path buildDir() {
  if (const char* env = getenv("VELLAMOR_BUILD_DIR")) return env;
  return fs::canonical("/proc/self/exe").parent_path().parent_path();
}

struct CommandResult {
  int status;  // exit status, -1 when it did not exit normally
  std::string output;  // standard output and error together
};

inline CommandResult runCommand(const std::string& command) {
  CommandResult r{-1, ""};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

// --- MIDI file bytes, written by hand ---------------------------------------

inline Bytes vlq(std::uint32_t value) {
  Bytes out{static_cast<std::uint8_t>(value & 0x7f)};
  while (value >>= 7) out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7f)));
  return out;
}

inline Bytes be(std::uint32_t value, int bytes) {
  Bytes out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes chunk(const char* id, const Bytes& body) {
  return cat({Bytes(id, id + 4), be(static_cast<std::uint32_t>(body.size()), 4), body});
}

inline Bytes midiHeader(int format, int tracks, std::uint16_t division) {
  return chunk("MThd", cat({be(format, 2), be(tracks, 2), be(division, 2)}));
}

// One event: delta time, then the bytes as they go in the file.
inline Bytes ev(std::uint32_t delta, Bytes bytes) { return cat({vlq(delta), bytes}); }
inline Bytes tempo(std::uint32_t delta, std::uint32_t micros) {
  return ev(delta, cat({{0xff, 0x51, 0x03}, be(micros, 3)}));
}
inline Bytes endOfTrack(std::uint32_t delta = 0) { return ev(delta, {0xff, 0x2f, 0x00}); }
inline Bytes track(std::initializer_list<Bytes> events) { return chunk("MTrk", cat(events)); }

}  // namespace testfiles
