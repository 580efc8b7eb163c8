#include "ui/console/console_front_end.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

#include "common/text.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/presentation/sent_entries.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {

namespace {

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// A received message as the console prints it: every peer-chosen part made fit for a terminal.
std::wstring ConsoleMessageEntry(const MessageReceived& message) {
    return MessageEntry(TerminalText(AnsiToWide(message.user_name)),
                        AnsiToWide(platform::InetNtoa(message.source_address)),
                        TerminalText(AnsiToWide(message.host_name)),
                        TerminalText(AnsiToWide(message.text), true));
}

// The complaint about a path that did not make it into its offer.
std::string NotOfferedLine(const OfferResult& result) {
    const std::string path = platform::WideToUtf8(result.path.Text());
    switch (result.outcome) {
        case OfferOutcome::kNoSuchFile:
            return "offer: no such file or directory: " + path;
        case OfferOutcome::kListFull:
            return "offer: no room left in the offer: " + path;
        case OfferOutcome::kCannotRead:
        case OfferOutcome::kListed:
            break;
    }
    return "offer: cannot offer: " + path;
}

}  // namespace

std::wstring TerminalText(std::wstring_view text, bool line_breaks) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (line_breaks && c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            shown += L"\r\n ";
            ++i;
        } else if (IsControl(c)) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

ConsoleFrontEnd::ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error,
                                 ConsoleMode mode, TimeSource& time)
    : session_(&session), out_(&out), error_(&error), mode_(mode), time_(&time), json_(out) {}

void ConsoleFrontEnd::Ready() {
    if (mode_.json) {
        json_.Ready();
    } else if (mode_.lists) {
        Write(*out_, L"ready\n");
    }
    Flush();
}

void ConsoleFrontEnd::Complain(const std::string& line) {
    Flush();  // the complaint comes after what was written before it
    *error_ << line << '\n';
    error_->flush();
    if (mode_.json) {
        json_.Error(line);
    }
}

void ConsoleFrontEnd::Write(std::ostream& stream, const std::wstring& text) {
    stream << Utf8Lines(text);
}

bool ConsoleFrontEnd::Handle(ConsoleEvent event) {
    if (const auto* posted = std::get_if<Event>(&event)) {
        std::visit([this](const auto& kind) { Show(kind); }, *posted);
        // Lingering after the end of input: the last fetch ends the run.
        return !linger_deadline_ || offers_.Waiting();
    }
    const ConsoleInput& input = std::get<ConsoleInput>(event);
    if (input.end_of_input) {
        return EndInput();
    }
    switch (input.parse.outcome) {
        case ConsoleParse::Outcome::kBlank:
            return true;
        case ConsoleParse::Outcome::kError:
            Complain(input.parse.error);
            return true;
        case ConsoleParse::Outcome::kCommand:
            break;
    }
    try {
        return HandleCommand(input.parse.command);
    } catch (const std::system_error& error) {
        Complain(std::string("command failed: ") + error.what());
        return true;
    }
}

bool ConsoleFrontEnd::EndInput() {
    if (!offers_.Waiting()) {
        return false;
    }
    linger_deadline_ = time_->Now() + mode_.linger;
    return true;
}

std::optional<std::chrono::milliseconds> ConsoleFrontEnd::LingerLeft() {
    if (!linger_deadline_) {
        return std::nullopt;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*linger_deadline_ - time_->Now());
    return std::max(left, std::chrono::milliseconds(0));
}

void ConsoleFrontEnd::GiveUpWaiting() {
    for (const TrackedOffer& offer : offers_.GiveUp()) {
        if (mode_.json) {
            json_.SendFailed(offer, "not_fetched");
        } else {
            Write(*out_, NotFetchedEntry(TerminalText(offer.entry.path.FileName())));
        }
    }
}

int ConsoleFrontEnd::ExitStatus() const {
    const bool failed =
        offers_.GivenUp() > 0 || (mode_.strict && (offers_.Failed() > 0 || not_offered_));
    return failed ? 1 : 0;
}

void ConsoleFrontEnd::Offer(std::uint32_t address, const std::vector<std::wstring>& paths,
                            const std::wstring& text) {
    const std::vector<platform::Path> offered(paths.begin(), paths.end());
    std::vector<OfferedEntry> listed;
    for (OfferResult& result : session_->OfferFiles(address, offered, text)) {
        if (result.entry) {
            listed.push_back(std::move(*result.entry));
        } else {
            not_offered_ = true;
            Complain(NotOfferedLine(result));
        }
    }
    offers_.Add(address, listed);
    if (mode_.json) {
        for (const OfferedEntry& entry : listed) {
            json_.Offered(TrackedOffer{entry, address});
        }
    }
}

