#pragma once
// Where a received name lands: the folder chosen for it, the folders made on the way, and the
// rule that keeps a name from reaching outside the folder it is received into.

#include <optional>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "platform/path.h"

namespace veltra {

// The folder for a received file of this name: the received folder while everything is collected
// there, else the folder of the first extension list (music, photo, video, ebook) holding the
// name's extension (see Path::Extension), or the whole name when it has none.
const platform::Path& FolderForName(const Settings& settings, std::wstring_view name);

// True when path names an existing folder.
bool IsFolder(const platform::Path& path);

// Makes sure the folder and every folder above it exist (the parts of the path, by its kind's
// separators). Prints a trace line on standard error for each folder it creates on the way. True
// when the folder exists at the end.
bool CreateFolderPath(const platform::Path& path);

// The name (code page 936) as one path component, or nothing when it must be refused. The sender
// chooses names, so '/' and '\' inside one become '_' and a name that is empty, "." or "..", or
// holds a NUL, is refused: nothing received can be placed outside the folder it is meant for.
// Other control characters (C0 and DEL) become '_' as well, and a name too long for the host is
// shortened (see NameVariant).
std::optional<std::wstring> ConfinedName(std::string_view name);

// The name with " (number)" before its extension when number is above 1: "a.txt", 2 gives
// "a (2).txt". The extension is the name's (see Path::Extension) when that is short; the text
// before it is cut on a character boundary where needed, so that the whole fits the host's limit
// for one name.
std::wstring NameVariant(std::wstring_view name, unsigned number);

}  // namespace veltra
