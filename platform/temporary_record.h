#pragma once
// The hidden temporary files of ours that have a name while they exist (".veltra-" and 16
// lowercase hex digits): a received file where its folder's file system cannot hold a file without
// a name, or a whole file for the moment before it takes an existing file's place. While one
// exists, its folder and name are listed in a record in the user's data folder ("temporaries",
// 0600, rewritten by renaming a new one into place), so that the ones a crash leaves behind can be
// removed at the next start; what the record lists when a process first writes to it stays listed
// until that clean-up. Safe to call from any thread.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/folder.h"

namespace veltra::platform {

// A fresh name of the pattern, unlikely to be taken.
std::string NewTemporaryName();
// True for names of the pattern, and for nothing else.
bool IsTemporaryName(std::string_view name);

// Lists name (host bytes) in folder in the record, before the file is made. A record that cannot
// be written loses only the clean-up after a crash, so it is not an error.
void RememberTemporary(const Folder& folder, const std::string& name);
// Takes name off the list, once the file has gone or taken its final name.
void ForgetTemporary(const Folder& folder, const std::string& name);

// Removes the files that the record lists, as a crash left them, and empties the record; a name
// not of the pattern, or one that this process still uses, is left alone. For the start of the one
// instance of this user (no other may be writing temporaries at the time). Returns how many files
// were removed.
std::size_t RemoveLeftoverTemporaries();

}  // namespace veltra::platform
