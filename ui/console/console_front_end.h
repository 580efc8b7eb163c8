#pragma once
// The console front end: what the main dialog does with each posted event and each user action,
// written as UTF-8 lines instead of controls. Runs on the one thread that takes events from the
// ConsoleQueue.

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "session/messenger_session.h"
#include "ui/console/console_queue.h"
#include "ui/presentation/log_entries.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {

class ConsoleFrontEnd {
  public:
    // out gets the log and the list, error the complaints about input; both flushed per line.
    ConsoleFrontEnd(MessengerSession& session, std::ostream& out, std::ostream& error);

    // Handles one event; false once the console is to shut down (quit or end of input).
    bool Handle(ConsoleEvent event);

    // Writes wide text as UTF-8 with every CR LF written as LF, and flushes.
    static void Write(std::ostream& stream, const std::wstring& text);

  private:
    // One per kind of event: std::visit picks the one for the event taken.
    void Show(const PeersChanged& event);
    void Show(const MessageReceived& event);
    void Show(const FilesReceived& event);
    void Show(const BatchStarted& event);
    void Show(const FileStarted& event);
    void Show(const FileProgress& event);
    void Show(const FileDone& event);
    void Show(const LogNotice& event);
    bool HandleCommand(const ConsoleCommand& command);
    void PrintRows();

    MessengerSession* session_;
    std::ostream* out_;
    std::ostream* error_;
    std::vector<PeerRow> rows_;
    TransferProgress progress_;
};

// Text that a peer chose (user and host names, messages, file names), made fit for a terminal:
// every C0 control character, DEL and every C1 control (U+0080..U+009F) is shown as "\xNN", so no
// peer can recolour, clear or move about the terminal. With line_breaks (a message's text), each
// CR LF stays a line break, and the line after it is indented by one space like the message's
// first line: nothing a peer sends can start a line of its own.
std::wstring TerminalText(std::wstring_view text, bool line_breaks = false);

// The input reader's loop: parses each line of input and queues it, until a quit command or the
// end of input (which is queued as well). Lines are UTF-8.
void ReadConsoleInput(std::istream& input, ConsoleQueue& queue);

}  // namespace veltra
