#include "ui/presentation/peer_rows.h"

#include "common/text.h"

namespace veltra {

std::vector<PeerRow> BuildPeerRows(const std::vector<OnlinePeer>& peers) {
    // The list inserts every peer of the ascending walk at the top, so it reads descending.
    std::vector<PeerRow> rows;
    rows.reserve(peers.size());
    for (auto peer = peers.rbegin(); peer != peers.rend(); ++peer) {
        rows.push_back(PeerRow{AnsiToWide(peer->key), peer->address});
    }
    return rows;
}

std::wstring OnlineCountText(std::size_t rows) {
    return std::to_wstring(rows);
}

}  // namespace veltra
