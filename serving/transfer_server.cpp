#include "serving/transfer_server.h"

#include <string_view>
#include <utility>

#include "engine/protocol.h"
#include "serving/transfer_request.h"
#include "serving/wire_fields.h"

namespace veltra {

TransferServer::TransferServer(CMessengerEngine& engine, TransferLimits limits, EventSink* reports)
    : limits_(limits), reports_(reports) {
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
    const bool directory = request->command == CMD_FETCH_DIR;
    // An entry that was never examined is served as nothing: the peer sees the connection close.
    const bool whole = entry->examined &&
                       (directory ? SendOfferedDirectory(connection, entry->path, *entry->examined)
                                  : SendOfferedFile(connection, entry->path, *entry->examined) ==
                                        ContentSent::kWhole);
    offers_.Remove(request->file_id);
    ReportServed(request->file_id, *entry, directory, whole, connection);
}

void TransferServer::ReportServed(std::int32_t file_id, const OfferEntry& entry, bool directory,
                                  bool whole, const platform::Socket& connection) {
    if (reports_ == nullptr) {
        return;
    }
    OfferServed served;
    served.file_id = file_id;
    served.peer_address = entry.recipient.value_or(0);
    if (const auto peer = connection.PeerEndpoint()) {
        served.peer_address = peer->address;
    }
    served.name = WireBaseName(entry.path);
    served.directory = directory;
    served.whole = whole;
    reports_->Post(std::move(served));
}

}  // namespace veltra
