#include "receiving/content_reader.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "platform/device_path.h"
#include "receiving/file_events.h"
#include "receiving/placement.h"
#include "receiving/received_file.h"

namespace veltra {

namespace {

// The reason a file operation failed, as the log gives it; otherwise when no better one is known.
FileOutcome OutcomeOf(const std::system_error& error, FileOutcome otherwise) {
    switch (error.code().value()) {
        case ENOSPC:
        case EDQUOT:
            return FileOutcome::kDiskFull;
        case ENAMETOOLONG:
            return FileOutcome::kPathTooLong;
        default:
            return otherwise;
    }
}

// What the batch remembers of the file name in folder.
std::size_t PathKey(std::wstring_view folder, std::wstring_view name) {
    return std::hash<std::string>{}(platform::ToHostPath(platform::JoinPath(folder, name)));
}

// The name the file is stored under: the offered one, unless the batch has stored a file there
// already. key receives what the batch is to remember of it once it is stored.
std::wstring UnusedName(DownloadContext& context, std::wstring_view folder,
                        std::wstring_view offered, std::size_t& key) {
    key = PathKey(folder, offered);
    if (!context.stored_paths.contains(key)) {
        return std::wstring(offered);
    }
    unsigned& next = context.next_numbers[key];
    for (unsigned number = std::max(next, 2u);; ++number) {
        std::wstring name = NameVariant(offered, number);
        key = PathKey(folder, name);
        if (!context.stored_paths.contains(key)) {
            next = number;
            return name;
        }
    }
}

// Where what arrived of a failed file is kept; empty (nothing is kept) when that name belongs to
// a file the batch has stored.
std::wstring PartialName(const DownloadContext& context, std::wstring_view folder,
                         std::wstring_view name) {
    std::wstring partial = NameVariant(name, 1, L".part");
    if (context.stored_paths.contains(PathKey(folder, partial))) {
        partial.clear();
    }
    return partial;
}

}  // namespace

std::size_t ReceiveUpTo(const platform::Socket& socket, char* buffer, std::size_t size) {
    std::size_t received = 0;
    while (received < size) {
        const long result = socket.Receive(buffer + received, size - received);
        if (result <= 0) {
            break;
        }
        received += static_cast<std::size_t>(result);
    }
    return received;
}

bool ReadExact(const platform::Socket& socket, char* buffer, std::size_t size) {
    return size != 0 && ReceiveUpTo(socket, buffer, size) == size;
}

bool DropContent(const platform::Socket& socket, std::uint64_t size) {
    std::vector<char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kContentChunk)));
    while (size > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, kContentChunk));
        if (!ReadExact(socket, buffer.data(), chunk)) {
            return false;
        }
        size -= chunk;
    }
    return true;
}

bool ReceiveContent(DownloadContext& context, std::wstring_view folder, std::wstring_view offered,
                    const AttachmentInfo& info, const platform::Socket& socket) {
    std::size_t key = 0;
    const std::wstring name = UnusedName(context, folder, offered, key);
    PostFileStarted(context, info);
    FileOutcome outcome = FileOutcome::kStored;
    std::optional<ReceivedFile> file;
    try {
        file.emplace(folder, name);
    } catch (const std::system_error& error) {
        outcome = OutcomeOf(error, FileOutcome::kCannotCreate);
    }
    // Never larger than the file: a zero-filled 64 KiB buffer for every small file of a tree
    // cost more than receiving it.
    std::vector<char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(info.size, kContentChunk)));
    std::uint64_t received = 0;
    while (received < info.size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(info.size - received, kContentChunk));
        const std::size_t arrived = ReceiveUpTo(socket, buffer.data(), chunk);
        // A failed write drops the bytes but goes on reading, to stay in step with the sender.
        if (file && arrived > 0) {
            try {
                file->Write(buffer.data(), arrived);
            } catch (const std::system_error& error) {
                outcome = OutcomeOf(error, FileOutcome::kWriteFailed);
                file->Abandon(PartialName(context, folder, name));
                file.reset();
            }
        }
        received += arrived;
        if (arrived < chunk) {
            if (outcome == FileOutcome::kStored) {
                outcome = FileOutcome::kConnectionLost;
            }
            break;
        }
        PostFileProgress(context, received);
    }
    if (file && outcome == FileOutcome::kStored) {
        try {
            file->Commit();
        } catch (const std::system_error& error) {
            outcome = OutcomeOf(error, FileOutcome::kCannotCreate);
        }
    }
    if (file && outcome != FileOutcome::kStored) {
        file->Abandon(PartialName(context, folder, name));
    }
    // Settled before the message, so whoever handles it finds the file complete.
    file.reset();
    PostFileDone(context, info, received, outcome);
    if (outcome == FileOutcome::kStored) {
        ++context.received_files;
        context.stored_paths.insert(key);
        if (name != AnsiToWide(info.name)) {
            PostNotice(context, L"文件另存为" + name);
        }
    }
    return received == info.size;
}

}  // namespace veltra
