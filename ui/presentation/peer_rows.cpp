#include "ui/presentation/peer_rows.h"

#include "common/text.h"

namespace veltra {

std::vector<PeerRow> BuildPeerRows(const std::vector<PeerEntry>& snapshot) {
    // The list inserts every entry of the ascending walk at the top, so it reads descending.
    std::vector<PeerRow> rows;
    rows.reserve(snapshot.size());
    for (auto entry = snapshot.rbegin(); entry != snapshot.rend(); ++entry) {
        rows.push_back(PeerRow{AnsiToWide(entry->key), entry->record.source_address});
    }
    return rows;
}

std::wstring OnlineCountText(std::size_t rows) {
    return std::to_wstring(rows);
}

}  // namespace veltra
