#pragma once
// The rows of the list of users, built from the session's peers, for every front end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "session/messenger_session.h"

namespace veltra {

struct PeerRow {
    std::wstring text;      // the peer key "user (address|host)" as wide text
    std::uint32_t address;  // the peer's IPv4 address, network order: the row keeps it itself
};

// Rows in list order from peers in ascending key order: descending key order (the greatest key
// is the first row).
std::vector<PeerRow> BuildPeerRows(const std::vector<OnlinePeer>& peers);
// The online count as shown beside its label: the number of rows in decimal.
std::wstring OnlineCountText(std::size_t rows);

}  // namespace veltra
