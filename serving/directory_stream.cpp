#include "serving/directory_stream.h"

#include <optional>
#include <utility>

#include "common/text.h"
#include "engine/protocol.h"
#include "platform/file.h"
#include "platform/resolved_path.h"
#include "serving/file_content.h"
#include "serving/wire_fields.h"

namespace veltra {
namespace {

// The length field counts the whole header, its own 4 digits included.
std::string WithLength(const std::string& rest) {
    return FormatAnsi("%04x", static_cast<unsigned>(rest.size() + 4)) + rest;
}

bool SendText(const platform::Socket& connection, std::string_view text) {
    return connection.SendAll(text.data(), text.size());
}

// Files up to this size go out with their header in one send.
constexpr std::uint64_t kOneSendContent = 64 * 1024;

// The header and exactly size bytes of content in one send: a tree of small files then costs one
// segment and a plain read per file, not a header segment, a sendfile and its signal guard. As
// with larger files, zeros stand in for what a file that shrank or cannot be opened lacks.
bool SendSmallFile(const platform::Socket& connection, const std::string& header,
                   std::optional<platform::File> file, std::size_t size) {
    std::string item = header;
    item.resize(header.size() + size);
    if (file) {
        std::size_t got = 0;
        while (got < size) {
            const long long read = file->Read(item.data() + header.size() + got, size - got);
            if (read <= 0) {
                break;
            }
            got += static_cast<std::size_t>(read);
        }
    }
    return SendText(connection, item);
}

// A subdirectory keeps its listed name, even one holding a character that would count as a
// separator in a path.
bool SendNamedDirectory(const platform::Socket& connection, const platform::Path& path,
                        const std::string& name,
                        const std::optional<platform::Path>& offered_folder) {
    if (!SendText(connection, DirectoryHeader(name))) {
        return false;
    }
    if (auto search = platform::DirectorySearch::Open(path)) {
        while (auto entry = search->Next()) {
            if (!SendDirectoryEntry(connection, path, *entry, offered_folder)) {
                return false;
            }
        }
    }
    return SendText(connection, kEndMark);
}

}  // namespace

// Built by appending: GCC 12 at -O3 reports a false -Wrestrict for `":" + std::string(...)`.
std::string DirectoryHeader(std::string_view name) {
    std::string rest(":");
    rest += WireName(name);
    rest += FormatAnsi(":0:%x", ATTR_DIR);
    return WithLength(rest);
}

std::string FileHeader(std::string_view name, std::uint64_t size) {
    std::string rest(":");
    rest += WireName(name);
    rest += ':';
    rest += SizeField(size);
    rest += FormatAnsi(":%x", ATTR_FILE);
    return WithLength(rest);
}

bool SendDirectory(const platform::Socket& connection, const platform::Path& path) {
    // A folder that cannot be resolved cannot be listed either: it goes out empty.
    return SendNamedDirectory(connection, path, WireBaseName(path.Text()),
                              platform::ResolvedPath(path));
}

bool SendDirectoryEntry(const platform::Socket& connection, const platform::Path& directory_path,
                        const platform::DirectoryEntry& entry,
                        const std::optional<platform::Path>& offered_folder) {
    platform::Path path = directory_path / entry.name;
    if (entry.attributes & platform::kAttributeDirectory) {
        return SendNamedDirectory(connection, path, WideToAnsi(entry.name), offered_folder);
    }
    if (entry.is_symlink) {
        // The content is read from where the link led when it was checked.
        std::optional<platform::Path> target = platform::ResolvedPath(path);
        if (!target || !offered_folder || !platform::LiesWithin(*target, *offered_folder)) {
            return true;
        }
        const auto info = platform::QueryPath(*target);
        if (!info || (info->attributes & platform::kAttributeDirectory)) {
            return true;
        }
        path = std::move(*target);
    }
    std::optional<platform::File> file = platform::File::OpenForRead(path);
    std::uint64_t size = 0;
    if (entry.size) {
        size = *entry.size;
    } else if (file) {
        size = file->OpenedSize();  // the listing gave the type only
    } else if (const auto info = platform::QueryPath(path)) {
        size = info->size;  // held by another transfer: zeros of its size stand in
    } else {
        return true;  // gone since the listing
    }
    const std::string header = FileHeader(WideToAnsi(entry.name), size);
    if (size <= kOneSendContent) {
        return SendSmallFile(connection, header, std::move(file), static_cast<std::size_t>(size));
    }
    if (!SendText(connection, header)) {
        return false;
    }
    return SendFileContent(connection, std::move(file), size) != ContentSent::kConnectionFailed;
}

}  // namespace veltra
