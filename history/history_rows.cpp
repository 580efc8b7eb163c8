#include "history/history_rows.h"

#include "common/outcome_code.h"
#include "common/text.h"
#include "platform/socket.h"
#include "platform/utf8.h"

namespace veltra {

namespace {

std::string Utf8OfAnsi(std::string_view text) {
    return platform::WideToUtf8(AnsiToWide(text));
}

// Line breaks as LF, whichever way they came (a peer's CR LF, a dialog's CR LF).
std::string Utf8Text(std::wstring_view text) {
    std::wstring plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            continue;
        }
        plain.push_back(text[i]);
    }
    return platform::WideToUtf8(plain);
}

HistoryRow PeerRow(std::int64_t time_ms, HistoryKind kind, std::uint32_t address,
                   std::string_view user_name, std::string_view host_name) {
    HistoryRow row;
    row.time_ms = time_ms;
    row.kind = kind;
    row.peer_name = Utf8OfAnsi(user_name);
    row.host = Utf8OfAnsi(host_name);
    row.address = platform::InetNtoa(address);
    return row;
}

std::string_view ReasonOf(OfferOutcome outcome) {
    switch (outcome) {
        case OfferOutcome::kListed:
            return "";
        case OfferOutcome::kNoSuchFile:
            return "no_such_file";
        case OfferOutcome::kCannotRead:
            return "cannot_read";
        case OfferOutcome::kListFull:
            return "list_full";
    }
    return "";
}

}  // namespace

std::string_view ReasonOf(FileOutcome outcome) {
    return outcome == FileOutcome::kStored ? std::string_view{} : OutcomeCode(outcome);
}

HistoryRow MessageRow(std::int64_t time_ms, const MessageReceived& message) {
    HistoryRow row = PeerRow(time_ms, HistoryKind::kMessageReceived, message.source_address,
                             message.user_name, message.host_name);
    row.text = Utf8Text(AnsiToWide(message.text));
    return row;
}

HistoryRow SentRow(std::int64_t time_ms, std::uint32_t address, const PeerNames& peer,
                   std::wstring_view text) {
    HistoryRow row =
        PeerRow(time_ms, HistoryKind::kMessageSent, address, peer.user_name, peer.host_name);
    row.text = Utf8Text(text);
    return row;
}

std::vector<HistoryRow> BatchRows(std::int64_t time_ms, const FilesReceived& batch) {
    const HistoryRow peer = PeerRow(time_ms, HistoryKind::kEntryReceived, batch.source_address,
                                    batch.user_name, batch.host_name);
    std::vector<HistoryRow> rows;
    rows.reserve(batch.entries.size() + 1);
    for (const EntryEnded& entry : batch.entries) {
        HistoryRow& row = rows.emplace_back(peer);
        row.name = Utf8OfAnsi(entry.name);
        row.folder = entry.folder;
        row.size = entry.folder ? entry.received : entry.size;
        row.outcome = entry.outcome == FileOutcome::kStored ? outcome::kStored : outcome::kFailed;
        row.reason = ReasonOf(entry.outcome);
        if (entry.stored) {
            row.stored_path = entry.stored->Host();
        }
    }
    HistoryRow& summary = rows.emplace_back(peer);
    summary.kind = HistoryKind::kBatchReceived;
    summary.count = batch.count;
    summary.failed = batch.failed;
    return rows;
}

HistoryRow OfferedRow(std::int64_t time_ms, std::uint32_t address, const PeerNames& peer,
                      const OfferResult& result) {
    HistoryRow row =
        PeerRow(time_ms, HistoryKind::kEntryOffered, address, peer.user_name, peer.host_name);
    row.name = platform::WideToUtf8(result.path.FileName());
    row.stored_path = result.path.Host();
    if (result.entry) {
        row.folder = result.entry->directory;
        row.size = result.entry->size;
        row.outcome = outcome::kOffered;
    } else {
        row.outcome = outcome::kNotOffered;
        row.reason = ReasonOf(result.outcome);
    }
    return row;
}

}  // namespace veltra
