#pragma once
// A path of one of two kinds, converted to the host's form once, when it is made.
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

#include <string>
#include <string_view>

namespace veltra::platform {

inline constexpr std::wstring_view kStorageCardFolder = L"\\Storage Card";

// The host path that "\Storage Card" stands for: $HOME when set and not empty, else the account's
// home from the password database, else "/". Read on every call, so a changed $HOME is seen.
std::string HomeFolder();

class Path {
  public:
    // The empty host path.
    Path() = default;
    // A path of either kind, as the user, the settings or a peer gave it. "\Storage Card" is
    // mapped here, to the home folder of this moment.
    explicit Path(std::wstring_view text);
    // A host path in the host's own bytes (what the file system hands back).
    static Path FromHost(std::string host);

    bool IsDevicePath() const { return device_; }
    // The text it was made from, with the names joined to it: for messages and the wire.
    const std::wstring& Text() const { return text_; }
    // The host path (UTF-8, see utf8.h), for the operating system.
    const std::string& Host() const { return host_; }

    // The entry name inside this folder. A name is one component, never split: a '\' in a name
    // that a host folder listed stays a plain character of it. One separator goes between, none
    // when the path is empty or ends in one already: '\' in a device path's text, '/' in a host
    // path's text and in every host form.
    Path operator/(std::wstring_view name) const;

  private:
    std::wstring text_;
    std::string host_;
    bool device_ = false;
};

}  // namespace veltra::platform
