#include "receiving/directory_download.h"

#include <cerrno>
#include <vector>

#include "common/text.h"
#include "engine/protocol.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "receiving/fields.h"
#include "receiving/file_events.h"
#include "receiving/placement.h"

namespace veltra {

namespace {

// The key of the extended header field that carries a file's time.
constexpr std::uint32_t kTimeKey = 0x14;

}  // namespace

std::optional<std::string_view> ReadHeader(ContentReader& reader) {
    if (!reader.Fill(kMinHeaderLength)) {
        return std::nullopt;
    }
    std::string_view lead = reader.Peek().substr(0, kMinHeaderLength);
    lead = lead.substr(0, lead.find('\0'));  // the length field ends at a NUL as well
    const std::vector<std::string_view> fields = SplitFields(lead, ':');
    if (fields.empty()) {
        return std::nullopt;
    }
    const std::uint32_t length = ParseHex32(fields[0]);
    if (length < kMinHeaderLength || length >= kHeaderBuffer || !reader.Fill(length)) {
        return std::nullopt;
    }
    return reader.Take(length);
}

HeaderFields ParseHeader(std::string_view header, AttachmentInfo& info) {
    info = AttachmentInfo{};
    const ColonFields fields(header, kDoubledColonAs);
    // Field 1 is the length, already used to read the header.
    if (fields.size() < 4) {
        return HeaderFields::kMissing;
    }
    info.name.assign(fields[1]);
    ReplaceQuestionMarks(info.name);
    info.size = ParseHex64(fields[2]);
    info.attribute = ParseHex32(fields[3]);
    for (size_t i = 4; i < fields.size(); ++i) {
        const size_t equals = fields[i].find('=');
        if (equals != std::string_view::npos &&
            ParseHex32(fields[i].substr(0, equals)) == kTimeKey) {
            info.time = ParseHex32(fields[i].substr(equals + 1));
        }
    }
    return info.name.size() > kMaxNameBytes ? HeaderFields::kNameTooLong : HeaderFields::kComplete;
}

namespace {

// The name an entry of the stream is stored under, or nothing when it is refused.
std::optional<std::wstring> StoredName(HeaderFields fields, const AttachmentInfo& info) {
    if (fields == HeaderFields::kNameTooLong) {
        return std::nullopt;
    }
    return ConfinedName(info.name);
}

// A folder the stream names, never followed when it is a link. One that cannot be opened for
// another reason (a path too long, no permission) is still read into, so that each of its files
// reports that cause.
platform::Folder OpenStreamFolder(const platform::Path& path) {
    return platform::Folder::Open(path, platform::LastLink::kRefuse);
}

// Something that is no folder has the name: a symbolic link (refused) or a file.
bool IsNoFolder(const platform::Folder& folder) {
    return folder.Error() == ENOTDIR || folder.Error() == ELOOP;
}

// A folder stored under another name than the one offered says so in the log.
void NoteFolderName(DownloadContext& context, const AttachmentInfo& info,
                    const std::wstring& name) {
    if (name != AnsiToWide(info.name)) {
        PostNotice(context, L"文件夹另存为" + name);
    }
}

// Reads the rest of a level (its entries and end mark) and keeps nothing: for directories that
// are refused or nested too deep. Works without recursion, however deep the stream goes.
bool DropDirectoryLevel(ContentReader& reader) {
    int open_levels = 1;
    while (open_levels > 0) {
        const std::optional<std::string_view> header = ReadHeader(reader);
        if (!header) {
            return false;
        }
        AttachmentInfo info;
        if (ParseHeader(*header, info) == HeaderFields::kMissing) {
            continue;
        }
        switch (info.Kind()) {
            case ATTR_FILE:
                if (!reader.Skip(info.size)) {
                    return false;
                }
                break;
            case ATTR_DIR:
                ++open_levels;
                break;
            case ATTR_UP:
                --open_levels;
                break;
            default:
                break;
        }
    }
    return true;
}

// Reports an entry that cannot be stored, then reads and drops it (a file's content, a
// directory's subtree), so the stream stays in step. False when the stream ended or broke.
bool DropEntry(DownloadContext& context, ContentReader& reader, const AttachmentInfo& info,
               FileOutcome outcome) {
    ReportFailedEntry(context, info, outcome);
    return info.Kind() == ATTR_FILE ? reader.Skip(info.size) : DropDirectoryLevel(reader);
}

// Reads the entries of one level into folder, opened from path, up to its end mark; depth counts
// the levels, the top one being 1. An entry that cannot be stored (its name refused, its folder a
// link or nested too deep) is read and dropped and reported as a failed file. False when the stream
// ended or broke, which ends the whole reception.
bool ReadDirectoryLevel(DownloadContext& context, ContentReader& reader, const platform::Path& path,
                        const platform::Folder& folder, int depth) {
    for (;;) {
        const std::optional<std::string_view> header = ReadHeader(reader);
        if (!header || context.cancel.Cancelled()) {
            return false;
        }
        AttachmentInfo info;
        const HeaderFields fields = ParseHeader(*header, info);
        if (fields == HeaderFields::kMissing) {
            continue;
        }
        if (info.Kind() == ATTR_UP) {
            return true;
        }
        if (info.Kind() != ATTR_FILE && info.Kind() != ATTR_DIR) {
            continue;
        }
        const std::optional<std::wstring> name = StoredName(fields, info);
        bool kept = true;
        if (!name) {
            kept = DropEntry(context, reader, info, FileOutcome::kNameRefused);
        } else if (info.Kind() == ATTR_FILE) {
            kept = ReceiveContent(context, folder, *name, info, reader);
        } else if (depth >= context.limits.max_depth) {
            kept = DropEntry(context, reader, info, FileOutcome::kPathTooLong);
        } else {
            const platform::Path subpath = path / *name;
            platform::CreateFolder(subpath);
            const platform::Folder subfolder = OpenStreamFolder(subpath);
            if (IsNoFolder(subfolder)) {
                kept = DropEntry(context, reader, info, FileOutcome::kCannotCreate);
            } else {
                NoteFolderName(context, info, *name);
                kept = ReadDirectoryLevel(context, reader, subpath, subfolder, depth + 1);
            }
        }
        if (!kept) {
            return false;
        }
    }
}

}  // namespace

FileOutcome ReceiveDirectory(DownloadContext& context, ContentReader& reader) {
    const std::optional<std::string_view> header = ReadHeader(reader);
    AttachmentInfo info;
    if (!header) {
        return reader.NothingServed() ? FileOutcome::kNotServed : FileOutcome::kConnectionLost;
    }
    const HeaderFields fields = ParseHeader(*header, info);
    if (fields == HeaderFields::kMissing) {
        return FileOutcome::kConnectionLost;  // nothing of the stream can be read in step
    }
    const std::optional<std::wstring> name = StoredName(fields, info);
    if (!name) {
        DropDirectoryLevel(reader);
        return FileOutcome::kNameRefused;
    }
    const platform::Path top = context.settings.received_folder / *name;
    CreateFolderPath(top);
    const platform::Folder folder = OpenStreamFolder(top);
    if (IsNoFolder(folder)) {
        DropDirectoryLevel(reader);
        return FileOutcome::kCannotCreate;
    }
    NoteFolderName(context, info, *name);
    if (EntryEnded* entry = context.Entry()) {
        entry->stored = platform::Path::FromHost(top.Host());  // as a file's: where it lies
    }
    context.inside_folder = true;
    const bool whole = ReadDirectoryLevel(context, reader, top, folder, 1);
    context.inside_folder = false;
    return whole ? FileOutcome::kStored : FileOutcome::kConnectionLost;
}

}  // namespace veltra
