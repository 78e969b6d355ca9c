// A stand-in for a full disk in a test.
#ifndef SUSCEP_TESTS_FILE_SIZE_LIMIT_H_
#define SUSCEP_TESTS_FILE_SIZE_LIMIT_H_

#include <sys/resource.h>

#include <csignal>

namespace test_util {

// For its lifetime: files may grow to `bytes` only, and SIGXFSZ is ignored,
// so that a write beyond the limit fails as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  void (*old_handler_)(int);
  rlimit saved_{};
};

}  // namespace test_util

#endif  // SUSCEP_TESTS_FILE_SIZE_LIMIT_H_
