#pragma once
// One running messenger as a front end sees it: the engine, its listener, the transfer server
// and the downloads, started in order and shut down in reverse. Both front ends (the dialogs and
// the console) own one; it holds no toolkit type.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "engine/window_messages.h"
#include "platform/socket.h"
#include "platform/window.h"

namespace veltra {

class CMessengerEngine;
class CReceiveListener;

class MessengerSession {
  public:
    // Starts the engine (throws std::system_error with the errno when it cannot start, also
    // when a thread cannot), registers the listener that posts to window, and announces presence.
    MessengerSession(platform::MessageWindow& window, const Settings& settings,
                     std::uint32_t bind_address = platform::kAnyAddress);
    ~MessengerSession();
    MessengerSession(const MessengerSession&) = delete;
    MessengerSession& operator=(const MessengerSession&) = delete;

    // Unregisters the listener, cancels and joins downloads, shuts the engine down. Sends
    // nothing. Safe to call twice.
    void Shutdown();

    // A typed message (CR LF line breaks allowed) to address (network order) at port 2425.
    void SendText(std::uint32_t address, const std::wstring& text);
    // Offers files and directories to address; blocks for the offer's pause. Nothing is sent
    // for an empty list, or in a build without the serving side (see CanOfferFiles).
    void OfferFiles(std::uint32_t address, const std::vector<std::wstring>& paths);
    static bool CanOfferFiles();
    // The refresh request: empties the peer table and announces again. The list keeps its rows
    // until the first answer posts WM_PEERS_CHANGED. A refresh that fails leaves the list as it
    // is (the user may ask again): the one place its errors end.
    void Refresh();

    // For the WM_PEERS_CHANGED handler: the peer table as it is now (ascending key order), which
    // also lets the next change post a new message. Nothing once the session has shut down.
    std::optional<std::vector<PeerEntry>> TakePeersSnapshot();

    CMessengerEngine& Engine();
    CReceiveListener& Listener();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace veltra
