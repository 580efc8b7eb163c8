#pragma once
// A file the program keeps for the user alone in the user's data folder (the history database):
// made open to its owner only, and moved aside whole when it cannot be used any more.

#include <string>

#include "platform/path.h"

namespace veltra::platform {

// Makes file, empty, when it does not exist, and leaves it readable and writable by its owner
// alone (0600) either way; a symbolic link in its place is refused. Throws std::system_error
// with the errno ("cannot make FILE private: ...").
void MakePrivateFile(const Path& file);

// Renames from to to, replacing to. False when from does not exist; throws std::system_error
// with the errno for any other failure ("cannot move FROM to TO: ...").
bool MoveFile(const Path& from, const Path& to);

// Removes file; a file that is not there is no error.
void RemoveFileIfPresent(const Path& file);

// The local date and time as "YYYYMMDD-HHMMSS", for the name of a file put aside.
std::string LocalTimeStamp();

}  // namespace veltra::platform