bool ConsoleFrontEnd::HandleCommand(const ConsoleCommand& command) {
    switch (command.kind) {
        case ConsoleCommandKind::kUsers:
            PrintRows();
            break;
        case ConsoleCommandKind::kMessage:
            session_->SendText(command.address, command.text);
            break;
        case ConsoleCommandKind::kOffer:
            Offer(command.address, command.paths);
            break;
        case ConsoleCommandKind::kRefresh:
            session_->Refresh();
            break;
        case ConsoleCommandKind::kQuit:
            return false;
    }
    return true;
}

void ConsoleFrontEnd::Show(const PeersChanged& /*event*/) {
    std::optional<std::vector<OnlinePeer>> peers = session_->TakePeers();
    if (!peers) {
        return;
    }
    rows_ = BuildPeerRows(*peers);
    if (mode_.json) {
        json_.Peers(rows_);
    } else if (mode_.lists) {
        PrintRows();
    }
}

void ConsoleFrontEnd::Show(const MessageReceived& event) {
    if (mode_.json) {
        json_.Message(event);
    } else {
        Write(*out_, ConsoleMessageEntry(event));
    }
}

void ConsoleFrontEnd::Show(const FilesReceived& event) {
    if (mode_.json) {
        json_.Batch(event);
    } else if (const std::wstring entry = BatchEndEntry(event); !entry.empty()) {
        Write(*out_, entry);
    }
}

void ConsoleFrontEnd::Show(const BatchStarted& event) {
    if (mode_.json) {
        json_.BatchFrom(event);
        return;
    }
    Write(*out_, BatchSenderEntry(TerminalText(AnsiToWide(event.user_name)),
                                  AnsiToWide(platform::InetNtoa(event.source_address))));
}

void ConsoleFrontEnd::Show(const FileStarted& event) {
    if (mode_.json) {
        json_.Started(event, time_->NowMs());
        return;
    }
    progress_.Start(event.size, time_->NowMs());
    Write(*out_, FileStartedEntry(TerminalText(AnsiToWide(event.name))));
}

void ConsoleFrontEnd::Show(const FileProgress& event) {
    if (mode_.json) {
        json_.Progress(event.received, time_->NowMs());
    } else {
        Write(*out_, progress_.Progress(event.received, time_->NowMs()).entry);
    }
}

void ConsoleFrontEnd::Show(const FileDone& event) {
    if (mode_.json) {
        json_.Done(event);
    } else {
        Write(*out_, FileDoneEntry(event.outcome));
    }
}

void ConsoleFrontEnd::Show(const LogNotice& event) {
    if (mode_.json) {
        json_.Notice(event.text);
    } else {
        Write(*out_, TerminalText(event.text) + L"\n");
    }
}

void ConsoleFrontEnd::Show(const OfferServed& event) {
    const std::optional<TrackedOffer> offer = offers_.Served(event.file_id, event.whole);
    if (!offer) {
        return;  // not offered by this front end
    }
    if (mode_.json) {
        if (event.whole) {
            json_.Sent(*offer);
        } else {
            json_.SendFailed(*offer, "connection");
        }
        return;
    }
    const std::wstring name = TerminalText(offer->entry.path.FileName());
    Write(*out_, event.whole ? SentEntry(name, offer->entry.directory) : SendFailedEntry(name));
}

void ConsoleFrontEnd::PrintRows() {
    std::wstring text = L"在线人数 " + OnlineCountText(rows_.size()) + L"\n";
    for (const PeerRow& row : rows_) {
        text += L"  " + TerminalText(row.text) + L"\n";
    }
    Write(*out_, text);
}

int RunConsole(ConsoleQueue& queue, ConsoleFrontEnd& front_end) {
    for (bool running = true; running;) {
        // Whatever the last batch wrote is out before the wait: a script waiting for a line sees
        // it at once.
        front_end.Flush();
        std::vector<ConsoleEvent> batch;
        if (const auto left = front_end.LingerLeft()) {
            batch = queue.TakeAllWithin(*left);
            if (batch.empty()) {
                front_end.GiveUpWaiting();
                break;
            }
        } else {
            batch = queue.TakeAll();
        }
        for (ConsoleEvent& event : batch) {
            if (!front_end.Handle(std::move(event))) {
                running = false;
                break;
            }
        }
    }
    front_end.Flush();
    return front_end.ExitStatus();
}

void ReadConsoleInput(std::istream& input, ConsoleQueue& queue) {
    std::string line;
    while (std::getline(input, line)) {
        ConsoleInput parsed{ParseConsoleCommand(platform::Utf8ToWide(line)), false};
        const bool quit = parsed.parse.outcome == ConsoleParse::Outcome::kCommand &&
                          parsed.parse.command.kind == ConsoleCommandKind::kQuit;
        queue.PostInput(std::move(parsed));
        if (quit) {
            // Reading no further lets the main thread join this one without having to interrupt
            // a blocked read.
            return;
        }
    }
    queue.PostInput(ConsoleInput{{}, true});
}

}  // namespace veltra
