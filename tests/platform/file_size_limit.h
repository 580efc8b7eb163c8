#pragma once
// Keeps the files of the whole test process from growing beyond a size for as long as it lives, as
// a disk that fails in the middle of a file: a write past it fails with EFBIG (the signal it would
// raise is ignored meanwhile).

#include <sys/resource.h>

#include <csignal>

namespace veltra::testing {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before_);
        const rlimit limited{bytes, before_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        signal_before_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, signal_before_);
    }

  private:
    rlimit before_{};
    void (*signal_before_)(int) = nullptr;
};

}  // namespace veltra::testing
