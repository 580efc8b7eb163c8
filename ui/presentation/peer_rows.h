#pragma once
// The rows of the list of users, built from the session's peers, for every front end.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/messenger_session.h"

namespace veltra {

struct PeerRow {
    // The peer key "user (address|host)" as wide text; this instance's own row has
    // kOwnRowMark after it.
    std::wstring text;
    std::uint32_t address;   // the peer's IPv4 address, network order: the row keeps it itself
    std::wstring name;       // the user's name
    std::wstring host = {};  // the host's name
};

// Follows the key in the row of this instance itself, so the user finds themselves in the list.
inline constexpr wchar_t kOwnRowMark[] = L"（本机）";

// Rows in list order from peers in ascending key order: descending key order (the greatest key
// is the first row). The mark does not move a row.
std::vector<PeerRow> BuildPeerRows(const std::vector<OnlinePeer>& peers);
// The row of rows that shows the same person as person (same address and user name), whatever
// its position; nothing when that person has gone.
std::optional<std::size_t> RowOfPerson(const std::vector<PeerRow>& rows, const PeerRow& person);
// The line that tells the compose dialog's user who the text or files go to:
// "发给：NAME（ADDR）", several recipients joined by "、".
std::wstring RecipientLine(const std::vector<PeerRow>& recipients);
// The online count as shown beside its label: the number of rows in decimal.
std::wstring OnlineCountText(std::size_t rows);

}  // namespace veltra
