#pragma once
// Where an open file really lies, for deciding whether a symbolic link stays inside a folder.

#include <optional>

#include "platform/file.h"
#include "platform/path.h"

namespace veltra::platform {

// Where a file or folder held open lies now, as the system names it: an absolute host path with
// every symbolic link resolved. It is judged on what was opened, never on a path walked again, so
// no link swapped in between can change what is read after the judging. Nothing when the system
// cannot tell, or the file has been removed since.
std::optional<Path> ResolvedPath(const File& file);
std::optional<Path> ResolvedPath(const DirectorySearch& folder);

// True when resolved_path is resolved_folder or lies below it; both come from ResolvedPath.
bool LiesWithin(const Path& resolved_path, const Path& resolved_folder);

}  // namespace veltra::platform
