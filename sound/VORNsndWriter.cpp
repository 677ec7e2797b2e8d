#include "sound/VORNsndWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sound/VORNsnd.h"

namespace {

void put32(std::vector<unsigned char>& out, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(u >> (8 * k)));
}

void putFloat(std::vector<unsigned char>& out, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  put32(out, static_cast<int32_t>(u));
}

}  // namespace

std::string VORNsndWriter::checkWave(const Wave& w) {
  const int64_t n = static_cast<int64_t>(w.samples.size());
  if (n < 1) return "wave has no samples";
  if (n > INT32_MAX / 4) return "wave is too long";
  if (w.rootKey < 0 || w.rootKey > 127) return "root key must lie in 0..127";
  for (float v : w.samples)
    if (!std::isfinite(v)) return "wave holds a sample that is not a finite number";
  const bool looped = w.loopStart >= 0 && w.loopEnd != 0;
  if (looped) {
    if (n < 2) return "a looped wave needs at least 2 samples";
    if (w.loopStart >= n) return "loop start lies beyond the wave";
    if (w.loopEnd > n) return "loop end lies beyond the wave";
    if (w.loopEnd > 0 && w.loopStart > w.loopEnd) return "loop start lies after loop end";
  }
  return "";
}

bool VORNsndWriter::write(const std::string& path, const std::string& header,
                          const std::vector<Wave>& waves, const unsigned char* picture,
                          std::string* error) {
  auto failWith = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (waves.empty() || static_cast<int64_t>(waves.size()) > Wavetable_Main::kMaxWaves)
    return failWith("a sound holds 1 to 4024 waves");
  for (size_t i = 0; i < waves.size(); ++i) {
    std::string problem = checkWave(waves[i]);
    if (!problem.empty()) return failWith("wave " + std::to_string(i + 1) + ": " + problem);
  }

  std::vector<unsigned char> out(VORNsnd::kHeaderSize, 0);
  std::memcpy(out.data(), header.data(), std::min<size_t>(header.size(), VORNsnd::kHeaderSize - 1));
  put32(out, static_cast<int32_t>(waves.size()));
  for (const Wave& w : waves) {
    out.insert(out.end(), {'c', 'h', 'n', 'k'});
    put32(out, static_cast<int32_t>(w.samples.size()));
    put32(out, w.lowVelocity);
    put32(out, w.highVelocity);
    put32(out, w.lowKey);
    put32(out, w.highKey);
    put32(out, w.loopStart);
    put32(out, w.loopEnd);
    put32(out, w.rootKey);
    put32(out, 0);
    put32(out, 0);
    for (float v : w.samples) putFloat(out, v);
  }
  if (picture) {
    put32(out, 1);
    for (int r = 0; r < VORNsnd::kPictureRows; ++r)
      for (int c = VORNsnd::kPictureColumns - 1; c >= 0; --c) {
        const unsigned char* px = picture + (r * VORNsnd::kPictureColumns + c) * 3;
        out.insert(out.end(), px, px + 3);
      }
  }

  // Written beside its place and renamed over it, so the file is either the
  // old one or the whole new one, never half written.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = path + ".part" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return failWith("cannot create " + path + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int writeError = done == out.size() ? 0 : errno;
  const bool closed = close(fd) == 0;
  if (done != out.size() || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int code = writeError ? writeError : errno;
    unlink(temporary.c_str());
    return failWith("cannot write " + path + ": " + std::strerror(code ? code : EIO));
  }
  return true;
}
