#include "ui/console/history_text.h"

#include <array>

#include "common/outcome_code.h"
#include "platform/clock.h"
#include "platform/utf8.h"
#include "ui/console/terminal_text.h"
#include "ui/presentation/log_entries.h"
#include "ui/presentation/sent_entries.h"

namespace veltra {

namespace {

// Peer text as stored (UTF-8), made fit for a terminal.
std::wstring Shown(const std::string& utf8) {
    return TerminalText(platform::Utf8ToWide(utf8));
}

// A message's text as stored (LF line breaks) with the log's CR LF, so that every line after the
// first is indented as the log's are.
std::wstring ShownMessage(const std::string& utf8) {
    std::wstring text;
    for (const wchar_t c : platform::Utf8ToWide(utf8)) {
        if (c == L'\n' && (text.empty() || text.back() != L'\r')) {
            text += L'\r';
        }
        text += c;
    }
    return TerminalText(text, true);
}

std::wstring DateOf(const HistoryRow& row) {
    return platform::Utf8ToWide(platform::LocalTimeText(row.time_ms, "%Y-%m-%d %H:%M")) + L" ";
}

// "bob（10.0.0.5）", or the host or the address alone for a peer whose name was not known.
std::wstring PeerOf(const HistoryRow& row) {
    const std::string& name = !row.peer_name.empty() ? row.peer_name : row.host;
    if (name.empty()) {
        return Shown(row.address);
    }
    return Shown(name) + L"（" + Shown(row.address) + L"）";
}

std::wstring EntryName(const HistoryRow& row) {
    return (row.folder ? L"文件夹" : L"文件") + Shown(row.name);
}

// The log's short reason of a received entry's failure, from the word stored for it.
std::wstring ReceiveFailure(const std::string& reason) {
    constexpr std::array kOutcomes = {
        FileOutcome::kConnectionLost, FileOutcome::kUnreachable, FileOutcome::kDiskFull,
        FileOutcome::kCannotCreate,   FileOutcome::kWriteFailed, FileOutcome::kNameRefused,
        FileOutcome::kPathTooLong,    FileOutcome::kNotServed,   FileOutcome::kCancelled};
    for (const FileOutcome outcome : kOutcomes) {
        if (OutcomeCode(outcome) == reason) {
            return FailureReason(outcome);
        }
    }
    return Shown(reason);
}

// Why a path was left out of an offer, from the word stored for it.
std::wstring OfferFailure(const std::string& reason) {
    if (reason == "no_such_file") {
        return L"文件不存在";
    }
    if (reason == "cannot_read") {
        return L"无法读取";
    }
    if (reason == "list_full") {
        return L"列表已满";
    }
    return Shown(reason);
}

std::wstring ReceivedEntry(const HistoryRow& row) {
    std::wstring entry = L"来自 " + PeerOf(row) + L": " + EntryName(row);
    if (row.outcome == outcome::kStored) {
        entry += L" 已存于 " + Shown(row.stored_path);
    } else {
        entry += L" 接收失败：" + ReceiveFailure(row.reason);
    }
    return entry + L"\r\n";
}

std::wstring OfferedEntry(const HistoryRow& row) {
    const std::wstring head = L"发给 " + PeerOf(row) + L": ";
    const std::wstring name = Shown(row.name);
    if (row.outcome == outcome::kSent) {
        return head + SentEntry(name, row.folder);
    }
    if (row.outcome == outcome::kSendFailed) {
        return head + SendFailedEntry(name);
    }
    if (row.outcome == outcome::kNotOffered) {
        return head + L"未能提供" + name + L"：" + OfferFailure(row.reason) + L"\r\n";
    }
    return head + L"已提供" + EntryName(row) + L"\r\n";
}

std::wstring BatchEntry(const HistoryRow& row) {
    FilesReceived batch;
    batch.count = row.count;
    batch.failed = row.failed;
    const std::wstring lines = BatchEndEntry(batch);
    return lines.empty() ? L"==收到0个文件!==\r\n" : lines;
}

}  // namespace

std::wstring HistoryEntry(const HistoryRow& row) {
    std::wstring entry = DateOf(row);
    switch (row.kind) {
        case HistoryKind::kMessageReceived:
            return entry + MessageEntry(Shown(row.peer_name), Shown(row.address), Shown(row.host),
                                        ShownMessage(row.text));
        case HistoryKind::kMessageSent:
            return entry + L"发给 " + PeerOf(row) + L":\r\n " + ShownMessage(row.text) + L"\r\n";
        case HistoryKind::kEntryReceived:
            return entry + ReceivedEntry(row);
        case HistoryKind::kEntryOffered:
            return entry + OfferedEntry(row);
        case HistoryKind::kBatchReceived:
            return entry + BatchEntry(row);
    }
    return entry + L"\r\n";
}

}  // namespace veltra
