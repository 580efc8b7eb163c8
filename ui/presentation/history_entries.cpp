#include "ui/presentation/history_entries.h"

#include <array>

#include "common/outcome_code.h"
#include "platform/clock.h"
#include "platform/utf8.h"
#include "ui/presentation/log_entries.h"
#include "ui/presentation/sent_entries.h"

namespace veltra {

namespace {

// The rows' texts, made fit for the screen by the front end's rule. Every function below takes
// one; what a peer chose never reaches the screen but through it.
class PeerText {
  public:
    explicit PeerText(PeerTextShown shown) : shown_(shown) {}

    // Peer text as stored (UTF-8).
    std::wstring operator()(const std::string& utf8) const {
        return shown_(platform::Utf8ToWide(utf8), false);
    }
    // A message's text as stored (LF line breaks) with the log's CR LF.
    std::wstring Message(const std::string& utf8) const {
        std::wstring text;
        for (const wchar_t c : platform::Utf8ToWide(utf8)) {
            if (c == L'\n' && (text.empty() || text.back() != L'\r')) {
                text += L'\r';
            }
            text += c;
        }
        return shown_(text, true);
    }

  private:
    PeerTextShown shown_;
};

// "bob（10.0.0.5）", or the host or the address alone for a peer whose name was not known.
std::wstring PeerOf(const HistoryRow& row, const PeerText& shown) {
    const std::string& name = !row.peer_name.empty() ? row.peer_name : row.host;
    if (name.empty()) {
        return shown(row.address);
    }
    return shown(name) + L"（" + shown(row.address) + L"）";
}

std::wstring EntryName(const HistoryRow& row, const PeerText& shown) {
    return (row.folder ? L"文件夹" : L"文件") + shown(row.name);
}

// The log's short reason of a received entry's failure, from the word stored for it.
std::wstring ReceiveFailure(const std::string& reason, const PeerText& shown) {
    constexpr std::array kOutcomes = {
        FileOutcome::kConnectionLost, FileOutcome::kUnreachable, FileOutcome::kDiskFull,
        FileOutcome::kCannotCreate,   FileOutcome::kWriteFailed, FileOutcome::kNameRefused,
        FileOutcome::kPathTooLong,    FileOutcome::kNotServed,   FileOutcome::kCancelled};
    for (const FileOutcome outcome : kOutcomes) {
        if (OutcomeCode(outcome) == reason) {
            return FailureReason(outcome);
        }
    }
    return shown(reason);
}

// Why a path was left out of an offer, from the word stored for it.
std::wstring OfferFailure(const std::string& reason, const PeerText& shown) {
    if (reason == "no_such_file") {
        return L"文件不存在";
    }
    if (reason == "cannot_read") {
        return L"无法读取";
    }
    if (reason == "list_full") {
        return L"列表已满";
    }
    return shown(reason);
}

std::wstring ReceivedEntry(const HistoryRow& row, const PeerText& shown) {
    std::wstring entry = L"来自 " + PeerOf(row, shown) + L": " + EntryName(row, shown);
    if (row.outcome == outcome::kStored) {
        entry += L" 已存于 " + shown(row.stored_path);
    } else {
        entry += L" 接收失败：" + ReceiveFailure(row.reason, shown);
    }
    return entry + L"\r\n";
}

std::wstring OfferedEntry(const HistoryRow& row, const PeerText& shown) {
    const std::wstring head = L"发给 " + PeerOf(row, shown) + L": ";
    const std::wstring name = shown(row.name);
    if (row.outcome == outcome::kSent) {
        return head + SentEntry(name, row.folder);
    }
    if (row.outcome == outcome::kSendFailed) {
        return head + SendFailedEntry(name);
    }
    if (row.outcome == outcome::kNotOffered) {
        return head + L"未能提供" + name + L"：" + OfferFailure(row.reason, shown) + L"\r\n";
    }
    return head + L"已提供" + EntryName(row, shown) + L"\r\n";
}

std::wstring BatchEntry(const HistoryRow& row) {
    FilesReceived batch;
    batch.count = row.count;
    batch.failed = row.failed;
    const std::wstring lines = BatchEndEntry(batch);
    return lines.empty() ? L"==收到0个文件!==\r\n" : lines;
}

}  // namespace

std::wstring ShownAsItIs(std::wstring_view text, bool /*line_breaks*/) {
    return std::wstring(text);
}

std::wstring HistoryEntryText(const HistoryRow& row, PeerTextShown rule) {
    const PeerText shown(rule);
    switch (row.kind) {
        case HistoryKind::kMessageReceived:
            return MessageEntry(shown(row.peer_name), shown(row.address), shown(row.host),
                                shown.Message(row.text));
        case HistoryKind::kMessageSent:
            return L"发给 " + PeerOf(row, shown) + L":\r\n " + shown.Message(row.text) + L"\r\n";
        case HistoryKind::kEntryReceived:
            return ReceivedEntry(row, shown);
        case HistoryKind::kEntryOffered:
            return OfferedEntry(row, shown);
        case HistoryKind::kBatchReceived:
            return BatchEntry(row);
    }
    return L"\r\n";
}

std::wstring HistoryDateTime(const HistoryRow& row) {
    return platform::Utf8ToWide(platform::LocalTimeText(row.time_ms, "%Y-%m-%d %H:%M"));
}

std::wstring HistoryTime(const HistoryRow& row) {
    return platform::Utf8ToWide(platform::LocalTimeText(row.time_ms, "%H:%M"));
}

std::vector<HistoryRow> LastHistoryDay(const HistoryReader& read) {
    HistoryQuery newest;
    newest.limit = 1;
    const std::vector<HistoryRow> last = read(newest);
    if (last.empty()) {
        return {};
    }
    HistoryQuery day;
    day.limit = kLogHistoryRows;
    day.since = platform::LocalDayStart(last.front().time_ms);
    std::vector<HistoryRow> rows = read(day);
    return std::vector<HistoryRow>(rows.rbegin(), rows.rend());
}

std::wstring HistoryLogText(const std::vector<HistoryRow>& rows) {
    if (rows.empty()) {
        return {};
    }
    std::wstring text = L"—— ";
    text += platform::Utf8ToWide(platform::LocalTimeText(rows.front().time_ms, "%Y-%m-%d"));
    text += L" ——\r\n";
    for (const HistoryRow& row : rows) {
        text += HistoryTime(row) + L" " + HistoryEntryText(row, ShownAsItIs);
    }
    return text + kHistoryEndLine + L"\r\n";
}

}  // namespace veltra
