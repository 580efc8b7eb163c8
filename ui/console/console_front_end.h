#pragma once
// The console front end: what the main dialog does with each posted event and each user action,
// told to a ConsoleView instead of controls. Runs on the one thread that takes events from the
// ConsoleQueue.

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/time_source.h"
#include "session/messenger_session.h"
#include "ui/console/console_queue.h"
#include "ui/console/console_view.h"
#include "ui/console/offer_tracker.h"
#include "ui/control/control_desk.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {

// Told once history --clear has deleted the whole history.
inline constexpr const wchar_t* kHistoryCleared = L"历史记录已清除";

struct ConsoleMode {
    bool json = false;  // events as JSON lines (JsonView) instead of the log's lines (TextView)
    bool lists = true;  // the text form prints "ready" and the list of users
    // After the end of input, how long offers still waiting for their fetch are served.
    std::chrono::milliseconds linger = std::chrono::seconds(60);
    // One-shot sending: any entry not fetched whole, and any path not offered, fails the run.
    bool strict = false;
};

class ConsoleFrontEnd {
  public:
    // out gets what the view of mode writes, flushed by Flush (once per batch of events); error
    // the complaints about input, flushed per line. time dates progress and the linger, and must
    // outlive the front end.
    ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error,
                    ConsoleMode mode = {}, TimeSource& time = SteadyTime());

    // "ready", once the session has started.
    void Ready();
    // Sends text to address and says so (the msg command, and --message TARGET TEXT).
    void SendMessage(std::uint32_t address, const std::wstring& text);
    // The address a TARGET name means in the list as it stands (LookUpTarget); nothing when it
    // names nobody or several users, which a complaint after "WHO: " says, with the candidates.
    std::optional<std::uint32_t> AddressOf(const std::wstring& name, const std::string& who);
    // Handles one event; false once the console is to shut down: at quit, at the end of input
    // when no offer waits for its fetch, and when the last one was fetched after it.
    bool Handle(ConsoleEvent event);
    // Offers the paths that exist to address, after the text when there is one (see
    // MessengerSession::OfferFiles); each path not offered gets one complaint saying why.
    void Offer(std::uint32_t address, const std::vector<std::wstring>& paths,
               const std::wstring& text = {});
    // As the end of input: false when nothing waits, else the linger starts.
    bool EndInput();
    // While offers wait after the end of input: how long the console still waits for them.
    std::optional<std::chrono::milliseconds> LingerLeft();
    // The linger has passed: every offer still waiting is given up, with one line each.
    void GiveUpWaiting();
    // 0, or 1 when an offer was given up (in strict mode also when one failed or a path was not
    // offered).
    int ExitStatus() const;

    // Sends what was written to out on its way.
    void Flush() { out_->flush(); }

  private:
    // One per kind of event: std::visit picks the one for the event taken. Each tells the view.
    void Show(const PeersChanged& event);
    void Show(const MessageReceived& event);
    void Show(const FilesReceived& event);
    void Show(const BatchStarted& event);
    void Show(const FileStarted& event);
    void Show(const FileProgress& event);
    void Show(const FileDone& event);
    void Show(const LogNotice& event);
    void Show(const OfferServed& event);
    bool HandleCommand(const ConsoleCommand& command);
    // Where a msg or offer command goes: its address, or what its name means in the list.
    std::optional<std::uint32_t> TargetOf(const ConsoleCommand& command);
    // The newest rows of the history, oldest first.
    void ShowHistory(std::size_t rows);
    void Complain(const std::string& line);

    MessengerSession* session_;
    std::ostream* out_;
    std::ostream* error_;
    ConsoleMode mode_;
    TimeSource* time_;
    std::unique_ptr<ConsoleView> view_;
    std::vector<PeerRow> rows_;
    OfferTracker offers_;
    ControlDesk desk_;  // what is sent for requests through the control socket
    std::optional<TimeSource::Clock::time_point> linger_deadline_;
    bool not_offered_ = false;  // a path was missing or could not be listed
};

}  // namespace veltra
