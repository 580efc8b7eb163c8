// veltra-console: the messenger without a window, for headless machines, scripts and tests.
// Commands come one per line on standard input; the log and the list of users go to standard
// output as UTF-8, flushed once per batch of events handled.

#include <atomic>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "common/settings.h"
#include "common/settings_file.h"
#include "common/started_thread.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "platform/control_socket.h"
#include "platform/file.h"
#include "platform/termination_signals.h"
#include "platform/utf8.h"
#include "session/messenger_session.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_input.h"
#include "ui/console/console_loop.h"
#include "ui/console/console_options.h"
#include "ui/console/console_queue.h"
#include "ui/console/instance_client.h"
#include "ui/console/json_view.h"
#include "ui/console/text_view.h"
#include "ui/control/control_server.h"
#include "ui/presentation/peer_rows.h"

namespace {

using namespace veltra;

ConsoleMode ModeOf(const ConsoleOptions& options) {
    ConsoleMode mode;
    mode.json = options.json;
    mode.linger = options.linger;
    return mode;
}

// Status 2: a TARGET name that names nobody or several users, as a wrong command line.
constexpr int kUnknownTarget = 2;
// A quit (a termination signal) came while the answers to the announcement were awaited.
constexpr int kInterrupted = 1;

// The address of the one-shot's TARGET. For a name: the list that the answers to the
// announcement built within kAnswersWait, in which the name is looked up (a complaint, with the
// candidates, when it names nobody or several); the events that came meanwhile are shown as
// they would be afterwards. Nothing, with the exit status, when there is none.
std::optional<std::uint32_t> TargetAddress(ConsoleQueue& queue, ConsoleFrontEnd& front_end,
                                           const ConsoleOptions& options, int& status) {
    if (options.target_name.empty()) {
        return options.address;
    }
    const bool answered = HandleFor(
        queue, [&front_end](ConsoleEvent event) { return front_end.Handle(std::move(event)); },
        kAnswersWait);
    if (!answered) {
        status = kInterrupted;
        return std::nullopt;
    }
    const std::optional<std::uint32_t> address =
        front_end.AddressOf(options.target_name, "veltra-console");
    if (!address) {
        status = kUnknownTarget;
    }
    return address;
}

// A message asks for no receipt, so it is done once the datagram is out and said.
int SendMessage(const std::shared_ptr<ConsoleQueue>& queue, MessengerSession& session,
                const ConsoleOptions& options) {
    ConsoleMode mode = ModeOf(options);
    mode.lists = false;
    ConsoleFrontEnd front_end(session, std::cout, std::cerr, mode);
    int status = 0;
    if (const std::optional<std::uint32_t> address =
            TargetAddress(*queue, front_end, options, status)) {
        front_end.SendMessage(*address, options.text);
    }
    front_end.Flush();
    return status;
}

int SendAndWait(const std::shared_ptr<ConsoleQueue>& queue, MessengerSession& session,
                const ConsoleOptions& options) {
    ConsoleMode mode = ModeOf(options);
    mode.lists = false;
    mode.strict = true;
    ConsoleFrontEnd front_end(session, std::cout, std::cerr, mode);
    front_end.Ready();
    int status = 0;
    const std::optional<std::uint32_t> address = TargetAddress(*queue, front_end, options, status);
    if (!address) {
        front_end.Flush();
        return status;
    }
    front_end.Offer(*address, options.paths, options.text);
    front_end.Flush();
    return front_end.EndInput() ? RunConsole(*queue, front_end) : front_end.ExitStatus();
}

// The users that answered the announcement within kAnswersWait, as the users command prints
// them, or one JSON object each. Whatever else comes meanwhile is left to the history.
int ListUsers(const std::shared_ptr<ConsoleQueue>& queue, MessengerSession& session,
              const ConsoleOptions& options) {
    std::vector<PeerRow> rows;
    const bool answered = HandleFor(
        *queue,
        [&session, &rows](ConsoleEvent event) {
            const Event* posted = std::get_if<Event>(&event);
            if (posted == nullptr) {
                return false;  // the input here is only the quit of a termination signal
            }
            if (std::holds_alternative<PeersChanged>(*posted)) {
                if (std::optional<std::vector<OnlinePeer>> peers = session.TakePeers()) {
                    rows = BuildPeerRows(*peers);
                }
            }
            return true;
        },
        kAnswersWait);
    if (!answered) {
        return kInterrupted;
    }
    if (options.json) {
        JsonView(std::cout).ListedUsers(rows);
    } else {
        TextView(std::cout, false).Users(rows);
    }
    std::cout.flush();
    return 0;
}

int RunCommands(const std::shared_ptr<ConsoleQueue>& queue, MessengerSession& session,
                const ConsoleOptions& options) {
    ConsoleFrontEnd front_end(session, std::cout, std::cerr, ModeOf(options));
    front_end.Ready();
    // The reader's last act is to queue the end of input or a quit. A termination signal ends
    // the run while it waits for a line, which nothing can interrupt: it is then left to end
    // with the process, and holds its share of the queue until then.
    const auto reader_done = std::make_shared<std::atomic<bool>>(false);
    std::thread reader([queue, reader_done] {
        ReadConsoleInput(std::cin, *queue);
        *reader_done = true;
    });
    const int status = RunConsole(*queue, front_end);
    if (*reader_done) {
        reader.join();
    } else {
        reader.detach();
    }
    return status;
}

// Prints the newest rows of the history from its file, with no messenger started; 1, said on
// standard error, when the history cannot be read.
int PrintHistory(const ConsoleOptions& options) {
    std::ios::sync_with_stdio(false);
    try {
        const std::optional<platform::Path> file =
            DefaultHistoryFile(platform::MissingFolder::kLeave);
        if (!file || !platform::QueryPath(*file)) {
            return 0;  // nothing kept yet
        }
        HistoryStore store(*file);
        if (store.MovedAside()) {
            std::cerr << platform::WideToUtf8(kHistoryMovedAside) << '\n';
        }
        HistoryQuery query;
        query.limit = options.history_rows;
        const std::vector<HistoryRow> newest_first = store.Read(query);
        const std::vector<HistoryRow> oldest_first(newest_first.rbegin(), newest_first.rend());
        if (options.json) {
            JsonView(std::cout).History(oldest_first);
        } else {
            TextView(std::cout, false).History(oldest_first);
        }
        std::cout.flush();
    } catch (const std::exception& error) {
        std::cerr << "veltra-console: cannot read the history: " << error.what() << '\n';
        return 1;
    }
    return 0;
}

using Run = int (*)(const std::shared_ptr<ConsoleQueue>&, MessengerSession&, const ConsoleOptions&);

// The user's running instance from now on, serving requests through the console's queue; nothing
// when another instance is (the port then refuses this one) or the socket cannot be had, which
// is said and the console runs without it.
std::unique_ptr<ControlServer> ServeControl(const std::shared_ptr<ConsoleQueue>& queue) {
    try {
        return ControlServer::Start(
            [queue](std::shared_ptr<ControlCall> call) {
                queue->PostInput(ConsoleInput{{}, false, std::move(call)});
            },
            platform::ControlFolder());
    } catch (const std::system_error& error) {
        std::cerr << "veltra-console: no control socket: " << error.what() << '\n';
        return nullptr;
    }
}

// Starts the messenger, its events going to a console queue, runs run with it and stops it; 1,
// said on standard error, when it cannot start. With serve, the console is the user's running
// instance while it runs.
int WithMessenger(Run run, const ConsoleOptions& options, bool serve = false) {
    std::ios::sync_with_stdio(false);
    // Only the main thread writes to std::cout; the reader thread must not flush it before
    // each read, as a tied stream would.
    std::cin.tie(nullptr);
    Settings& settings = ProcessSettings();
    for (const std::string& problem : LoadSettingsFile(settings)) {
        std::cerr << "veltra-console: " << problem << '\n';
    }
    if (options.name) {
        settings.user_name = *options.name;
    }
    const auto queue = std::make_shared<ConsoleQueue>();
    std::optional<platform::TerminationSignals> signals;
    std::unique_ptr<ControlServer> control;
    std::unique_ptr<MessengerSession> session;
    std::thread ending;
    try {
        signals.emplace();  // before any thread starts, so that each of them holds them back
        HistoryOptions history;
        history.rows_kept = settings.history_rows;
        session = std::make_unique<MessengerSession>(*queue, settings, kEveryLocalAddress,
                                                     std::move(history));
        // SIGTERM (a shutdown, a logout), SIGHUP and Ctrl+C end the run as quit does, so the
        // peers hear the goodbye; asked again before the run has ended, the console ends at once.
        ending = StartThread<std::thread>("the termination signals", [&signals, queue] {
            if (signals->Wait() == 0) {
                return;
            }
            queue->PostInput(ConsoleInput{ParseConsoleCommand(L"quit"), false});
            if (const int again = signals->Wait(); again != 0) {
                platform::TerminationSignals::EndAtOnce(again);
            }
        });
        if (serve) {
            control = ServeControl(queue);
        }
    } catch (const std::system_error& error) {
        // The step that failed and its object, then the cause: "cannot bind UDP port 2425: ...".
        std::cerr << "veltra-console: cannot start the messenger: " << error.what() << '\n';
        return 1;
    }
    const int status = run(queue, *session, options);
    control.reset();  // no request is taken once the console stops
    signals->Interrupt();
    ending.join();
    // The console takes no more events once it stops, so a download waiting for its room goes on
    // and the session can stop it.
    queue->Close();
    session->Shutdown();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const ConsoleOptionsParse parsed =
        ParseConsoleOptions(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!parsed.options) {
        std::cerr << "veltra-console: " << parsed.error << '\n'
                  << ConsoleUsage() << "Try 'veltra-console --help' for more information.\n";
        return 2;
    }
    const ConsoleOptions& options = *parsed.options;
    switch (options.action) {
        case ConsoleOptions::Action::kHelp:
            std::cout << ConsoleHelp();
            return 0;
        case ConsoleOptions::Action::kVersion:
            std::cout << ConsoleVersion();
            return 0;
        case ConsoleOptions::Action::kHistory:
            return PrintHistory(options);
        case ConsoleOptions::Action::kMessage:
        case ConsoleOptions::Action::kSend:
            // The running instance owns the port: it sends, and this console tells what it did.
            if (const std::optional<int> status =
                    SendThroughInstance(options, std::cout, std::cerr)) {
                return *status;
            }
            return WithMessenger(
                options.action == ConsoleOptions::Action::kSend ? SendAndWait : SendMessage,
                options);
        case ConsoleOptions::Action::kList:
            if (const std::optional<int> status = ListUsersThroughInstance(options, std::cout)) {
                return *status;
            }
            return WithMessenger(ListUsers, options);
        case ConsoleOptions::Action::kRun:
            return WithMessenger(RunCommands, options, true);
    }
    return 2;  // not an action: the switch names them all
}
