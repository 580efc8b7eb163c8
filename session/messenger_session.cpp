#include "session/messenger_session.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "common/settings_file.h"
#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#include "platform/file.h"
#include "platform/network_interfaces.h"
#include "platform/temporary_record.h"
#include "receiving/download_manager.h"
#include "serving/attachment_offer.h"
#include "serving/transfer_server.h"

namespace veltra {

static_assert(kMessengerPort == MSG_PORT);

struct MessengerSession::Parts {
    // Declared in the order of start-up, so that destruction runs in reverse: the transfer
    // server outlives the engine's shutdown, which joins the connection threads reading its
    // offers; the history, which every worker posts through, outlives them all.
    std::unique_ptr<HistoryRecorder> history;
    std::unique_ptr<CMessengerEngine> engine;
    std::unique_ptr<TransferServer> server;
    std::unique_ptr<DownloadManager> downloads;
    std::unique_ptr<CReceiveListener> listener;
    bool announced = false;  // so peers may list it: they are told when it leaves
    bool shut_down = false;
};

namespace {

// Which peers are this instance itself: its announcement comes back to it, from each network the
// host is on, under this host's name as packets carry it. An engine bound to one address hears
// itself from that address alone.
class OwnRows {
  public:
    explicit OwnRows(const CMessengerEngine& engine) {
        CopyNameField(host_name_, engine.HostName().c_str());
        if (engine.BindAddress() != platform::kAnyAddress) {
            addresses_.push_back(engine.BindAddress());
            return;
        }
        try {
            addresses_ = platform::HostAddresses();
        } catch (const std::system_error&) {
            // The addresses cannot be listed now: no row is marked, each is still listed.
        }
    }
    bool Own(const PeerRecord& record) const {
        return std::strcmp(record.host_name, host_name_) == 0 &&
               std::find(addresses_.begin(), addresses_.end(), record.source_address) !=
                   addresses_.end();
    }

  private:
    char host_name_[NAME_FIELD_SIZE] = {};
    std::vector<std::uint32_t> addresses_;
};

}  // namespace

MessengerSession::MessengerSession(EventSink& front_end, const Settings& settings,
                                   std::uint32_t bind_address, HistoryOptions history)
    : parts_(std::make_unique<Parts>()) {
    parts_->engine = std::make_unique<CMessengerEngine>(settings, bind_address);
    // The engine holds port 2425 now, so no other instance of this user uses the history. Every
    // event reaches the front end through it, which keeps a copy of what it needs.
    parts_->history = std::make_unique<HistoryRecorder>(front_end, std::move(history));
    EventSink& sink = *parts_->history;
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
        parts_->announced = true;
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
    if (parts_->announced) {
        try {
            parts_->engine->AnnounceDeparture();
        } catch (...) {
            // A goodbye that cannot be said (no memory) leaves the rows to the peers' refresh.
        }
    }
    // Waits for a datagram being dispatched, so no offer can reach the downloads after this.
    parts_->engine->SetListener(nullptr);
    if (parts_->downloads) {
        parts_->downloads->Shutdown();
    }
    parts_->engine->Shutdown();
    if (parts_->history) {
        parts_->history->Shutdown();  // writes what the workers told last
    }
}

void MessengerSession::SendText(std::uint32_t address, const std::wstring& text) {
    if (parts_->shut_down || text.empty()) {
        return;
    }
    const std::string message = WideToAnsi(text);
    parts_->engine->SendDatagram(address, parts_->engine->Port(),
                                 static_cast<std::int32_t>(CMD_MESSAGE), message.c_str(), nullptr);
    parts_->history->RecordSent(address, PeerAt(address), text);
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
    parts_->history->RecordOffered(address, PeerAt(address), results);
    return results;
}

PeerNames MessengerSession::PeerAt(std::uint32_t address) const {
    for (const PeerEntry& entry : parts_->listener->PeersSnapshot()) {
        if (entry.record.source_address == address) {
            return PeerNames{entry.record.user_name, entry.record.host_name};
        }
    }
    return {};
}

std::vector<HistoryRow> MessengerSession::History(const HistoryQuery& query) {
    // What was just sent or told must be among the rows: the writer writes what waits first.
    parts_->history->Flush();
    return parts_->history->Read(query);
}

bool MessengerSession::ClearHistory() {
    return parts_->history->Clear();
}

void MessengerSession::ChangeIdentity(const std::wstring& user_name,
                                      const std::wstring& broadcast_list) {
    if (parts_->shut_down) {
        return;
    }
    parts_->engine->ChangeIdentity(EffectiveUserName(user_name), broadcast_list);
    parts_->announced = true;
}

void MessengerSession::Refresh() {
    if (parts_->shut_down) {
        return;
    }
    try {
        parts_->listener->ClearPeers();
        parts_->engine->AnnouncePresence();
        parts_->announced = true;
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
    const OwnRows own(*parts_->engine);
    std::vector<OnlinePeer> peers;
    peers.reserve(snapshot.size());
    for (PeerEntry& entry : snapshot) {
        peers.push_back(OnlinePeer{std::move(entry.key), entry.record.source_address,
                                   entry.record.user_name, entry.record.host_name,
                                   own.Own(entry.record)});
    }
    return peers;
}

}  // namespace veltra
