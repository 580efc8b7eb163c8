#include "serving/transfer_server.h"

#include <string_view>

#include "engine/protocol.h"
#include "serving/transfer_request.h"

namespace veltra {

TransferServer::TransferServer(CMessengerEngine& engine, TransferLimits limits) : limits_(limits) {
    engine.SetConnectionHandler(this);
}

void TransferServer::ServeConnection(const platform::Socket& connection) {
    connection.SetReceiveTimeout(limits_.request_ms);
    connection.SetSendTimeout(limits_.stalled_peer_ms);

    char buffer[kMaxRequestLength];
    const long received = connection.Receive(buffer, sizeof buffer);
    if (received <= 0) {
        return;
    }
    const auto request =
        ParseTransferRequest(std::string_view(buffer, static_cast<std::size_t>(received)));
    if (!request) {
        return;
    }
    const auto entry = offers_.Find(request->file_id);
    if (!entry) {
        return;
    }
    if (entry->recipient) {
        const auto peer = connection.PeerEndpoint();
        if (!peer || peer->address != *entry->recipient) {
            return;
        }
    }
    if (request->command == CMD_FETCH_FILE) {
        SendFileContent(connection, entry->path);
    } else {
        SendDirectory(connection, entry->path);
    }
    offers_.Remove(request->file_id);
}

}  // namespace veltra
