#pragma once
// One running messenger as a front end sees it, and the front ends' one way into the rest of the
// program: the engine, its listener, the transfer server and the downloads, started in order and
// shut down in reverse. Both front ends (the dialogs and the console) own one; nothing of the
// engine shows through, so a front end includes no engine header.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/event_sink.h"
#include "common/offer_result.h"
#include "common/settings.h"
#include "history/history_recorder.h"
#include "history/history_row.h"

namespace veltra {

// The bind address that stands for every local address.
inline constexpr std::uint32_t kEveryLocalAddress = 0;
// The UDP and TCP port a session binds, and sends to.
inline constexpr std::uint16_t kMessengerPort = 2425;

// A peer as the front ends list it: its key "user (address|host)" in code page 936, which is also
// the text of its row, and its IPv4 address (network order), which the row keeps for a tap. The
// user and host names (code page 936) are there for a front end that shows them apart.
struct OnlinePeer {
    std::string key;
    std::uint32_t address = 0;
    std::string user_name;  // code page 936: with the address, the person behind the row
    std::string host_name;
    // This very instance, heard back: an address of this host, and this host's name.
    bool own = false;
};

class MessengerSession {
  public:
    // Starts the engine (throws std::system_error with the errno when it cannot start, also
    // when a thread cannot), registers the listener that posts to sink, and announces presence.
    // sink must outlive the session. The history (history.sqlite3 in the user's data folder
    // unless history says otherwise) keeps what arrives and what is sent; a history that cannot
    // be had is told to sink once and never keeps the session from starting.
    MessengerSession(EventSink& sink, const Settings& settings,
                     std::uint32_t bind_address = kEveryLocalAddress, HistoryOptions history = {});
    ~MessengerSession();
    MessengerSession(const MessengerSession&) = delete;
    MessengerSession& operator=(const MessengerSession&) = delete;

    // The normal end: tells the peers that this user leaves (a departure, sent where an
    // announcement goes, without waiting for anybody), then unregisters the listener, cancels
    // and joins downloads and shuts the engine down. No event is posted after it returns. Safe
    // to call twice; a session that failed to start sends nothing.
    void Shutdown();

    // A typed message (CR LF line breaks allowed) to address (network order) at port 2425.
    void SendText(std::uint32_t address, const std::wstring& text);
    // Offers files and directories to address, after text when there is one; blocks for the
    // offer's pause. A path that does not exist is left out of the offer, and when none exists
    // nothing at all is sent, the text neither. Returns what became of each path, in order
    // (nothing once the session has shut down). Once a listed entry has been fetched, the sink
    // gets OfferServed for it.
    std::vector<OfferResult> OfferFiles(std::uint32_t address,
                                        const std::vector<platform::Path>& paths,
                                        const std::wstring& text = {});
    // The refresh request: empties the peer table and announces again. The list keeps its rows
    // until the first answer posts PeersChanged. A refresh that fails leaves the list as it is
    // (the user may ask again): the one place its errors end.
    void Refresh();

    // Ends the batch of files being received, as the user asks (see DownloadManager::CancelBatch):
    // its entries that are not stored yet fail as cancelled, and the next waiting batch starts.
    // False when no batch runs (or the session has shut down).
    bool CancelReceiving();

    // The user's new settings take effect: every datagram from now on carries user_name (empty:
    // the account's name), announcements also go to the hosts of broadcast_list, and presence is
    // announced again (after the old name's departure when the name changed). Nothing once the
    // session has shut down. The name must fit the wire (see CheckUserName).
    void ChangeIdentity(const std::wstring& user_name, const std::wstring& broadcast_list);

    // For the PeersChanged handler: the peers as they are now (ascending key order), this
    // instance's own rows marked, which also lets the next change post a new event. Nothing once
    // the session has shut down.
    std::optional<std::vector<OnlinePeer>> TakePeers();

    // The history's rows that query asks for, newest first: messages received and sent, entries
    // received (with where each was stored) and offered, and each received batch's summary.
    // Waits for what was posted or sent before the call to be written first, so the rows include
    // it. Nothing without a history.
    std::vector<HistoryRow> History(const HistoryQuery& query);
    // Deletes the whole history and gives its room on the disk back; false when there is no
    // history or it could not be cleared.
    bool ClearHistory();

  private:
    // The user and host names the list has for address, for the history.
    PeerNames PeerAt(std::uint32_t address) const;

    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace veltra
