#include "session/messenger_session.h"

#include <system_error>
#include <utility>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#include "platform/file.h"
#include "platform/temporary_record.h"
#include "receiving/download_manager.h"
#include "serving/attachment_offer.h"
#include "serving/transfer_server.h"

namespace veltra {

static_assert(kMessengerPort == MSG_PORT);

struct MessengerSession::Parts {
    // Declared in the order of start-up, so that destruction runs in reverse: the transfer
    // server outlives the engine's shutdown, which joins the connection threads reading its
    // offers.
    std::unique_ptr<CMessengerEngine> engine;
    std::unique_ptr<TransferServer> server;
    std::unique_ptr<DownloadManager> downloads;
    std::unique_ptr<CReceiveListener> listener;
    bool shut_down = false;
};

MessengerSession::MessengerSession(EventSink& sink, const Settings& settings,
                                   std::uint32_t bind_address)
    : parts_(std::make_unique<Parts>()) {
    parts_->engine = std::make_unique<CMessengerEngine>(settings, bind_address);
    parts_->engine->SetNoticeSink(&sink);
    try {
        // The engine holds port 2425 now, so no other instance runs on this host: the
        // temporaries the record lists are a crash's, and go before any download makes more.
        platform::RemoveLeftoverTemporaries();
        parts_->server = std::make_unique<TransferServer>(*parts_->engine, TransferLimits{}, &sink);
        // The listener that keeps the user list comes next; no offer reaches the downloads
        // before it is registered with the engine.
        const auto listed = [parts = parts_.get()](std::uint32_t address) {
            return parts->listener && parts->listener->Lists(address);
        };
        parts_->downloads =
            std::make_unique<DownloadManager>(sink, *parts_->engine, settings, DownloadLimits{},
                                              OfferQueueLimits{}, NoticeLog::Clock{}, listed);
        parts_->listener =
            std::make_unique<CReceiveListener>(sink, *parts_->engine, parts_->downloads.get());
        parts_->engine->SetListener(parts_->listener.get());
        parts_->engine->AnnouncePresence();
    } catch (...) {
        Shutdown();  // no thread may be left calling into parts that are about to go
        throw;
    }
}

MessengerSession::~MessengerSession() {
    Shutdown();
}

void MessengerSession::Shutdown() {
    if (parts_->shut_down) {
        return;
    }
    parts_->shut_down = true;
    // Waits for a datagram being dispatched, so no offer can reach the downloads after this.
    parts_->engine->SetListener(nullptr);
    if (parts_->downloads) {
        parts_->downloads->Shutdown();
    }
    parts_->engine->Shutdown();
}

void MessengerSession::SendText(std::uint32_t address, const std::wstring& text) {
    if (parts_->shut_down || text.empty()) {
        return;
    }
    const std::string message = WideToAnsi(text);
    parts_->engine->SendDatagram(address, parts_->engine->Port(),
                                 static_cast<std::int32_t>(CMD_MESSAGE), message.c_str(), nullptr);
}

std::vector<OfferResult> MessengerSession::OfferFiles(std::uint32_t address,
                                                      const std::vector<platform::Path>& paths,
                                                      const std::wstring& text) {
    std::vector<OfferResult> results;
    if (parts_->shut_down) {
        return results;
    }
    // A path that does not exist takes no id, and an offer of nothing but such paths is no offer.
    std::vector<platform::Path> existing;
    for (const platform::Path& path : paths) {
        const bool exists = platform::QueryPath(path).has_value();
        results.push_back(OfferResult{
            path, exists ? OfferOutcome::kListed : OfferOutcome::kNoSuchFile, std::nullopt});
        if (exists) {
            existing.push_back(path);
        }
    }
    if (existing.empty()) {
        return results;
    }
    SendText(address, text);
    std::vector<OfferResult> offered =
        SendWithAttachments(*parts_->engine, parts_->server->Offers(), address, existing);
    auto next = offered.begin();
    for (OfferResult& result : results) {
        if (result.outcome != OfferOutcome::kNoSuchFile) {
            result = std::move(*next++);
        }
    }
    return results;
}

void MessengerSession::Refresh() {
    if (parts_->shut_down) {
        return;
    }
    try {
        parts_->listener->ClearPeers();
        parts_->engine->AnnouncePresence();
    } catch (...) {
        // A failed refresh leaves the list as it was; the user may ask again.
    }
}

bool MessengerSession::CancelReceiving() {
    return !parts_->shut_down && parts_->downloads->CancelBatch();
}

std::optional<std::vector<OnlinePeer>> MessengerSession::TakePeers() {
    if (parts_->shut_down) {
        return std::nullopt;
    }
    std::vector<PeerEntry> snapshot = parts_->listener->TakePeersSnapshot();
    std::vector<OnlinePeer> peers;
    peers.reserve(snapshot.size());
    for (PeerEntry& entry : snapshot) {
        peers.push_back(OnlinePeer{std::move(entry.key), entry.record.source_address,
                                   entry.record.user_name, entry.record.host_name});
    }
    return peers;
}

}  // namespace veltra
