#pragma once
// One row of the history as it is kept and read back: a message received or sent, an entry of
// an offer received or offered, or a received batch's summary. Texts are UTF-8, as stored; what
// a peer chose (names, text) is kept as text, never interpreted.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

enum class HistoryKind : std::uint8_t {
    kMessageReceived,
    kMessageSent,
    kEntryReceived,  // an offered entry fetched from a peer (a file, or a folder as a whole)
    kEntryOffered,   // a path this user offered to a peer
    kBatchReceived,  // the summary of a received offer: count and failed
};

// The stored name of a kind ("message_received", ...), and back; nothing for an unknown name.
std::string_view KindName(HistoryKind kind);
std::optional<HistoryKind> KindNamed(std::string_view name);

// What the outcome column says.
namespace outcome {
inline constexpr std::string_view kStored = "stored";           // received whole (reason empty)
inline constexpr std::string_view kFailed = "failed";           // not received; reason says why
inline constexpr std::string_view kOffered = "offered";         // listed, not fetched (yet)
inline constexpr std::string_view kSent = "sent";               // the peer fetched it whole
inline constexpr std::string_view kSendFailed = "send_failed";  // serving it failed
inline constexpr std::string_view kNotOffered = "not_offered";  // left out; reason says why
}  // namespace outcome

struct HistoryRow {
    std::int64_t id = 0;       // grows with every row written: newer rows have larger ids
    std::int64_t time_ms = 0;  // when it happened, milliseconds since 1970-01-01 UTC
    HistoryKind kind = HistoryKind::kMessageReceived;
    std::string peer_name{};  // the peer's user name, when known
    std::string address{};    // the peer's IPv4 address, dotted
    std::string host{};       // the peer's host name, when known
    std::string text{};       // a message's text (line breaks as LF)
    std::string name{};       // an entry's top-level name
    bool folder = false;
    std::uint64_t size = 0;  // a file's size as offered; a received folder's bytes
    std::string outcome{};   // see outcome::
    std::string reason{};    // why not: connection_lost, disk_full, no_such_file, connection, ...
    std::string stored_path{};  // a received entry: where it was stored; an offered one: its path
    int count = 0;              // a batch: files stored whole
    int failed = 0;             // a batch: entries that were not

    bool operator==(const HistoryRow&) const = default;
};

// Which rows a reader wants, newest first.
struct HistoryQuery {
    std::size_t limit = 100;
    // Rows whose text, entry name or stored path hold this (as typed, no wildcards); empty: all.
    std::string text{};
    // Rows whose peer name, host or address hold this; empty: all.
    std::string peer{};
    // Rows at or after this time (milliseconds since 1970-01-01 UTC), when given.
    std::optional<std::int64_t> since{};
    // Rows older than the row of this id, when given: the next page after a first one.
    std::optional<std::int64_t> before_id{};
};

}  // namespace veltra
