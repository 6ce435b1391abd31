#pragma once
#include <sys/resource.h>

#include <csignal>

namespace vedalia::test {

// Writes past `bytes` in any file fail (EFBIG) while this lives: a disk that fills up
// whatever the machine lets a test mount.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
  }

 private:
  rlimit previous{};
  void (*previousHandler)(int) = nullptr;
};

}  // namespace vedalia::test
