#pragma once
// The console's command language, one command per line of standard input:
//   users | msg TARGET TEXT | offer TARGET PATH... | refresh | cancel | history [N] |
//   history --clear | help | quit
// TARGET is an IPv4 address, or a user or host name to look up in the list (LookUpTarget).
// Parsing is kept apart from doing, so that every malformed line can be turned away before
// anything is sent.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/presentation/target_lookup.h"

namespace veltra {

enum class ConsoleCommandKind {
    kUsers,         // print the rows of the last rebuild again
    kMessage,       // send text to address
    kOffer,         // offer paths to address
    kRefresh,       // empty the peer table, announce again
    kCancel,        // end the batch of files being received
    kHistory,       // print the last rows of the history
    kClearHistory,  // delete the whole history
    kHelp,          // list the commands (CommandsHelp)
    kQuit,          // shut down and exit 0; also the end of input
};

struct ConsoleCommand {
    ConsoleCommandKind kind = ConsoleCommandKind::kUsers;
    std::uint32_t address = 0;        // network order, for kMessage and kOffer
    std::wstring target;              // kMessage, kOffer: a name to look up; empty for an address
    std::wstring text;                // kMessage: never empty, "\n" already turned into CR LF
    std::vector<std::wstring> paths;  // kOffer: at least one, quotes removed
    std::size_t rows = 0;             // kHistory: how many of the newest, at least one
};

struct ConsoleParse {
    enum class Outcome { kCommand, kBlank, kError };
    Outcome outcome = Outcome::kBlank;
    ConsoleCommand command;
    std::string error;  // kError: one line, UTF-8, without a line end
};

// line: one line of input as wide text, with or without its trailing CR.
ConsoleParse ParseConsoleCommand(std::wstring_view line);

// "Commands:" and one line per command with what it does, each line ended.
std::string CommandsHelp();

// The history's rows printed when no number is given.
inline constexpr std::size_t kHistoryRowsShown = 20;

// A number of rows in decimal, 1 to 1,000,000; nothing for anything else.
std::optional<std::size_t> ParseRowCount(std::string_view text);

// The text of a message as typed: the two characters '\' 'n' stand for a line break, which is
// written CR LF, as the dialog's edit gives it.
std::wstring ExpandLineBreaks(std::wstring_view text);

}  // namespace veltra
