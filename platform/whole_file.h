#pragma once
// Small files read and written whole: the user's settings file. A file written so is replaced in
// one step, never seen half written, even when the program dies while writing it.

#include <optional>
#include <string>
#include <string_view>

#include "platform/path.h"

namespace veltra::platform {

// The bytes of the file at path; nothing when there is no such file. Throws std::system_error
// with the errno, naming the file, when it exists and cannot be read.
std::optional<std::string> ReadWholeFile(const Path& path);

// Writes bytes to a new file beside path, open to the user alone (0600), flushes it to the disk
// and renames it over path. Throws std::system_error with the errno, naming the step and the
// file; the new file is removed then and path is left as it was.
void ReplaceWholeFile(const Path& path, std::string_view bytes);

}  // namespace veltra::platform
