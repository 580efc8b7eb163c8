#include "receiving/download_client.h"

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "receiving/content_reader.h"
#include "receiving/directory_download.h"
#include "receiving/file_events.h"
#include "receiving/placement.h"

namespace veltra {

namespace {

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

void ReceiveFile(DownloadContext& context, ContentReader& reader, const AttachmentInfo& info,
                 const std::wstring& name) {
    const platform::Path& folder = FolderForName(context.settings, name);
    CreateFolderPath(folder);
    // The folder the user chose for the file: a link to it is followed.
    const platform::Folder opened = platform::Folder::Open(folder, platform::LastLink::kFollow);
    ReceiveContent(context, opened, name, info, reader);
}

}  // namespace

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
        ReportCancelledEntry(context, info);
        return true;
    }
    // The receive buffer is left to the kernel: a fixed one (the handheld's 64 KiB) turns off its
    // tuning of the window to the connection, which slows large files on a fast link.

    // On a host with several addresses the peer must see the one its offer went to: it serves
    // an entry only to the address it was offered to.
    const std::uint32_t own_address = context.engine.BindAddress();
    if (own_address != platform::kAnyAddress &&
        !socket.Bind(platform::MakeEndpoint(own_address, 0))) {
        ReportFailedEntry(context, info, FileOutcome::kUnreachable);
        return true;
    }
    const platform::Endpoint peer =
        platform::MakeEndpoint(packet.source_address, context.engine.Port());
    if (!socket.Connect(peer, context.limits.connect_ms)) {
        if (context.cancel.Cancelled()) {
            ReportCancelledEntry(context, info);
            return true;
        }
        ReportFailedEntry(context, info, FileOutcome::kUnreachable);
        return false;
    }
    if (context.cancel.Cancelled()) {
        ReportCancelledEntry(context, info);
        return true;
    }
    socket.SetReceiveTimeout(context.limits.idle_ms);
    socket.SetSendTimeout(context.limits.idle_ms);
    if (!SendRequest(context, socket, packet, info)) {
        if (context.cancel.Cancelled()) {
            ReportCancelledEntry(context, info);
            return true;
        }
        ReportFailedEntry(context, info, FileOutcome::kConnectionLost);
        return true;
    }
    ContentReader reader(socket);
    if (info.Kind() == ATTR_FILE) {
        ReceiveFile(context, reader, info, *name);
        return true;
    }
    const FileOutcome outcome = ReceiveDirectory(context, reader);
    if (outcome != FileOutcome::kStored) {
        if (context.cancel.Cancelled()) {
            ReportCancelledEntry(context, info);
        } else {
            ReportFailedEntry(context, info, outcome);
        }
    }
    return true;
}

}  // namespace veltra
