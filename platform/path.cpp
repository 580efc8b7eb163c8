#include "platform/path.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

bool IsDeviceSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c;
}

// True when `path` starts with the component `folder` (a whole component, not a prefix of one).
bool StartsWithFolder(std::wstring_view path, std::wstring_view folder) {
    if (path.size() < folder.size()) {
        return false;
    }
    for (size_t i = 0; i < folder.size(); ++i) {
        if (AsciiLower(path[i]) != AsciiLower(folder[i])) {
            return false;
        }
    }
    return path.size() == folder.size() || IsDeviceSeparator(path[folder.size()]);
}

std::string AccountHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && *result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

bool IsDevicePathText(std::wstring_view text) {
    return !text.empty() && text.front() == L'\\';
}

}  // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return home;
    }
    return AccountHome();
}

Path::Path(std::wstring_view text) : Path(text, IsDevicePathText(text)) {}

Path::Path(std::wstring_view text, bool device) : text_(text), device_(device) {
    const auto is_separator = [device](wchar_t c) {
        return device ? IsDeviceSeparator(c) : c == L'/';
    };
    std::size_t next = 0;  // the first character whose host form is still to come
    if (device && StartsWithFolder(text, kStorageCardFolder)) {
        host_ = HomeFolder();
        next = kStorageCardFolder.size();
        if (next < text.size()) {
            // The rest brings a separator of its own.
            if (host_.size() > 1 && host_.back() == '/') {
                host_.pop_back();
            } else if (host_ == "/") {
                host_.clear();
            }
        }
        // At the root, the home folder's host form is the rest's first separator.
        parts_.push_back(Part{1, next, std::max<std::size_t>(host_.size(), 1)});
    }
    while (next < text.size()) {
        if (is_separator(text[next])) {
            host_ += '/';
            ++next;
            continue;
        }
        const std::size_t begin = next;
        while (next < text.size() && !is_separator(text[next])) {
            ++next;
        }
        host_ += WideToUtf8(text.substr(begin, next - begin));
        parts_.push_back(Part{begin, next, host_.size()});
    }
}

Path Path::FromHost(std::string host) {
    Path path(Utf8ToWide(host), false);
    path.host_ = std::move(host);  // the same bytes: the wide text maps back to them
    return path;
}

Path Path::operator/(std::wstring_view name) const {
    Path joined(*this);
    if (!text_.empty() && !(device_ ? IsDeviceSeparator(text_.back()) : text_.back() == L'/')) {
        joined.text_ += device_ ? L'\\' : L'/';
    }
    const std::size_t begin = joined.text_.size();
    joined.text_ += name;
    if (!host_.empty() && host_.back() != '/') {
        joined.host_ += '/';
    }
    joined.host_ += WideToUtf8(name);
    if (!name.empty()) {
        joined.parts_.push_back(Part{begin, joined.text_.size(), joined.host_.size()});
    }
    return joined;
}

std::wstring Path::FileName() const {
    if (parts_.empty()) {
        return {};
    }
    const Part& last = parts_.back();
    return text_.substr(last.text_begin, last.text_end - last.text_begin);
}

Path Path::Parent() const {
    if (parts_.empty()) {
        return Path();
    }
    if (parts_.size() == 1) {
        if (device_) {
            return Path(L"\\");
        }
        return FromHost(text_.front() == L'/' ? "/" : "");
    }
    Path parent;
    parent.device_ = device_;
    parent.parts_.assign(parts_.begin(), parts_.end() - 1);
    parent.text_ = text_.substr(0, parent.parts_.back().text_end);
    parent.host_ = host_.substr(0, parent.parts_.back().host_end);
    return parent;
}

std::wstring Path::Extension() const {
    const std::wstring name = FileName();
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0 || name == L"..") {
        return {};
    }
    return name.substr(dot);
}

std::wstring Path::Stem() const {
    const std::wstring name = FileName();
    return name.substr(0, name.size() - Extension().size());
}

}  // namespace veltra::platform
