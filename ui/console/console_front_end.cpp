#include "ui/console/console_front_end.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "common/text.h"
#include "engine/window_messages.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/presentation/sent_entries.h"

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

ConsoleFrontEnd::ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error,
                                 ConsoleMode mode)
    : session_(&session), out_(&out), error_(&error), mode_(mode), json_(out) {}

void ConsoleFrontEnd::Ready() {
    if (mode_.json) {
        json_.Ready();
    } else if (mode_.lists) {
        Write(*out_, L"ready\n");
    }
}

void ConsoleFrontEnd::Complain(const std::string& line) {
    *error_ << line << '\n';
    error_->flush();
    if (mode_.json) {
        json_.Error(line);
    }
}

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
    } catch (int code) {
        Complain("command failed (error " + std::to_string(code) + ")");
        return true;
    }
}

bool ConsoleFrontEnd::EndInput() {
    if (!offers_.Waiting()) {
        return false;
    }
    linger_deadline_ = std::chrono::steady_clock::now() + mode_.linger;
    return true;
}

void ConsoleFrontEnd::GiveUpWaiting() {
    for (const TrackedOffer& offer : offers_.GiveUp()) {
        if (mode_.json) {
            json_.SendFailed(offer, "not_fetched");
        } else {
            Write(*out_, NotFetchedEntry(TerminalText(OfferedName(offer.entry.path))));
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
    std::vector<std::wstring> existing;
    for (const std::wstring& path : paths) {
        if (platform::PathExists(path)) {
            existing.push_back(path);
        } else {
            not_offered_ = true;
            Complain("offer: no such file or directory: " + platform::WideToUtf8(path));
        }
    }
    if (existing.empty()) {
        return;
    }
    if (!text.empty()) {
        session_->SendText(address, text);
    }
    const std::vector<OfferedEntry> listed = session_->OfferFiles(address, existing);
    // Listed in order: a path missing from the list could not be read, or found no room.
    auto next = listed.begin();
    for (const std::wstring& path : existing) {
        if (next != listed.end() && next->path == path) {
            ++next;
        } else {
            not_offered_ = true;
            Complain("offer: cannot offer: " + platform::WideToUtf8(path));
        }
    }
    offers_.Add(address, listed);
    if (mode_.json) {
        for (const OfferedEntry& entry : listed) {
            json_.Offered(TrackedOffer{entry, address});
        }
    }
}

void ConsoleFrontEnd::HandleOfferServed(const OfferServedPayload& served) {
    const std::optional<TrackedOffer> offer = offers_.Served(served.file_id, served.whole);
    if (!offer) {
        return;  // offered before a restart of the tracking, or not by this front end
    }
    if (mode_.json) {
        if (served.whole) {
            json_.Sent(*offer);
        } else {
            json_.SendFailed(*offer, "connection");
        }
        return;
    }
    const std::wstring name = TerminalText(OfferedName(offer->entry.path));
    Write(*out_, served.whole ? SentEntry(name, offer->entry.directory) : SendFailedEntry(name));
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
                Complain("offer: this build cannot serve files");
                break;
            }
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

void ConsoleFrontEnd::HandleMessage(platform::WindowMessage& message) {
    if (message.id == WM_OFFER_SERVED) {
        if (const auto* served = message.PayloadAs<OfferServedPayload>()) {
            HandleOfferServed(*served);
        }
        return;
    }
    if (mode_.json) {
        HandleMessageAsJson(message);
        return;
    }
    switch (message.id) {
        case WM_PEERS_CHANGED:
            if (auto snapshot = session_->TakePeersSnapshot()) {
                rows_ = BuildPeerRows(*snapshot);
                if (mode_.lists) {
                    PrintRows();
                }
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

void ConsoleFrontEnd::HandleMessageAsJson(platform::WindowMessage& message) {
    switch (message.id) {
        case WM_PEERS_CHANGED:
            if (auto snapshot = session_->TakePeersSnapshot()) {
                rows_ = BuildPeerRows(*snapshot);
                json_.Peers(*snapshot);
            }
            break;
        case WM_MESSAGE_RECEIVED:
            if (const auto* payload = message.PayloadAs<MessageReceivedPayload>()) {
                json_.Message(*payload);
            }
            break;
        case WM_FILES_RECEIVED:
            json_.Batch(static_cast<int>(message.wparam));
            break;
        case WM_FILE_STARTED:
            if (const auto* file = message.PayloadAs<FileEventPayload>()) {
                json_.FileStarted(*file, platform::TickCountMs());
            }
            break;
        case WM_FILE_PROGRESS:
            json_.Progress(static_cast<std::uint64_t>(message.lparam), platform::TickCountMs());
            break;
        case WM_FILE_DONE:
            if (const auto* file = message.PayloadAs<FileEventPayload>()) {
                json_.FileDone(*file, static_cast<std::uint64_t>(message.lparam));
            }
            break;
        case WM_LOG_NOTICE:
            if (const auto* notice = message.PayloadAs<NoticePayload>()) {
                json_.Notice(notice->text);
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

int RunConsole(ConsoleQueue& queue, ConsoleFrontEnd& front_end) {
    for (;;) {
        std::optional<ConsoleEvent> event;
        if (const auto deadline = front_end.LingerDeadline()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            event = queue.TakeWithin(std::max(left, std::chrono::milliseconds(0)));
            if (!event) {
                front_end.GiveUpWaiting();
                break;
            }
        } else {
            event = queue.Take();
        }
        if (!front_end.Handle(std::move(*event))) {
            break;
        }
    }
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
