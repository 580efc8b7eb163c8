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

// Files up to this size go out with their header in the gathered stream; larger ones after it,
// straight from the file.
constexpr std::uint64_t kGatheredContent = 64 * 1024;

// A subdirectory keeps its listed name, even one holding a character that would count as a
// separator in a path.
bool SendNamedDirectory(StreamSender& out, const platform::Path& path, const std::string& name,
                        const std::optional<platform::Path>& offered_folder) {
    if (!out.Append(DirectoryHeader(name))) {
        return false;
    }
    if (auto search = platform::DirectorySearch::Open(path)) {
        while (auto entry = search->Next()) {
            if (!SendDirectoryEntry(out, *search, path, *entry, offered_folder)) {
                return false;
            }
        }
    }
    return out.Append(kEndMark);
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
    StreamSender out(connection);
    // A folder that cannot be resolved cannot be listed either: it goes out empty.
    return SendNamedDirectory(out, path, WireBaseName(path.Text()), platform::ResolvedPath(path)) &&
           out.Flush();
}

bool SendDirectoryEntry(StreamSender& out, const platform::DirectorySearch& listing,
                        const platform::Path& directory_path, const platform::DirectoryEntry& entry,
                        const std::optional<platform::Path>& offered_folder) {
    if (entry.attributes & platform::kAttributeDirectory) {
        return SendNamedDirectory(out, directory_path / entry.name, WideToAnsi(entry.name),
                                  offered_folder);
    }
    // A plain file is opened by its name within the listing: its path is only needed when the
    // file cannot be opened, or for a link, whose target is checked by path.
    std::optional<platform::Path> path;
    std::optional<platform::File> file;
    if (entry.is_symlink) {
        // The content is read from where the link led when it was checked.
        path = platform::ResolvedPath(directory_path / entry.name);
        if (!path || !offered_folder || !platform::LiesWithin(*path, *offered_folder)) {
            return true;
        }
        const auto info = platform::QueryPath(*path);
        if (!info || (info->attributes & platform::kAttributeDirectory)) {
            return true;
        }
        file = platform::File::OpenForRead(*path);
    } else {
        file = listing.OpenFile(entry);
    }
    std::uint64_t size = 0;
    if (entry.size) {
        size = *entry.size;
    } else if (file) {
        size = file->OpenedSize();  // the listing gave the type only
    } else if (const auto info = platform::QueryPath(path ? *path : directory_path / entry.name)) {
        size = info->size;  // held by another transfer: zeros of its size stand in
    } else {
        return true;  // gone since the listing
    }
    if (!out.Append(FileHeader(WideToAnsi(entry.name), size))) {
        return false;
    }
    if (size <= kGatheredContent) {
        return out.AppendContent(std::move(file), static_cast<std::size_t>(size));
    }
    if (!out.Flush()) {
        return false;
    }
    return SendFileContent(out.Connection(), std::move(file), size) !=
           ContentSent::kConnectionFailed;
}

}  // namespace veltra
