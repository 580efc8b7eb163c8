#pragma once
// Where a path really leads, for deciding whether a symbolic link stays inside a folder.

#include <optional>

#include "platform/path.h"

namespace veltra::platform {

// The path with every symbolic link, "." and ".." resolved: an absolute host path. Nothing when
// some part of it does not exist or cannot be read.
std::optional<Path> ResolvedPath(const Path& path);

// True when resolved_path is resolved_folder or lies below it; both come from ResolvedPath.
bool LiesWithin(const Path& resolved_path, const Path& resolved_folder);

}  // namespace veltra::platform
