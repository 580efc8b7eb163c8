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
    const platform::IoResult received = connection.Receive(buffer, sizeof buffer);
    if (!received.Moved()) {
        return;
    }
    const auto request = ParseTransferRequest(std::string_view(buffer, received.bytes));
    if (!request) {
        return;
    }
    const auto entry = offers_.Find(request->file_id);
    if (!entry) {
        return;
    }
    // Asked now: a connection that has ended has no peer any more.
    const auto peer = connection.PeerEndpoint();
    if (entry->recipient && (!peer || peer->address != *entry->recipient)) {
        return;
    }
    const bool directory = request->command == CMD_FETCH_DIR;
    // An entry that was never examined is served as nothing: the peer sees the connection close.
    bool whole = entry->examined &&
                 (directory ? SendOfferedDirectory(connection, entry->path, *entry->examined)
                            : SendOfferedFile(connection, entry->path, *entry->examined) ==
                                  ContentSent::kWhole);
    offers_.Remove(request->file_id);
    // Every byte is in our kernel's hands now, which says nothing of the peer: it has taken them
    // all only when it closes in order (a peer built to the design closes after the last byte,
    // so this does not wait in the normal case).
    whole = whole &&
            connection.EndSending(limits_.stalled_peer_ms) == platform::SendingEnd::kPeerClosed;
    const std::uint32_t peer_address = peer ? peer->address : entry->recipient.value_or(0);
    ReportServed(request->file_id, *entry, directory, whole, peer_address);
}

void TransferServer::ReportServed(std::int32_t file_id, const OfferEntry& entry, bool directory,
                                  bool whole, std::uint32_t peer_address) {
    if (reports_ == nullptr) {
        return;
    }
    OfferServed served;
    served.file_id = file_id;
    served.peer_address = peer_address;
    served.name = WireBaseName(entry.path);
    served.directory = directory;
    served.whole = whole;
    reports_->Post(std::move(served));
}

}  // namespace veltra
