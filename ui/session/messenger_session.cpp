#include "ui/session/messenger_session.h"

#include <system_error>
#include <utility>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#if VELTRA_WITH_SERVING
#include "serving/attachment_offer.h"
#include "serving/transfer_server.h"
#endif
#if VELTRA_WITH_RECEIVING
#include "receiving/download_manager.h"
#endif

namespace veltra {

struct MessengerSession::Parts {
    // Declared in the order of start-up, so that destruction runs in reverse: the transfer
    // server outlives the engine's shutdown, which joins the connection threads reading its
    // offers.
    std::unique_ptr<CMessengerEngine> engine;
#if VELTRA_WITH_SERVING
    std::unique_ptr<CTransferServer> server;
#endif
#if VELTRA_WITH_RECEIVING
    std::unique_ptr<CDownloadManager> downloads;
#endif
    std::unique_ptr<CReceiveListener> listener;
    bool shut_down = false;
};

MessengerSession::MessengerSession(platform::MessageWindow& window, const Settings& settings,
                                   std::uint32_t bind_address)
    : parts_(std::make_unique<Parts>()) {
    parts_->engine = std::make_unique<CMessengerEngine>(settings, bind_address);
    parts_->engine->SetNoticeWindow(&window);
    try {
        CAttachmentHandler* attachments = nullptr;
#if VELTRA_WITH_SERVING
        parts_->server =
            std::make_unique<CTransferServer>(*parts_->engine, TransferLimits{}, &window);
#endif
#if VELTRA_WITH_RECEIVING
        parts_->downloads = std::make_unique<CDownloadManager>(window, *parts_->engine, settings);
        attachments = parts_->downloads.get();
#endif
        parts_->listener =
            std::make_unique<CReceiveListener>(window, *parts_->engine, settings, attachments);
        parts_->engine->SetListener(parts_->listener.get());
        parts_->engine->AnnouncePresence();
    } catch (const std::system_error& error) {
        Shutdown();
        throw error.code().value();  // a thread that could not start: reported as the engine's are
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
#if VELTRA_WITH_RECEIVING
    if (parts_->downloads) {
        parts_->downloads->Shutdown();
    }
#endif
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

std::vector<OfferedEntry> MessengerSession::OfferFiles(std::uint32_t address,
                                                       const std::vector<std::wstring>& paths) {
    std::vector<OfferedEntry> offered;
    if (parts_->shut_down || paths.empty()) {
        return offered;
    }
#if VELTRA_WITH_SERVING
    for (ListedEntry& entry :
         SendWithAttachments(*parts_->engine, parts_->server->Offers(), address, paths)) {
        offered.push_back(
            OfferedEntry{entry.file_id, std::move(entry.path), entry.directory, entry.size});
    }
#else
    (void)address;
#endif
    return offered;
}

bool MessengerSession::CanOfferFiles() {
#if VELTRA_WITH_SERVING
    return true;
#else
    return false;
#endif
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

std::optional<std::vector<PeerEntry>> MessengerSession::TakePeersSnapshot() {
    if (parts_->shut_down) {
        return std::nullopt;
    }
    return parts_->listener->TakePeersSnapshot();
}

CMessengerEngine& MessengerSession::Engine() {
    return *parts_->engine;
}

CReceiveListener& MessengerSession::Listener() {
    return *parts_->listener;
}

}  // namespace veltra
