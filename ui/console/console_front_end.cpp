#include "ui/console/console_front_end.h"

#include <cwchar>
#include <system_error>
#include <utility>

#include "common/text.h"
#include "engine/window_messages.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/utf8.h"

namespace veltra {

namespace {

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// A received message as the console prints it: every peer-chosen part made fit for a terminal.
std::wstring ConsoleMessageEntry(const MessageReceivedPayload& message) {
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
    if (auto* message = std::get_if<platform::WindowMessage>(&event)) {
        HandleMessage(*message);
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
            if (!session_->CanOfferFiles()) {
                *error_ << "offer: this build cannot serve files\n";
                error_->flush();
                break;
            }
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

void ConsoleFrontEnd::HandleMessage(platform::WindowMessage& message) {
    switch (message.id) {
        case WM_PEERS_CHANGED:
            if (auto snapshot = session_->TakePeersSnapshot()) {
                rows_ = BuildPeerRows(*snapshot);
                PrintRows();
            }
            break;
        case WM_MESSAGE_RECEIVED:
            if (const auto* payload = message.PayloadAs<MessageReceivedPayload>()) {
                Write(*out_, ConsoleMessageEntry(*payload));
            }
            break;
        case WM_FILES_RECEIVED:
            if (const std::wstring entry = FilesReceivedEntry(static_cast<int>(message.wparam));
                !entry.empty()) {
                Write(*out_, entry);
            }
            break;
        case WM_FILE_STARTED:
            if (const auto* file = message.PayloadAs<FileEventPayload>()) {
                progress_.Start(file->size, platform::TickCountMs());
                Write(*out_, FileStartedEntry(TerminalText(AnsiToWide(file->name))));
            }
            break;
        case WM_FILE_PROGRESS:
            Write(*out_,
                  progress_
                      .Progress(static_cast<std::uint64_t>(message.lparam), platform::TickCountMs())
                      .entry);
            break;
        case WM_FILE_DONE:
            if (const auto* file = message.PayloadAs<FileEventPayload>()) {
                Write(*out_, FileDoneEntry(file->outcome));
            }
            break;
        case WM_LOG_NOTICE:
            if (const auto* notice = message.PayloadAs<NoticePayload>()) {
                Write(*out_, TerminalText(notice->text) + L"\n");
            }
            break;
        default:
            break;
    }
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
