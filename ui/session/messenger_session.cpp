#include "ui/session/messenger_session.h"

#include <utility>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"

namespace veltra {

struct MessengerSession::Parts {
    platform::MessageWindow* window = nullptr;
    const Settings* settings = nullptr;
    // Declared in the order of start-up, so that destruction runs in reverse.
    std::unique_ptr<CMessengerEngine> engine;
    std::unique_ptr<CReceiveListener> listener;
    bool shut_down = false;
};

MessengerSession::MessengerSession(platform::MessageWindow& window, const Settings& settings,
                                   std::uint32_t bind_address)
    : parts_(std::make_unique<Parts>()) {
    parts_->window = &window;
    parts_->settings = &settings;
    parts_->engine = std::make_unique<CMessengerEngine>(settings, bind_address);
    parts_->listener =
        std::make_unique<CReceiveListener>(window, *parts_->engine, settings, nullptr);
    parts_->engine->SetListener(parts_->listener.get());
    parts_->engine->AnnouncePresence();
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

void MessengerSession::OfferFiles(std::uint32_t /*address*/,
                                  const std::vector<std::wstring>& /*paths*/) {}

void MessengerSession::Refresh() {
    if (parts_->shut_down) {
        return;
    }
    try {
        parts_->listener->ClearPeers();
        parts_->engine->AnnouncePresence();
    } catch (...) {
        // A failed refresh leaves the list as it was; the user may tap again.
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
