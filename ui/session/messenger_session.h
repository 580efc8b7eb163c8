#pragma once
// One running messenger as a front end sees it: the engine, its listener, the transfer server
// and the downloads, started in order and shut down in reverse. Both front ends (the dialogs and
// the console) own one; it holds no toolkit type.

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "engine/window_messages.h"
#include "platform/window.h"

namespace veltra {

class CMessengerEngine;
class CReceiveListener;

// One entry of an offer as it went out; the window later gets WM_OFFER_SERVED with its file id.
struct OfferedEntry {
    std::int32_t file_id = 0;
    std::wstring path;
    bool directory = false;
    std::uint64_t size = 0;  // a folder's is 0
};

class MessengerSession {
  public:
    // Starts the engine (throws its socket error code as a plain int when it cannot start, also
    // when a thread cannot), registers the listener that posts to window, and announces presence.
    MessengerSession(platform::MessageWindow& window, const Settings& settings,
                     std::uint32_t bind_address = INADDR_ANY);
    ~MessengerSession();
    MessengerSession(const MessengerSession&) = delete;
    MessengerSession& operator=(const MessengerSession&) = delete;

    // Unregisters the listener, cancels and joins downloads, shuts the engine down. Sends
    // nothing. Safe to call twice.
    void Shutdown();

    // A typed message (CR LF line breaks allowed) to address (network order) at port 2425.
    void SendText(std::uint32_t address, const std::wstring& text);
    // Offers files and directories to address; blocks for the offer's pause. Nothing is sent
    // for an empty list, or in a build without the serving side (see CanOfferFiles). Returns the
    // entries that the offer lists: the paths that could be examined, in order. Once a listed
    // entry has been fetched, the window gets WM_OFFER_SERVED for it.
    std::vector<OfferedEntry> OfferFiles(std::uint32_t address,
                                         const std::vector<std::wstring>& paths);
    static bool CanOfferFiles();
    // The refresh request: empties the peer table and announces again. The list keeps its rows
    // until the first answer posts WM_PEERS_CHANGED. Errors are swallowed.
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
