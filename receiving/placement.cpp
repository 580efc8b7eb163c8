#include "receiving/placement.h"

#include "common/text.h"
#include "platform/debug_log.h"
#include "platform/file.h"
#include "platform/utf8.h"

namespace veltra {

namespace {

std::wstring AsciiLower(std::wstring_view text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return lower;
}

// Whole items only: "mp" is not in "mp3;lrc".
bool ListHolds(std::wstring_view list, std::wstring_view extension) {
    const std::wstring items = L";" + std::wstring(list) + L";";
    const std::wstring item = L";" + std::wstring(extension) + L";";
    return items.find(item) != std::wstring::npos;
}

// An extension longer than this is no extension worth keeping whole: it is cut like the rest.
constexpr std::size_t kMaxKeptExtensionBytes = 16;

std::size_t Utf8Bytes(std::wstring_view text) {
    return platform::WideToUtf8(text).size();
}

// Where the extension (the last '.' and what follows) begins, or the name's end when it has
// none worth keeping. A leading '.' begins a hidden name, not an extension.
std::size_t ExtensionStart(std::wstring_view name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 ||
        Utf8Bytes(name.substr(dot)) > kMaxKeptExtensionBytes) {
        return name.size();
    }
    return dot;
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

std::wstring_view WithoutTrailingBackslash(std::wstring_view path) {
    if (!path.empty() && path.back() == L'\\') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

std::wstring FolderForName(const Settings& settings, std::wstring_view name) {
    if (settings.collect_all) {
        return settings.received_folder;
    }
    const size_t dot = name.rfind(L'.');
    const std::wstring extension =
        AsciiLower(dot == std::wstring_view::npos ? name : name.substr(dot + 1));
    if (ListHolds(settings.music_extensions, extension)) {
        return settings.music_folder;
    }
    if (ListHolds(settings.photo_extensions, extension)) {
        return settings.photo_folder;
    }
    if (ListHolds(settings.video_extensions, extension)) {
        return settings.video_folder;
    }
    if (ListHolds(settings.ebook_extensions, extension)) {
        return settings.ebook_folder;
    }
    return settings.received_folder;
}

bool IsFolder(const platform::Path& path) {
    const std::optional<platform::FileInfo> info = platform::QueryPath(path);
    return info && (info->attributes & platform::kAttributeDirectory) != 0;
}

bool CreateFolderPath(const platform::Path& path) {
    const std::wstring_view copy = WithoutTrailingBackslash(path.Text());
    bool created_one = false;
    // The first separator stands at the root and names no folder of its own.
    size_t separator = copy.find(L'\\');
    if (separator != std::wstring_view::npos) {
        separator = copy.find(L'\\', separator + 1);
    }
    for (; separator != std::wstring_view::npos; separator = copy.find(L'\\', separator + 1)) {
        const platform::Path prefix(copy.substr(0, separator));
        // Below a folder just made nothing can exist yet, so asking again would be wasted.
        if (!created_one && IsFolder(prefix)) {
            continue;
        }
        if (!platform::CreateFolder(prefix)) {
            return false;
        }
        created_one = true;
        platform::DebugLog(L"已成功创建目录:" + prefix.Text());
    }
    if (IsFolder(path)) {
        return true;
    }
    return platform::CreateFolder(path);
}

std::optional<std::wstring> ConfinedName(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    // Separators are replaced in wide text: in code page 936 the byte of '\' can also be the
    // second byte of a two-byte character.
    std::wstring wide = AnsiToWide(name);
    for (wchar_t& c : wide) {
        if (c == L'/' || c == L'\\' || IsControl(c)) {
            c = L'_';
        }
    }
    if (wide.empty() || wide == L"." || wide == L"..") {
        return std::nullopt;
    }
    // Shortening keeps well over 200 bytes, so it cannot make "." or ".." of a longer name.
    return NameVariant(wide, 1);
}

std::wstring NameVariant(std::wstring_view name, unsigned number) {
    const std::size_t extension = ExtensionStart(name);
    std::wstring tail = number > 1 ? L" (" + std::to_wstring(number) + L")" : std::wstring();
    tail.append(name.substr(extension));
    std::wstring_view stem = name.substr(0, extension);
    const std::size_t tail_bytes = Utf8Bytes(tail);
    if (Utf8Bytes(stem) + tail_bytes > platform::kMaxHostNameBytes) {
        std::size_t used = tail_bytes;
        std::size_t kept = 0;
        for (; kept < stem.size(); ++kept) {
            const std::size_t bytes = Utf8Bytes(stem.substr(kept, 1));
            if (used + bytes > platform::kMaxHostNameBytes) {
                break;
            }
            used += bytes;
        }
        stem = stem.substr(0, kept);
    }
    return std::wstring(stem) + tail;
}

}  // namespace veltra
