#include "receiving/placement.h"

#include <ranges>
#include <vector>

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

// Where the extension worth keeping begins: the name's own, when it is short, else none (the
// name's end).
std::size_t ExtensionStart(std::wstring_view name) {
    const std::wstring extension = platform::Path(name).Extension();
    if (Utf8Bytes(extension) > kMaxKeptExtensionBytes) {
        return name.size();
    }
    return name.size() - extension.size();
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

}  // namespace

const platform::Path& FolderForName(const Settings& settings, std::wstring_view name) {
    if (settings.collect_all) {
        return settings.received_folder;
    }
    const std::wstring dotted = platform::Path(name).Extension();
    const std::wstring extension =
        AsciiLower(dotted.empty() ? name : std::wstring_view(dotted).substr(1));
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
    // The folders above it, innermost first; the root names none of its own.
    std::vector<platform::Path> above;
    for (platform::Path folder = path.Parent(); !std::ranges::empty(folder);
         folder = folder.Parent()) {
        above.push_back(folder);
    }
    bool created_one = false;
    for (auto folder = above.rbegin(); folder != above.rend(); ++folder) {
        // Below a folder just made nothing can exist yet, so asking again would be wasted.
        if (!created_one && IsFolder(*folder)) {
            continue;
        }
        if (!platform::CreateFolder(*folder)) {
            return false;
        }
        created_one = true;
        // The folder as this computer names it: the device's name would send the reader
        // looking for a card that is not there.
        platform::DebugLog(L"已成功创建目录:" + platform::Utf8ToWide(folder->Host()));
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
