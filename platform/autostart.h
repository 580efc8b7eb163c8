#pragma once
// Starting the dialogs when the user logs in: the desktop's autostart entry of this program, an
// XDG desktop file that starts it hidden in the tray. Whether it is on is whether the file is
// there, so a user who removes it by hand has switched it off.

#include <optional>
#include <string>

#include "platform/path.h"

namespace veltra::platform {

// What the entry holds: the program is found on the PATH, as the menu's entry finds it.
extern const char kAutostartEntryText[];

// $XDG_CONFIG_HOME/autostart/veltra.desktop when that variable holds an absolute path, else
// $HOME/.config/autostart/veltra.desktop; nothing without a home (see HomeFolder). Read on every
// call, so a changed environment is seen.
std::optional<Path> AutostartEntryPath();

bool AutostartEnabled();

// Writes the entry (the folders missing on the way are made) under a temporary name first and
// then gives it its name, so that a session starting meanwhile reads the old state or the new,
// never half an entry. Throws std::system_error with the errno, naming the step and the file.
void EnableAutostart();
// Removes the entry; nothing to do when it is not there. Throws std::system_error as above.
void DisableAutostart();

}  // namespace veltra::platform
