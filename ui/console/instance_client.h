#pragma once
// --send and --message through the user's running instance (the dialogs or another console),
// which owns the port: its replies are written as this console writes them when it runs alone,
// and the exit status is the same.

#include <optional>
#include <ostream>

#include "ui/console/console_options.h"

namespace veltra {

// options: kSend or kMessage. The exit status, or nothing when no instance runs, and the console
// is to work alone.
std::optional<int> SendThroughInstance(const ConsoleOptions& options, std::ostream& out,
                                       std::ostream& error);

// --list: the users the running instance lists, printed as the console prints its own list; the
// exit status, or nothing when no instance runs (or it did not answer in full).
std::optional<int> ListUsersThroughInstance(const ConsoleOptions& options, std::ostream& out);

}  // namespace veltra
