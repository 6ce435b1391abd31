#pragma once
// Opening the database's files for reading without blocking: a FIFO or device put in a
// database's place would otherwise hang open(), and the shell with it, for good.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vedalia {

inline constexpr int kNotRegularFile = -2;

// `name` opened read-only when it is a regular file, its status in `st`; -1 when it cannot be
// opened (errno says why), kNotRegularFile when it is anything else.
inline int OpenRegularFile(const char* name, struct stat& st) {
  const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNotRegularFile;
  }
  return fd;
}

}  // namespace vedalia
