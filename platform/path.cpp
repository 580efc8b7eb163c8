#include "platform/path.h"

#include <pwd.h>
#include <unistd.h>

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

std::string DeviceToHost(std::wstring_view path) {
    std::string host;
    if (StartsWithFolder(path, kStorageCardFolder)) {
        host = HomeFolder();
        path.remove_prefix(kStorageCardFolder.size());
        if (path.empty()) {
            return host;
        }
        if (host.size() > 1 && host.back() == '/') {
            host.pop_back();
        } else if (host == "/") {
            host.clear();
        }
    }
    std::wstring rest(path);
    for (wchar_t& c : rest) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return host + WideToUtf8(rest);
}

}  // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return home;
    }
    return AccountHome();
}

Path::Path(std::wstring_view text)
    : text_(text),
      host_(IsDevicePathText(text) ? DeviceToHost(text) : WideToUtf8(text)),
      device_(IsDevicePathText(text)) {}

Path Path::FromHost(std::string host) {
    Path path;
    path.text_ = Utf8ToWide(host);
    path.host_ = std::move(host);
    return path;
}

Path Path::operator/(std::wstring_view name) const {
    Path joined(*this);
    if (!text_.empty() && !(device_ ? IsDeviceSeparator(text_.back()) : text_.back() == L'/')) {
        joined.text_ += device_ ? L'\\' : L'/';
    }
    joined.text_ += name;
    if (!host_.empty() && host_.back() != '/') {
        joined.host_ += '/';
    }
    joined.host_ += WideToUtf8(name);
    return joined;
}

}  // namespace veltra::platform
