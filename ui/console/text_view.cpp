#include "ui/console/text_view.h"

#include "common/text.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/console/history_text.h"
#include "ui/console/terminal_text.h"
#include "ui/presentation/sent_entries.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {

std::wstring UserListText(const std::vector<PeerRow>& rows) {
    std::wstring text = L"在线人数 " + OnlineCountText(rows.size()) + L"\n";
    for (const PeerRow& row : rows) {
        text += L"  " + TerminalText(row.text) + L"\n";
    }
    return text;
}

void TextView::Write(std::wstring_view text) {
    *out_ << Utf8Lines(text);
}

void TextView::Ready() {
    if (lists_) {
        Write(L"ready\n");
    }
}

void TextView::Peers(const std::vector<PeerRow>& rows) {
    if (lists_) {
        Users(rows);
    }
}

void TextView::Users(const std::vector<PeerRow>& rows) {
    Write(UserListText(rows));
}

void TextView::Help(std::string_view utf8_text) {
    *out_ << utf8_text;
}

void TextView::Message(const MessageReceived& message) {
    Write(MessageEntry(TerminalText(AnsiToWide(message.user_name)),
                       AnsiToWide(platform::InetNtoa(message.source_address)),
                       TerminalText(AnsiToWide(message.host_name)),
                       TerminalText(AnsiToWide(message.text), true)));
}

void TextView::MessageSent(std::wstring_view user, std::uint32_t address, std::wstring_view text) {
    Write(SentMessageEntry(TerminalText(std::wstring(user)),
                           AnsiToWide(platform::InetNtoa(address)),
                           TerminalText(std::wstring(text), true)));
}

void TextView::BatchStart(const BatchStarted& batch) {
    Write(BatchSenderEntry(TerminalText(AnsiToWide(batch.user_name)),
                           AnsiToWide(platform::InetNtoa(batch.source_address))));
}

void TextView::BatchEnd(const FilesReceived& batch) {
    Write(BatchEndEntry(batch));
}

void TextView::FileStart(const FileStarted& file, std::uint32_t now_ms) {
    progress_.Start(file.size, now_ms);
    static const std::string started = platform::WideToUtf8(kFileStartedText);
    line_.assign(started);
    AppendTerminalUtf8(line_, AnsiToWide(file.name));
    line_ += '\n';
    *out_ << line_;
}

void TextView::Progress(std::uint64_t received, std::uint32_t now_ms) {
    line_.clear();
    if (progress_.AppendLine(received, now_ms, line_)) {
        *out_ << line_;
    }
}

void TextView::FileEnd(const FileDone& file) {
    if (file.outcome == FileOutcome::kStored) {
        static const std::string stored = Utf8Lines(FileDoneEntry(FileOutcome::kStored));
        *out_ << stored;
    } else {
        Write(FileDoneEntry(file.outcome));
    }
}

void TextView::Notice(std::wstring_view text) {
    Write(TerminalText(text) + L"\n");
}

void TextView::Offered(const TrackedOffer& /*offer*/) {
    // Offering says nothing here: a path not offered is complained about, and each entry's line
    // comes once its fetch is over.
}

void TextView::Sent(const TrackedOffer& offer) {
    Write(SentEntry(TerminalText(offer.entry.path.FileName()), offer.entry.directory));
}

void TextView::SendFailed(const TrackedOffer& offer, SendFailure reason) {
    const std::wstring name = TerminalText(offer.entry.path.FileName());
    Write(reason == SendFailure::kNotFetched ? NotFetchedEntry(name) : SendFailedEntry(name));
}

void TextView::Complaint(std::string_view /*utf8_line*/) {
    // Standard error has it; the log's lines stay the log's.
}

void TextView::History(const std::vector<HistoryRow>& rows) {
    for (const HistoryRow& row : rows) {
        Write(HistoryEntry(row));
    }
}

}  // namespace veltra
