#pragma once
// The messages by which worker threads reach the window of a front end, and what each one
// carries. Payloads are copies owned by the message: a handler never reads a record that the
// posting thread may already have freed or changed.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/packet.h"
#include "engine/peer_table.h"
#include "platform/window.h"

namespace veltra {

inline constexpr unsigned WM_PEERS_CHANGED = platform::kWmUser + 100;
inline constexpr unsigned WM_MESSAGE_RECEIVED = platform::kWmUser + 101;
inline constexpr unsigned WM_FILES_RECEIVED = platform::kWmUser + 102;
inline constexpr unsigned WM_FILE_STARTED = platform::kWmUser + 103;
inline constexpr unsigned WM_FILE_PROGRESS = platform::kWmUser + 104;
inline constexpr unsigned WM_FILE_DONE = platform::kWmUser + 105;
inline constexpr unsigned WM_LOG_NOTICE = platform::kWmUser + 106;

// WM_PEERS_CHANGED: the peer table has changed since the last snapshot was taken. It carries no
// table: the handler takes the latest copy with CReceiveListener::TakePeersSnapshot() (through
// MessengerSession::TakePeersSnapshot() in a front end). Only one such message is pending at a
// time, so a burst of announcements costs a few rebuilds, not one per datagram, and each rebuild
// shows the table as it is when the handler runs. wparam and lparam are 0.

// WM_MESSAGE_RECEIVED: a text message and its sender, copied out of the packet (names and text
// in code page 936, as sent), so that a message costs what it says rather than a whole record.
struct MessageReceivedPayload : platform::MessagePayload {
    std::string user_name;
    std::string host_name;
    std::uint32_t source_address = 0;  // network order
    std::string text;

    static std::unique_ptr<MessageReceivedPayload> From(const PacketRecord& packet) {
        auto payload = std::make_unique<MessageReceivedPayload>();
        payload->user_name = packet.user_name;
        payload->host_name = packet.host_name;
        payload->source_address = packet.source_address;
        payload->text = packet.Message();
        return payload;
    }
};

// How the reception of one offered entry ended: stored whole, or why not.
enum class FileOutcome : std::uint8_t {
    kStored,          // every byte arrived and was written under the name
    kConnectionLost,  // the peer closed, reset or fell silent before every byte had arrived
    kUnreachable,     // no connection to the peer could be made
    kDiskFull,        // no room left (or the quota reached)
    kCannotCreate,    // the file (or the folder it goes in) could not be created or put in place
    kWriteFailed,     // writing failed for another reason
    kNameRefused,     // the name cannot be stored (too long, or "." or "..")
    kPathTooLong,     // the path is too long or the folder nested too deep
};

// WM_FILE_STARTED, WM_FILE_PROGRESS and WM_FILE_DONE: the file's name (code page 936) and size.
// For WM_FILE_PROGRESS and WM_FILE_DONE, lparam holds the bytes of this file received so far
// (64-bit); for WM_FILE_DONE, outcome says how the file ended.
struct FileEventPayload : platform::MessagePayload {
    std::string name;
    std::uint64_t size = 0;
    FileOutcome outcome = FileOutcome::kStored;
};

// WM_FILES_RECEIVED carries in wparam the count of the batch's files that were stored whole, and
// no payload.

// WM_LOG_NOTICE: one line for the log that no other message stands for (an offer dropped, a
// thread that could not start), without its line end; wparam and lparam are 0.
struct NoticePayload : platform::MessagePayload {
    std::wstring text;
};

// WM_OFFER_SERVED: the transfer server has served a request for one offered entry, which has now
// left the offer table: each entry listed in an offer is reported at most once, by its file id.
// whole says that every byte went out and the connection held; it cannot say that the peer stored
// them. Posted by the connection thread; wparam and lparam are 0.
inline constexpr unsigned WM_OFFER_SERVED = platform::kWmUser + 107;

struct OfferServedPayload : platform::MessagePayload {
    std::int32_t file_id = 0;
    std::uint32_t peer_address = 0;  // network order
    std::string name;                // code page 936: the last part of the offered path
    bool directory = false;
    bool whole = false;
};

}  // namespace veltra
