#include "platform/resolved_path.h"

#include <cstdlib>
#include <memory>

#include "platform/device_path.h"
#include "platform/utf8.h"

namespace veltra::platform {

std::optional<std::wstring> ResolvedPath(std::wstring_view path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        realpath(ToHostPath(path).c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return Utf8ToWide(resolved.get());
}

bool LiesWithin(std::wstring_view resolved_path, std::wstring_view resolved_folder) {
    if (resolved_folder == L"/") {
        return !resolved_path.empty() && resolved_path.front() == L'/';
    }
    return resolved_path.starts_with(resolved_folder) &&
           (resolved_path.size() == resolved_folder.size() ||
            resolved_path[resolved_folder.size()] == L'/');
}

}  // namespace veltra::platform
