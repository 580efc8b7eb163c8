#include "ui/presentation/peer_rows.h"

#include <utility>

#include "common/text.h"
#include "platform/socket.h"

namespace veltra {

std::vector<PeerRow> BuildPeerRows(const std::vector<OnlinePeer>& peers) {
    // The list inserts every peer of the ascending walk at the top, so it reads descending.
    std::vector<PeerRow> rows;
    rows.reserve(peers.size());
    for (auto peer = peers.rbegin(); peer != peers.rend(); ++peer) {
        std::wstring text = AnsiToWide(peer->key);
        if (peer->own) {
            text += kOwnRowMark;
        }
        rows.push_back(PeerRow{std::move(text), peer->address, AnsiToWide(peer->user_name),
                               AnsiToWide(peer->host_name)});
    }
    return rows;
}

std::optional<std::size_t> RowOfPerson(const std::vector<PeerRow>& rows, const PeerRow& person) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].address == person.address && rows[row].name == person.name) {
            return row;
        }
    }
    return std::nullopt;
}

std::wstring RecipientLine(const std::vector<PeerRow>& recipients) {
    std::wstring line = L"发给：";
    for (std::size_t i = 0; i < recipients.size(); ++i) {
        if (i > 0) {
            line += L"、";
        }
        line += recipients[i].name + L"（" + AnsiToWide(platform::InetNtoa(recipients[i].address)) +
                L"）";
    }
    return line;
}

std::wstring OnlineCountText(std::size_t rows) {
    return std::to_wstring(rows);
}

}  // namespace veltra
