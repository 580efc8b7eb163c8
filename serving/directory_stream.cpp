#include "serving/directory_stream.h"

#include <optional>
#include <utility>

#include "engine/protocol.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/resolved_path.h"
#include "serving/file_content.h"
#include "serving/wire_fields.h"

namespace veltra {
namespace {

// One header: its length field, then ":name:size:attributes", a folder's size a plain "0". The
// length counts the whole header, its own 4 digits included; it is written last, into the room
// kept for it.
std::string Header(std::string_view name, std::optional<std::uint64_t> size,
                   std::uint32_t attributes) {
    std::string header;
    header.reserve(name.size() + 32);
    header.append(4, '0');
    header += ':';
    AppendWireName(header, name);
    header += ':';
    if (size) {
        AppendSizeField(header, *size);
    } else {
        header += '0';
    }
    header += ':';
    AppendHex(header, attributes);
    std::string length;
    AppendHex(length, header.size(), 4);
    header.replace(0, 4, length);
    return header;
}

// Files up to this size go out with their header in the gathered stream; larger ones after it,
// straight from the file.
constexpr std::uint64_t kGatheredContent = 64 * 1024;

// A subdirectory keeps its listed name, even one holding a character that would count as a
// separator in a path. Nothing to list (a folder gone or unreadable) gives an empty folder.
bool SendNamedDirectory(StreamSender& out, std::optional<platform::DirectorySearch> listing,
                        const std::string& name,
                        const std::optional<platform::Path>& offered_folder) {
    if (!out.Append(DirectoryHeader(name))) {
        return false;
    }
    if (listing) {
        while (auto entry = listing->Next()) {
            if (!SendDirectoryEntry(out, *listing, *entry, offered_folder)) {
                return false;
            }
        }
    }
    return out.Append(kEndMark);
}

// A file's header and exactly size bytes after it; zeros stand in for whatever the file (nothing:
// one that could not be opened) does not yield.
bool SendFile(StreamSender& out, const platform::DirectoryEntry& entry, std::uint64_t size,
              std::optional<platform::File> file) {
    if (!out.Append(FileHeader(platform::HostNameToWireCodePage(entry.host_name), size))) {
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

// The rule for links, judged on the file the link opened rather than on its path resolved again:
// what is read is what was judged, whatever the link is changed to in between.
bool SendLinkedFile(StreamSender& out, const platform::DirectorySearch& listing,
                    const platform::DirectoryEntry& entry,
                    const std::optional<platform::Path>& offered_folder) {
    if (!offered_folder) {
        return true;
    }
    std::optional<platform::File> file = listing.OpenFollowingLink(entry);
    if (!file) {
        return true;  // leads nowhere, or to a folder
    }
    const auto location = platform::ResolvedPath(*file);
    if (!location || !platform::LiesWithin(*location, *offered_folder)) {
        return true;
    }
    const std::uint64_t size = file->OpenedSize();
    if (!file->HoldExclusively()) {
        file.reset();  // held by another transfer: zeros of its size stand in
    }
    return SendFile(out, entry, size, std::move(file));
}

// An entry that is still what the listing said it was. Nothing for one that is not (a file or
// folder swapped for a link since, among others): the rule for links judges it instead, once the
// descriptor opened here is closed again.
std::optional<bool> SendListedEntry(StreamSender& out, const platform::DirectorySearch& listing,
                                    const platform::DirectoryEntry& entry,
                                    const std::optional<platform::Path>& offered_folder) {
    const bool listed_folder = (entry.attributes & platform::kAttributeDirectory) != 0;
    platform::OpenedEntry opened = listing.OpenEntry(entry);
    switch (opened.kind) {
        case platform::OpenedEntry::Kind::kFolder:
            if (listed_folder) {
                return SendNamedDirectory(out, std::move(opened.folder),
                                          platform::HostNameToWireCodePage(entry.host_name),
                                          offered_folder);
            }
            break;
        case platform::OpenedEntry::Kind::kFile:
            if (!listed_folder) {
                // Zeros of its size stand in for a file unreadable or held by another transfer.
                return SendFile(out, entry, entry.size.value_or(opened.size),
                                std::move(opened.file));
            }
            break;
        case platform::OpenedEntry::Kind::kGone:
            // Gone since the listing: a folder goes out empty, a file as zeros of the size the
            // listing reported, when it reported one.
            if (listed_folder) {
                return SendNamedDirectory(out, std::nullopt,
                                          platform::HostNameToWireCodePage(entry.host_name),
                                          offered_folder);
            }
            if (entry.size) {
                return SendFile(out, entry, *entry.size, std::nullopt);
            }
            return true;
        case platform::OpenedEntry::Kind::kLink:
        case platform::OpenedEntry::Kind::kOther:
            break;
    }
    return std::nullopt;
}

bool SendTopDirectory(const platform::Socket& connection, const platform::Path& path,
                      const platform::FileIdentity* examined) {
    std::optional<platform::DirectorySearch> listing = platform::DirectorySearch::Open(path);
    if (listing && examined && listing->Identity() != *examined) {
        return false;
    }
    // Where the folder cannot be resolved, every link in it is left out.
    std::optional<platform::Path> offered_folder;
    if (listing) {
        offered_folder = platform::ResolvedPath(*listing);
    }
    StreamSender out(connection);
    return SendNamedDirectory(out, std::move(listing), WireBaseName(path), offered_folder) &&
           out.Flush();
}

}  // namespace

std::string DirectoryHeader(std::string_view name) {
    return Header(name, std::nullopt, ATTR_DIR);
}

std::string FileHeader(std::string_view name, std::uint64_t size) {
    return Header(name, size, ATTR_FILE);
}

bool SendDirectory(const platform::Socket& connection, const platform::Path& path) {
    return SendTopDirectory(connection, path, nullptr);
}

bool SendOfferedDirectory(const platform::Socket& connection, const platform::Path& path,
                          const platform::FileIdentity& examined) {
    return SendTopDirectory(connection, path, &examined);
}

bool SendDirectoryEntry(StreamSender& out, const platform::DirectorySearch& listing,
                        const platform::DirectoryEntry& entry,
                        const std::optional<platform::Path>& offered_folder) {
    if (!entry.is_symlink) {
        if (const std::optional<bool> sent = SendListedEntry(out, listing, entry, offered_folder)) {
            return *sent;
        }
    }
    return SendLinkedFile(out, listing, entry, offered_folder);
}

}  // namespace veltra
