#include "platform/folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <system_error>
#include <utility>

namespace veltra::platform {

Folder Folder::Open(const Path& path, LastLink link) {
    std::string host_path = path.Host();
    while (host_path.size() > 1 && host_path.back() == '/') {
        host_path.pop_back();  // "x/" would follow a link x
    }
    // Not O_PATH: with it a link would open as itself, and ENOTDIR could not tell it from a file.
    const int fd = open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC |
                                               (link == LastLink::kRefuse ? O_NOFOLLOW : 0));
    return Folder(fd, fd < 0 ? errno : 0, std::move(host_path));
}

Folder::Folder(int fd, int error, std::string host_path)
    : fd_(fd),
      error_(error),
      host_path_(std::move(host_path)),
      path_hash_(std::hash<std::string>{}(host_path_)) {}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::move(other.fd_)),
      error_(std::exchange(other.error_, EBADF)),
      host_path_(std::move(other.host_path_)),
      path_hash_(other.path_hash_) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        fd_ = std::move(other.fd_);
        error_ = std::exchange(other.error_, EBADF);
        host_path_ = std::move(other.host_path_);
        path_hash_ = other.path_hash_;
    }
    return *this;
}

Folder::~Folder() = default;

int Folder::Descriptor() const {
    if (!fd_.Valid()) {
        throw std::system_error(error_, std::generic_category(), "cannot open " + host_path_);
    }
    return fd_.Get();
}

}  // namespace veltra::platform
