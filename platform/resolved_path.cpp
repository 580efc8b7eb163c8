#include "platform/resolved_path.h"

#include <cstdlib>
#include <memory>

namespace veltra::platform {

std::optional<Path> ResolvedPath(const Path& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        realpath(path.Host().c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return Path::FromHost(resolved.get());
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
