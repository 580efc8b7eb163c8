#include "receiving/download_client.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/window_messages.h"
#include "platform/device_path.h"
#include "receiving/directory_download.h"
#include "receiving/placement.h"
#include "receiving/received_file.h"

namespace veltra {

namespace {

// Each message carries its own copy of the name and size: the entry may be gone by the time the
// window handles the message.
void PostFileEvent(DownloadContext& context, unsigned id, const AttachmentInfo& info,
                   std::uint64_t received, FileOutcome outcome = FileOutcome::kStored) {
    auto payload = std::make_unique<FileEventPayload>();
    payload->name = info.name;
    payload->size = info.size;
    payload->outcome = outcome;
    platform::WindowMessage message;
    message.id = id;
    message.lparam = static_cast<std::int64_t>(received);
    message.payload = std::move(payload);
    context.window.PostMessage(std::move(message));
}

bool SendRequest(DownloadContext& context, const platform::Socket& socket,
                 const PacketRecord& packet, const AttachmentInfo& info) {
    const std::string request = FormatAnsi("%x:%x:%x:", static_cast<unsigned>(packet.packet_number),
                                           static_cast<unsigned>(info.id), 0u);
    const std::uint32_t command = info.Kind() == ATTR_DIR ? CMD_FETCH_DIR : CMD_FETCH_FILE;
    std::vector<char> buffer(MAX_PACKET);
    int length = 0;
    context.engine.BuildPacket(buffer.data(), static_cast<std::int32_t>(command), request.c_str(),
                               nullptr, length);
    return socket.Send(buffer.data(), static_cast<std::size_t>(length)) == length;
}

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

void ReceiveFile(DownloadContext& context, const platform::Socket& socket,
                 const AttachmentInfo& info, const std::wstring& name) {
    const std::wstring folder = FolderForName(context.settings, name);
    CreateFolderPath(folder);
    ReceiveContent(context, folder, name, info, socket);
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

void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome) {
    PostFileEvent(context, WM_FILE_STARTED, info, 0);
    PostFileEvent(context, WM_FILE_DONE, info, 0, outcome);
}

void PostNotice(DownloadContext& context, std::wstring text) {
    auto payload = std::make_unique<NoticePayload>();
    payload->text = std::move(text);
    platform::WindowMessage message;
    message.id = WM_LOG_NOTICE;
    message.payload = std::move(payload);
    context.window.PostMessage(std::move(message));
}

bool ReceiveContent(DownloadContext& context, std::wstring_view folder, std::wstring_view offered,
                    const AttachmentInfo& info, const platform::Socket& socket) {
    std::size_t key = 0;
    const std::wstring name = UnusedName(context, folder, offered, key);
    PostFileEvent(context, WM_FILE_STARTED, info, 0);
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
        PostFileEvent(context, WM_FILE_PROGRESS, info, received);
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
    PostFileEvent(context, WM_FILE_DONE, info, received, outcome);
    if (outcome == FileOutcome::kStored) {
        ++context.received_files;
        context.stored_paths.insert(key);
        if (name != AnsiToWide(info.name)) {
            PostNotice(context, L"文件另存为" + name);
        }
    }
    return received == info.size;
}

bool DownloadEntry(DownloadContext& context, const PacketRecord& packet,
                   const AttachmentInfo& info) {
    std::optional<std::wstring> name;
    if (info.Kind() == ATTR_FILE) {
        name = ConfinedName(info.name);
        if (!name) {
            ReportFailedEntry(context, info, FileOutcome::kNameRefused);
            return true;
        }
    }
    platform::Socket socket = platform::Socket::Tcp();
    if (!socket.Valid()) {
        ReportFailedEntry(context, info, FileOutcome::kUnreachable);
        return true;
    }
    AttachedSocket attached(context.cancel, socket);
    if (!attached.Attached()) {
        return true;  // shutting down: nothing more is reported
    }
    socket.SetIntOption(SOL_SOCKET, SO_RCVBUF, static_cast<int>(kContentChunk));
    // On a host with several addresses the peer must see the one its offer went to: it serves
    // an entry only to the address it was offered to.
    const std::uint32_t own_address = context.engine.BindAddress();
    if (own_address != htonl(INADDR_ANY) && !socket.Bind(platform::MakeEndpoint(own_address, 0))) {
        ReportFailedEntry(context, info, FileOutcome::kUnreachable);
        return true;
    }
    const platform::Endpoint peer =
        platform::MakeEndpoint(packet.source_address, context.engine.Port());
    if (!socket.Connect(peer, context.limits.connect_ms)) {
        if (context.cancel.Cancelled()) {
            return true;
        }
        ReportFailedEntry(context, info, FileOutcome::kUnreachable);
        return false;
    }
    if (context.cancel.Cancelled()) {
        return true;
    }
    socket.SetReceiveTimeout(context.limits.idle_ms);
    socket.SetSendTimeout(context.limits.idle_ms);
    if (!SendRequest(context, socket, packet, info)) {
        ReportFailedEntry(context, info, FileOutcome::kConnectionLost);
        return true;
    }
    if (info.Kind() == ATTR_FILE) {
        ReceiveFile(context, socket, info, *name);
        return true;
    }
    const FileOutcome outcome = ReceiveDirectory(context, socket);
    if (outcome != FileOutcome::kStored && !context.cancel.Cancelled()) {
        ReportFailedEntry(context, info, outcome);
    }
    return true;
}

}  // namespace veltra
