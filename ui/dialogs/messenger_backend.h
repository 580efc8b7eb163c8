#pragma once
// What the main dialog asks of the running messenger. The program runs a MessengerSession behind
// it; tests put a recording stand-in in its place, so the dialogs can be driven without a network.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "engine/peer_table.h"
#include "platform/socket.h"
#include "platform/window.h"

namespace veltra {

class MessengerBackend {
  public:
    virtual ~MessengerBackend() = default;

    // A typed message to address (network order).
    virtual void SendText(std::uint32_t address, const std::wstring& text) = 0;
    // Offers files to address; blocks for the offer's pause.
    virtual void OfferFiles(std::uint32_t address, const std::vector<std::wstring>& paths) = 0;
    // Empties the peer table and announces again. Never throws: a refresh that fails leaves the
    // list as it is, and the user may ask again.
    virtual void Refresh() = 0;
    // The peer table now, ascending key order; re-arms WM_PEERS_CHANGED. Nothing after shutdown.
    virtual std::optional<std::vector<PeerEntry>> TakePeersSnapshot() = 0;
    // Stops every thread that could post to the window. Safe to call twice.
    virtual void Shutdown() = 0;
};

// Starts the messenger for window; throws std::system_error with the errno when it cannot start.
using BackendFactory = std::function<std::unique_ptr<MessengerBackend>(platform::MessageWindow&)>;

// The program's factory: a MessengerSession with settings, bound to bind_address.
BackendFactory SessionBackendFactory(const Settings& settings,
                                     std::uint32_t bind_address = platform::kAnyAddress);

}  // namespace veltra
