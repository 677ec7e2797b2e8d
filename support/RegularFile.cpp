#include "support/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

RegularFile::Open RegularFile::openDescriptor(const char* path, int& fd) {
  fd = -1;
  struct stat st {};
  if (!path || ::stat(path, &st) != 0) return Open::kMissing;
  // Opening a device can have effects of its own: it is never opened.
  if (!S_ISREG(st.st_mode)) return Open::kNotRegular;
  int d;
  do {
    d = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (d < 0 && errno == EINTR);
  if (d < 0) return Open::kMissing;
  if (::fstat(d, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(d);
    return Open::kNotRegular;
  }
  // Plain files never block; the flag goes so that reads behave as usual.
  const int flags = ::fcntl(d, F_GETFL);
  if (flags >= 0) ::fcntl(d, F_SETFL, flags & ~O_NONBLOCK);
  fd = d;
  return Open::kOk;
}

std::FILE* RegularFile::openStream(const char* path) {
  int fd = -1;
  if (openDescriptor(path, fd) != Open::kOk) return nullptr;
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
}
