#pragma once
// Where a path really leads, for deciding whether a symbolic link stays inside a folder.

#include <optional>
#include <string>
#include <string_view>

namespace veltra::platform {

// The path (of either kind, see device_path.h) with every symbolic link, "." and ".." resolved:
// an absolute host path. Nothing when some part of it does not exist or cannot be read.
std::optional<std::wstring> ResolvedPath(std::wstring_view path);

// True when resolved_path is resolved_folder or lies below it; both come from ResolvedPath.
bool LiesWithin(std::wstring_view resolved_path, std::wstring_view resolved_folder);

}  // namespace veltra::platform
