#pragma once
// What a row of the history says about an event: the conversion from what the workers post (code
// page 936, network-order addresses) and from what the session sends, to rows in UTF-8.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/events.h"
#include "common/offer_result.h"
#include "history/history_row.h"

namespace veltra {

// Who a message or an offer went to, as the list of users knows them (empty when it does not).
struct PeerNames {
    std::string user_name{};  // code page 936
    std::string host_name{};
};

// The reason stored for a received entry that failed: "connection_lost", "disk_full", ...
std::string_view ReasonOf(FileOutcome outcome);

HistoryRow MessageRow(std::int64_t time_ms, const MessageReceived& message);
HistoryRow SentRow(std::int64_t time_ms, std::uint32_t address, const PeerNames& peer,
                   std::wstring_view text);
// One row per entry of the batch, then the batch's summary.
std::vector<HistoryRow> BatchRows(std::int64_t time_ms, const FilesReceived& batch);
// The row of one path offered (listed or left out).
HistoryRow OfferedRow(std::int64_t time_ms, std::uint32_t address, const PeerNames& peer,
                      const OfferResult& result);

}  // namespace veltra
