// While alive, no file of the process (nor of what it starts) may grow past
// the limit: a full disk without a mount. The signal such a write brings is
// ignored, so the write fails instead of ending the process.
#pragma once
#include <sys/resource.h>

#include <csignal>

namespace testing_support {

class FileSizeLimit {
 public:
  // No limit yet: Limit sets it, for a disk that fills up part-way.
  FileSizeLimit() : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) { getrlimit(RLIMIT_FSIZE, &saved_); }
  explicit FileSizeLimit(rlim_t bytes) : FileSizeLimit() { Limit(bytes); }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  void Limit(rlim_t bytes) {
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int);
};

}  // namespace testing_support
