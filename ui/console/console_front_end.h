#pragma once
// The console front end: what the main dialog does with each posted message and each user
// action, written as UTF-8 lines instead of controls. Runs on the one thread that takes events
// from the ConsoleQueue.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "ui/console/console_queue.h"
#include "ui/presentation/log_entries.h"
#include "ui/presentation/peer_rows.h"
#include "ui/session/messenger_session.h"

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
    void HandleMessage(platform::WindowMessage& message);
    bool HandleCommand(const ConsoleCommand& command);
    void PrintRows();

    MessengerSession* session_;
    std::ostream* out_;
    std::ostream* error_;
    std::vector<PeerRow> rows_;
    TransferProgress progress_;
};

// The input reader's loop: parses each line of input and queues it, until a quit command or the
// end of input (which is queued as well). Lines are UTF-8.
void ReadConsoleInput(std::istream& input, ConsoleQueue& queue);

}  // namespace veltra
