#include "plugin/BankFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/RegularFile.h"

BankFile::Read BankFile::readExact(const std::string& path, std::size_t expectedSize,
                                   std::vector<std::uint8_t>& bytes) {
  // A FIFO or device has no size to check; it is refused without waiting on it.
  int fd = -1;
  switch (RegularFile::openDescriptor(path.c_str(), fd)) {
    case RegularFile::Open::kMissing:
      return Read::kMissing;
    case RegularFile::Open::kNotRegular:
      return Read::kSizeUnknown;
    case RegularFile::Open::kOk:
      break;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return Read::kSizeUnknown;
  }
  if (static_cast<std::size_t>(st.st_size) != expectedSize) {
    ::close(fd);
    return Read::kWrongSize;
  }
  bytes.assign(expectedSize, 0);
  std::size_t done = 0;
  while (done < expectedSize) {
    ssize_t n = ::read(fd, bytes.data() + done, expectedSize - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  // A file that shrank while we read it is not the bank it claimed to be.
  return done == expectedSize ? Read::kOk : Read::kWrongSize;
}

bool BankFile::writeAtomically(const std::string& path, const void* data, std::size_t size) {
  std::string temp = path + ".tmpXXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < size) {
    ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  ok = ok && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}
