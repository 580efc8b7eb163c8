#include "ui/console/console_front_end.h"

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/console/json_view.h"
#include "ui/console/terminal_text.h"
#include "ui/console/text_view.h"
#include "ui/presentation/target_lookup.h"

namespace veltra {

namespace {

std::unique_ptr<ConsoleView> ViewFor(const ConsoleMode& mode, std::ostream& out) {
    if (mode.json) {
        return std::make_unique<JsonView>(out);
    }
    return std::make_unique<TextView>(out, mode.lists);
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error,
                                 ConsoleMode mode, TimeSource& time)
    : session_(&session),
      out_(&out),
      error_(&error),
      mode_(mode),
      time_(&time),
      view_(ViewFor(mode, out)),
      desk_(session) {}

void ConsoleFrontEnd::Ready() {
    view_->Ready();
    Flush();
}

void ConsoleFrontEnd::SendMessage(std::uint32_t address, const std::wstring& text) {
    session_->SendText(address, text);
    // The user of the address as listed; an address nobody answered from stands for itself.
    const auto row = std::find_if(rows_.begin(), rows_.end(), [address](const PeerRow& peer) {
        return peer.address == address;
    });
    view_->MessageSent(
        row != rows_.end() ? row->name : platform::Utf8ToWide(platform::InetNtoa(address)), address,
        text);
}

std::optional<std::uint32_t> ConsoleFrontEnd::AddressOf(const std::wstring& name,
                                                        const std::string& who) {
    const TargetMatch match = LookUpTarget(name, rows_);
    if (match.outcome == TargetOutcome::kAddress || match.outcome == TargetOutcome::kFound) {
        return match.address;
    }
    // One complaint of several lines: the problem, then the candidates, each made fit for a
    // terminal (their names are the peers' own).
    std::string complaint = who + ":";
    const char* separator = " ";
    for (const std::wstring& line : TargetProblemLines(name, match)) {
        // Appended one by one: GCC 12 at -O3 warns falsely on a literal + string temporary.
        complaint += separator;
        complaint += platform::WideToUtf8(TerminalText(line));
        separator = "\n";
    }
    Complain(complaint);
    return std::nullopt;
}

void ConsoleFrontEnd::Complain(const std::string& line) {
    Flush();  // the complaint comes after what was written before it
    *error_ << line << '\n';
    error_->flush();
    view_->Complaint(line);
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
    if (input.control) {
        // The console has no window to show or compose in.
        if (!desk_.Handle(input.control, rows_)) {
            input.control->Reply(RefusedReply(kNoWindowError, 1));
        }
        return true;
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
        view_->SendFailed(offer, SendFailure::kNotFetched);
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
    for (const OfferedEntry& entry : listed) {
        view_->Offered(TrackedOffer{entry, address});
    }
}

bool ConsoleFrontEnd::HandleCommand(const ConsoleCommand& command) {
    switch (command.kind) {
        case ConsoleCommandKind::kUsers:
            view_->Users(rows_);
            break;
        case ConsoleCommandKind::kMessage:
            if (const auto address = TargetOf(command)) {
                SendMessage(*address, command.text);
            }
            break;
        case ConsoleCommandKind::kOffer:
            if (const auto address = TargetOf(command)) {
                Offer(*address, command.paths);
            }
            break;
        case ConsoleCommandKind::kRefresh:
            session_->Refresh();
            break;
        case ConsoleCommandKind::kCancel:
            if (!session_->CancelReceiving()) {
                Complain("cancel: nothing is being received");
            }
            break;
        case ConsoleCommandKind::kHelp:
            view_->Help(CommandsHelp());
            break;
        case ConsoleCommandKind::kHistory:
            ShowHistory(command.rows);
            break;
        case ConsoleCommandKind::kClearHistory:
            if (session_->ClearHistory()) {
                view_->Notice(kHistoryCleared);
            } else {
                Complain("history: the history could not be cleared");
            }
            break;
        case ConsoleCommandKind::kQuit:
            return false;
    }
    return true;
}

std::optional<std::uint32_t> ConsoleFrontEnd::TargetOf(const ConsoleCommand& command) {
    if (command.target.empty()) {
        return command.address;
    }
    return AddressOf(command.target,
                     command.kind == ConsoleCommandKind::kMessage ? "msg" : "offer");
}

void ConsoleFrontEnd::ShowHistory(std::size_t rows) {
    HistoryQuery query;
    query.limit = rows;
    std::vector<HistoryRow> newest_first = session_->History(query);
    // Newest last, so that it reads on into the log.
    view_->History(std::vector<HistoryRow>(newest_first.rbegin(), newest_first.rend()));
}

void ConsoleFrontEnd::Show(const PeersChanged& /*event*/) {
    std::optional<std::vector<OnlinePeer>> peers = session_->TakePeers();
    if (!peers) {
        return;
    }
    rows_ = BuildPeerRows(*peers);
    view_->Peers(rows_);
}

void ConsoleFrontEnd::Show(const MessageReceived& event) {
    view_->Message(event);
}

void ConsoleFrontEnd::Show(const FilesReceived& event) {
    view_->BatchEnd(event);
}

void ConsoleFrontEnd::Show(const BatchStarted& event) {
    view_->BatchStart(event);
}

void ConsoleFrontEnd::Show(const FileStarted& event) {
    view_->FileStart(event, time_->NowMs());
}

void ConsoleFrontEnd::Show(const FileProgress& event) {
    view_->Progress(event.received, time_->NowMs());
}

void ConsoleFrontEnd::Show(const FileDone& event) {
    view_->FileEnd(event);
}

void ConsoleFrontEnd::Show(const LogNotice& event) {
    view_->Notice(event.text);
}

void ConsoleFrontEnd::Show(const OfferServed& event) {
    const std::optional<TrackedOffer> offer = offers_.Served(event.file_id, event.whole);
    if (!offer) {
        desk_.Served(event);  // an asker's, or offered by no one still waiting
        return;
    }
    if (event.whole) {
        view_->Sent(*offer);
    } else {
        view_->SendFailed(*offer, SendFailure::kServing);
    }
}

}  // namespace veltra
