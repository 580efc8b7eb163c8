#include "receiving/placement.h"

#include <cstdio>

#include "common/text.h"
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

bool IsFolder(std::wstring_view path) {
    const std::optional<platform::FileInfo> info =
        platform::QueryPath(WithoutTrailingBackslash(path));
    return info && (info->attributes & platform::kAttributeDirectory) != 0;
}

bool CreateFolderPath(std::wstring_view path) {
    const std::wstring_view copy = WithoutTrailingBackslash(path);
    bool created_one = false;
    // The first separator stands at the root and names no folder of its own.
    size_t separator = copy.find(L'\\');
    if (separator != std::wstring_view::npos) {
        separator = copy.find(L'\\', separator + 1);
    }
    for (; separator != std::wstring_view::npos; separator = copy.find(L'\\', separator + 1)) {
        const std::wstring_view prefix = copy.substr(0, separator);
        // Below a folder just made nothing can exist yet, so asking again would be wasted.
        if (!created_one && IsFolder(prefix)) {
            continue;
        }
        if (!platform::CreateFolder(prefix)) {
            return false;
        }
        created_one = true;
        std::fprintf(stderr, "已成功创建目录:%s\n", platform::WideToUtf8(prefix).c_str());
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
        if (c == L'/' || c == L'\\') {
            c = L'_';
        }
    }
    if (wide.empty() || wide == L"." || wide == L"..") {
        return std::nullopt;
    }
    return wide;
}

}  // namespace veltra
