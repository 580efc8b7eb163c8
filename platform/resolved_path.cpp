#include "platform/resolved_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace veltra::platform {

namespace {

// The system names an open file in at most a page, and no page is larger than this.
constexpr std::size_t kLongestResolvedPath = 64 * 1024;

std::optional<Path> ResolvedDescriptor(int fd) {
    // A removed file keeps its old name with a mark appended, which names nothing.
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_nlink == 0) {
        return std::nullopt;
    }
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = readlink(link.c_str(), target.data(), target.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        if (target.size() >= kLongestResolvedPath) {
            return std::nullopt;
        }
        target.resize(target.size() * 2);
    }
    // Anything not in the file tree (a pipe, a socket) is named otherwise.
    if (target.empty() || target.front() != '/') {
        return std::nullopt;
    }
    return Path::FromHost(std::move(target));
}

}  // namespace

std::optional<Path> ResolvedPath(const File& file) {
    return ResolvedDescriptor(file.Descriptor());
}

std::optional<Path> ResolvedPath(const DirectorySearch& folder) {
    return ResolvedDescriptor(folder.Descriptor());
}

bool LiesWithin(const Path& resolved_path, const Path& resolved_folder) {
    const std::string& path = resolved_path.Host();
    const std::string& folder = resolved_folder.Host();
    if (folder == "/") {
        return !path.empty() && path.front() == '/';
    }
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace veltra::platform
