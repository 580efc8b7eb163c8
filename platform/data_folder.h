#pragma once
// Where the program keeps what it writes for itself (not what the user receives): the user's data
// folder, in the host's usual place for per-user program data.

#include <optional>

#include "platform/path.h"

namespace veltra::platform {

// Whether a data folder that does not exist yet is made.
enum class MissingFolder { kMake, kLeave };

// $XDG_DATA_HOME/veltra when that variable holds an absolute path, else $HOME/.local/share/veltra
// (see HomeFolder). With kMake, folders missing on the way are made, open to the user alone
// (0700); nothing when that fails. With kLeave, the path whether it exists or not: reading needs
// no folder made. Read on every call, so a changed environment is seen.
std::optional<Path> UserDataFolder(MissingFolder missing);

// Where the user's settings file lives: $XDG_CONFIG_HOME/veltra when that variable holds an
// absolute path, else $HOME/.config/veltra; made or left as UserDataFolder does.
std::optional<Path> UserConfigFolder(MissingFolder missing);

}  // namespace veltra::platform
