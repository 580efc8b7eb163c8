#include "ui/console/console_front_end.h"

#include <cwchar>
#include <optional>
#include <utility>
#include <variant>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/utf8.h"

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

ConsoleFrontEnd::ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error)
    : session_(&session), out_(&out), error_(&error) {}

void ConsoleFrontEnd::Write(std::ostream& stream, const std::wstring& text) {
    std::wstring lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            continue;
        }
        lines += text[i];
    }
    stream << platform::WideToUtf8(lines);
    stream.flush();
}

bool ConsoleFrontEnd::Handle(ConsoleEvent event) {
    if (const auto* posted = std::get_if<Event>(&event)) {
        std::visit([this](const auto& kind) { Show(kind); }, *posted);
        return true;
    }
    const ConsoleInput& input = std::get<ConsoleInput>(event);
    if (input.end_of_input) {
        return false;
    }
    switch (input.parse.outcome) {
        case ConsoleParse::Outcome::kBlank:
            return true;
        case ConsoleParse::Outcome::kError:
            *error_ << input.parse.error << '\n';
            error_->flush();
            return true;
        case ConsoleParse::Outcome::kCommand:
            break;
    }
    try {
        return HandleCommand(input.parse.command);
    } catch (const std::system_error& error) {
        *error_ << "command failed (error " << error.code().value() << ")\n";
        error_->flush();
        return true;
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
            session_->OfferFiles(command.address, command.paths);
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
    if (std::optional<std::vector<OnlinePeer>> peers = session_->TakePeers()) {
        rows_ = BuildPeerRows(*peers);
        PrintRows();
    }
}

void ConsoleFrontEnd::Show(const MessageReceived& event) {
    Write(*out_, ConsoleMessageEntry(event));
}

void ConsoleFrontEnd::Show(const FilesReceived& event) {
    if (const std::wstring entry = FilesReceivedEntry(event.count); !entry.empty()) {
        Write(*out_, entry);
    }
}

void ConsoleFrontEnd::Show(const FileStarted& event) {
    progress_.Start(event.size, platform::TickCountMs());
    Write(*out_, FileStartedEntry(TerminalText(AnsiToWide(event.name))));
}

void ConsoleFrontEnd::Show(const FileProgress& event) {
    Write(*out_, progress_.Progress(event.received, platform::TickCountMs()).entry);
}

void ConsoleFrontEnd::Show(const FileDone& event) {
    Write(*out_, FileDoneEntry(event.outcome));
}

void ConsoleFrontEnd::Show(const LogNotice& event) {
    Write(*out_, TerminalText(event.text) + L"\n");
}

void ConsoleFrontEnd::PrintRows() {
    std::wstring text = L"在线人数 " + OnlineCountText(rows_.size()) + L"\n";
    for (const PeerRow& row : rows_) {
        text += L"  " + TerminalText(row.text) + L"\n";
    }
    Write(*out_, text);
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
