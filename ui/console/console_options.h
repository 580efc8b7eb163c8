#pragma once
// The command line of veltra-console. It is read before anything starts, so that --help,
// --version and a mistyped option are answered without opening a socket.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

struct ConsoleOptions {
    enum class Action {
        kRun,      // start the messenger and take commands from standard input
        kSend,     // offer paths to one address or name, wait for their fetch, exit
        kMessage,  // send one message to one address or name, exit
        kList,     // print the users that answer an announcement, exit
        kHelp,     // print the help text, exit 0
        kVersion,  // print the version, exit 0
        kHistory,  // print the newest rows of the history, exit; no socket is opened
    };
    Action action = Action::kRun;
    bool json = false;                                       // --json
    std::chrono::seconds linger = std::chrono::seconds(60);  // --linger SECONDS
    std::uint32_t address = 0;                               // kSend, kMessage: network order
    std::size_t history_rows = 0;                            // kHistory: at least one
    std::vector<std::wstring> paths;                         // kSend: at least one
    std::wstring text;                 // kMessage: never empty; kSend: may be; CR LF line breaks
    std::optional<std::wstring> name;  // --name NAME: the user name for this run, fit for the wire
    // kSend, kMessage: a name to look up in the list; empty when address is the target.
    std::wstring target_name;
};

struct ConsoleOptionsParse {
    std::optional<ConsoleOptions> options;  // empty when the command line is refused
    std::string error;                      // then one line naming what was wrong
};

// args: the arguments after the program's name, UTF-8. Read in order, as GNU programs do: the
// first --help or --version answers, whatever follows it; a wrong argument before it refuses the
// line. After --send TARGET, every argument up to the next option is a path.
ConsoleOptionsParse ParseConsoleOptions(const std::vector<std::string_view>& args);

// The synopsis, with its line end; it follows every refusal on standard error.
std::string ConsoleUsage();
// The text of --help: synopsis, commands and options.
std::string ConsoleHelp();
// The text of --version: the program's name and the project's version, with a line end.
std::string ConsoleVersion();

}  // namespace veltra
