#include "platform/folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/utf8.h"

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

Folder::Folder(Folder&& other) noexcept
    : fd_(std::move(other.fd_)),
      error_(std::exchange(other.error_, EBADF)),
      host_path_(std::move(other.host_path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        fd_ = std::move(other.fd_);
        error_ = std::exchange(other.error_, EBADF);
        host_path_ = std::move(other.host_path_);
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

void Folder::Rename(std::wstring_view from, std::wstring_view to) const {
    const std::string from_name = WideToUtf8(from);
    const std::string to_name = WideToUtf8(to);
    if (renameat(Descriptor(), from_name.c_str(), fd_.Get(), to_name.c_str()) != 0) {
        throw std::system_error(
            errno, std::generic_category(),
            "cannot rename " + from_name + " to " + to_name + " in " + host_path_);
    }
}

bool Folder::Remove(std::wstring_view name) const {
    return fd_.Valid() && unlinkat(fd_.Get(), WideToUtf8(name).c_str(), 0) == 0;
}

}  // namespace veltra::platform
