#pragma once

#include <string>
#include <string_view>

namespace veltra::platform {

// Paths come in two kinds.
//
// A device path begins with a backslash. Both '\' and '/' separate its components, since received
// trees mix them ("<folder>album\" then "album\disc1/"). Its first component "Storage Card"
// (matched without regard to ASCII case) stands for the user's home folder, so
// "\Storage Card\Received\a.txt" is "$HOME/Received/a.txt". Any other device path is taken
// literally from the root: "\Windows\x" is "/Windows/x". Nothing else is rewritten: no "." or ".."
// handling, no merging of repeated separators.
//
// Any other path is a host path (what a file chooser hands back) and is used as it is; a backslash
// in it is an ordinary character of a name.
inline constexpr std::wstring_view kStorageCardFolder = L"\\Storage Card";

// The host path that "\Storage Card" stands for: $HOME when set and not empty, else the account's
// home from the password database, else "/". Read on every call, so a changed $HOME is seen.
std::string HomeFolder();

// The host path (UTF-8, see utf8.h) for a path of either kind.
std::string ToHostPath(std::wstring_view path);

// `folder` and `name` joined by one separator: none when `folder` is empty or already ends in '\'
// or '/', '\' inside a device path, and '/' inside a host path.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

}  // namespace veltra::platform
