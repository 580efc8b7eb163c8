#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "platform/owned_descriptor.h"

namespace veltra::platform {

void MakePrivateFile(const Path& file) {
    const OwnedDescriptor fd(
        open(file.Host().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    // An older file, or one made under another umask, may be open to others: it holds what peers
    // wrote.
    if (!fd.Valid() || fchmod(fd.Get(), 0600) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot make " + file.Host() + " private");
    }
}

bool MoveFile(const Path& from, const Path& to) {
    if (rename(from.Host().c_str(), to.Host().c_str()) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    throw std::system_error(errno, std::generic_category(),
                            "cannot move " + from.Host() + " to " + to.Host());
}

void RemoveFileIfPresent(const Path& file) {
    unlink(file.Host().c_str());
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return std::string(text, length);
}

}  // namespace veltra::platform
