#include "receiving/download_client.h"

#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/window_messages.h"
#include "platform/file.h"
#include "receiving/directory_download.h"
#include "receiving/placement.h"

namespace veltra {

namespace {

// Each message carries its own copy of the name and size: the entry may be gone by the time the
// window handles the message.
void PostFileEvent(DownloadContext& context, unsigned id, const AttachmentInfo& info,
                   std::uint64_t received) {
    auto payload = std::make_unique<FileEventPayload>();
    payload->name = info.name;
    payload->size = info.size;
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

void ReceiveFile(DownloadContext& context, const platform::Socket& socket,
                 const AttachmentInfo& info, const std::wstring& name) {
    const std::wstring folder = FolderForName(context.settings, name);
    CreateFolderPath(folder);
    const std::wstring path = folder + name;
    // Someone placed a link where the file goes: refuse the entry rather than write through it.
    // Closing the connection is enough, nothing else travels on it.
    if (platform::IsSymbolicLink(path)) {
        return;
    }
    ReceiveContent(context, path, info, socket);
}

}  // namespace

bool ReadExact(const platform::Socket& socket, char* buffer, std::size_t size) {
    if (size == 0) {
        return false;
    }
    std::size_t received = 0;
    while (received < size) {
        const long result = socket.Receive(buffer + received, size - received);
        if (result <= 0) {
            return false;
        }
        received += static_cast<std::size_t>(result);
    }
    return true;
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

bool ReceiveContent(DownloadContext& context, std::wstring_view path, const AttachmentInfo& info,
                    const platform::Socket& socket) {
    std::optional<platform::File> file = platform::File::CreateForWrite(path);
    PostFileEvent(context, WM_FILE_STARTED, info, 0);
    // Never larger than the file: a zero-filled 64 KiB buffer for every small file of a tree
    // cost more than receiving it.
    std::vector<char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(info.size, kContentChunk)));
    std::uint64_t received = 0;
    while (received < info.size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(info.size - received, kContentChunk));
        if (!ReadExact(socket, buffer.data(), chunk)) {
            break;
        }
        // A failed write drops the bytes but goes on reading, to stay in step with the sender.
        if (file && !file->WriteAll(buffer.data(), chunk)) {
            file.reset();
        }
        received += chunk;
        PostFileEvent(context, WM_FILE_PROGRESS, info, received);
    }
    // Closed before the message, so whoever handles it finds the file complete.
    file.reset();
    PostFileEvent(context, WM_FILE_DONE, info, received);
    ++context.received_files;
    return received == info.size;
}

void DownloadEntry(DownloadContext& context, const PacketRecord& packet,
                   const AttachmentInfo& info) {
    std::optional<std::wstring> name;
    if (info.Kind() == ATTR_FILE) {
        name = ConfinedName(info.name);
        if (!name) {
            return;
        }
    }
    platform::Socket socket = platform::Socket::Tcp();
    if (!socket.Valid()) {
        return;
    }
    AttachedSocket attached(context.cancel, socket);
    if (!attached.Attached()) {
        return;
    }
    socket.SetIntOption(SOL_SOCKET, SO_RCVBUF, static_cast<int>(kContentChunk));
    // On a host with several addresses the peer must see the one its offer went to: it serves
    // an entry only to the address it was offered to.
    const std::uint32_t own_address = context.engine.BindAddress();
    if (own_address != htonl(INADDR_ANY) && !socket.Bind(platform::MakeEndpoint(own_address, 0))) {
        return;
    }
    const platform::Endpoint peer =
        platform::MakeEndpoint(packet.source_address, context.engine.Port());
    if (!socket.Connect(peer, context.limits.connect_ms) || context.cancel.Cancelled()) {
        return;
    }
    socket.SetReceiveTimeout(context.limits.idle_ms);
    socket.SetSendTimeout(context.limits.idle_ms);
    if (!SendRequest(context, socket, packet, info)) {
        return;
    }
    if (info.Kind() == ATTR_FILE) {
        ReceiveFile(context, socket, info, *name);
    } else {
        ReceiveDirectory(context, socket);
    }
}

}  // namespace veltra
