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

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

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

    // The parts are the names between the separators of the path's kind, in order. The root and
    // empty names (repeated or trailing separators) are none, so "x\" names x; "\Storage Card"
    // is one part, and so is every name joined with '/'. Iterating gives each part's text.
    class PartIterator;
    PartIterator begin() const;
    PartIterator end() const;

    // The last part ("" when there is none): "a.txt" of "\Storage Card\a.txt" and of
    // "/tmp/a.txt", "b\c" of the host path "/a/b\c".
    std::wstring FileName() const;
    // The path without its last part, its text and host form cut where that part began: the
    // parent of "\Storage Card\Received\" is "\Storage Card", which still stands for the home
    // folder it stood for here. The parent of a single part is the root ("\" or "/"), or the
    // empty path for a relative one; a path without parts has none, and gives the empty path.
    Path Parent() const;
    // The file name's last '.' and what follows it: ".txt" of "a.tar.txt", "." of "a.". A name
    // whose last '.' is its first character has none (".profile" is a hidden name), nor have "."
    // and "..". Stem() + Extension() is always FileName().
    std::wstring Extension() const;
    std::wstring Stem() const;

    // Equal when made alike: the same kind, text and host form. Nothing is normalised, so "a/"
    // is not "a", nor "\Storage Card\x" the host path it stands for.
    bool operator==(const Path& other) const = default;

  private:
    // Where a part lies in the text, and where the host form of the path up to it ends.
    struct Part {
        std::size_t text_begin = 0;
        std::size_t text_end = 0;
        std::size_t host_end = 0;
        bool operator==(const Part& other) const = default;
    };
    Path(std::wstring_view text, bool device);

    std::wstring text_;
    std::string host_;
    bool device_ = false;
    std::vector<Part> parts_;
};

class Path::PartIterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::wstring_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::wstring_view;

    PartIterator() = default;
    std::wstring_view operator*() const {
        return std::wstring_view(*text_).substr(part_->text_begin,
                                                part_->text_end - part_->text_begin);
    }
    PartIterator& operator++() {
        ++part_;
        return *this;
    }
    PartIterator operator++(int) {
        PartIterator before = *this;
        ++part_;
        return before;
    }
    bool operator==(const PartIterator& other) const { return part_ == other.part_; }

  private:
    friend class Path;
    PartIterator(const std::wstring* text, std::vector<Part>::const_iterator part)
        : text_(text), part_(part) {}

    const std::wstring* text_ = nullptr;
    std::vector<Part>::const_iterator part_;
};

inline Path::PartIterator Path::begin() const {
    return PartIterator(&text_, parts_.begin());
}

inline Path::PartIterator Path::end() const {
    return PartIterator(&text_, parts_.end());
}

}  // namespace veltra::platform
