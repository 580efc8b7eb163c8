#include "ui/console/console_command.h"

#include "platform/utf8.h"

namespace veltra {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring_view SkipBlanks(std::wstring_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) {
        ++start;
    }
    return text.substr(start);
}

// The first blank-separated word of text; text is left after it.
std::wstring_view TakeWord(std::wstring_view& text) {
    text = SkipBlanks(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) {
        ++end;
    }
    const std::wstring_view word = text.substr(0, end);
    text = text.substr(end);
    return word;
}

ConsoleParse Error(std::string message) {
    ConsoleParse parse;
    parse.outcome = ConsoleParse::Outcome::kError;
    parse.error = std::move(message);
    return parse;
}

ConsoleParse Command(ConsoleCommand command) {
    ConsoleParse parse;
    parse.outcome = ConsoleParse::Outcome::kCommand;
    parse.command = std::move(command);
    return parse;
}

// Blank-separated paths; a path in double quotes may hold blanks.
std::optional<std::vector<std::wstring>> SplitPaths(std::wstring_view text, std::string& error) {
    std::vector<std::wstring> paths;
    for (text = SkipBlanks(text); !text.empty(); text = SkipBlanks(text)) {
        if (text.front() == L'"') {
            const std::size_t close = text.find(L'"', 1);
            if (close == std::wstring_view::npos) {
                error = "offer: a quoted path has no closing quote";
                return std::nullopt;
            }
            if (close == 1) {
                error = "offer: empty path";
                return std::nullopt;
            }
            if (close + 1 < text.size() && !IsBlank(text[close + 1])) {
                error = "offer: a closing quote must end the path";
                return std::nullopt;
            }
            paths.emplace_back(text.substr(1, close - 1));
            text = text.substr(close + 1);
        } else {
            const std::wstring_view word = TakeWord(text);
            if (word.find(L'"') != std::wstring_view::npos) {
                error = "offer: a quote inside a path; quote the whole path";
                return std::nullopt;
            }
            paths.emplace_back(word);
        }
    }
    return paths;
}

// The address or name a command goes to: one word, or a name in double quotes, which may hold
// blanks; text is left after it. Nothing, with error set, when there is none.
std::optional<std::wstring_view> TakeTarget(std::wstring_view& text, std::string& error) {
    text = SkipBlanks(text);
    if (text.empty() || text.front() != L'"') {
        const std::wstring_view word = TakeWord(text);
        if (word.empty()) {
            error = "missing address or name";
            return std::nullopt;
        }
        return word;
    }
    const std::size_t close = text.find(L'"', 1);
    if (close == std::wstring_view::npos || close == 1 ||
        (close + 1 < text.size() && !IsBlank(text[close + 1]))) {
        error = "a name in quotes needs its closing quote, then a blank";
        return std::nullopt;
    }
    const std::wstring_view name = text.substr(1, close - 1);
    text = text.substr(close + 1);
    return name;
}

std::string Narrow(std::wstring_view text) {
    return platform::WideToUtf8(text);
}

}  // namespace

std::wstring ExpandLineBreaks(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
            result += L"\r\n";
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string CommandsHelp() {
    return "Commands:\n"
           "  users                 print the list of users again\n"
           "  msg TARGET TEXT       send TEXT (\\n is a line break) to TARGET: an address,\n"
           "                        or a user or host name in the list (quoted if it has spaces)\n"
           "  offer TARGET PATH...  offer files and directories; quote a path with spaces\n"
           "  refresh               empty the list and announce again\n"
           "  cancel                stop receiving the files that arrive now\n"
           "  history [N]           print the last N messages and transfers (default 20)\n"
           "  history --clear       delete the whole history\n"
           "  help                  list these commands\n"
           "  quit                  shut down and exit at once\n";
}

std::optional<std::size_t> ParseRowCount(std::string_view text) {
    constexpr std::size_t kMostRows = 1000000;
    if (text.empty() || text.size() > 7) {
        return std::nullopt;
    }
    std::size_t rows = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        rows = rows * 10 + static_cast<std::size_t>(c - '0');
    }
    if (rows == 0 || rows > kMostRows) {
        return std::nullopt;
    }
    return rows;
}

ConsoleParse ParseConsoleCommand(std::wstring_view line) {
    if (!line.empty() && line.back() == L'\r') {
        line.remove_suffix(1);
    }
    std::wstring_view rest = line;
    const std::wstring_view verb = TakeWord(rest);
    if (verb.empty()) {
        return ConsoleParse{};
    }

    ConsoleCommand command;
    if (verb == L"users" || verb == L"refresh" || verb == L"cancel" || verb == L"help" ||
        verb == L"quit") {
        if (!SkipBlanks(rest).empty()) {
            return Error(Narrow(verb) + ": takes no arguments");
        }
        command.kind = verb == L"users"     ? ConsoleCommandKind::kUsers
                       : verb == L"refresh" ? ConsoleCommandKind::kRefresh
                       : verb == L"cancel"  ? ConsoleCommandKind::kCancel
                       : verb == L"help"    ? ConsoleCommandKind::kHelp
                                            : ConsoleCommandKind::kQuit;
        return Command(std::move(command));
    }
    if (verb == L"history") {
        const std::wstring_view argument = TakeWord(rest);
        if (!SkipBlanks(rest).empty()) {
            return Error("history: takes a number of rows or --clear");
        }
        if (argument == L"--clear") {
            command.kind = ConsoleCommandKind::kClearHistory;
            return Command(std::move(command));
        }
        command.kind = ConsoleCommandKind::kHistory;
        command.rows = kHistoryRowsShown;
        if (!argument.empty()) {
            const std::optional<std::size_t> rows = ParseRowCount(Narrow(argument));
            if (!rows) {
                return Error("history: not a number of rows from 1 to 1000000: " +
                             Narrow(argument));
            }
            command.rows = *rows;
        }
        return Command(std::move(command));
    }
    if (verb != L"msg" && verb != L"offer") {
        return Error("unknown command: " + Narrow(verb) +
                     " (commands: users, msg TARGET TEXT, offer TARGET PATH..., refresh, cancel, "
                     "history [N], history --clear, help, quit)");
    }

    std::string error;
    const std::optional<std::wstring_view> target = TakeTarget(rest, error);
    if (!target) {
        return Error(Narrow(verb) + ": " + error);
    }
    if (const std::optional<std::uint32_t> address = ParseIpv4(*target)) {
        command.address = *address;
    } else if (LooksLikeIpv4(*target)) {
        return Error(Narrow(verb) + ": not an IPv4 address: " + Narrow(*target));
    } else {
        command.target = *target;
    }
    rest = SkipBlanks(rest);

    if (verb == L"msg") {
        if (rest.empty()) {
            return Error("msg: missing text");
        }
        command.kind = ConsoleCommandKind::kMessage;
        command.text = ExpandLineBreaks(rest);
        return Command(std::move(command));
    }
    std::optional<std::vector<std::wstring>> paths = SplitPaths(rest, error);
    if (!paths) {
        return Error(std::move(error));
    }
    if (paths->empty()) {
        return Error("offer: missing path");
    }
    command.kind = ConsoleCommandKind::kOffer;
    command.paths = std::move(*paths);
    return Command(std::move(command));
}

}  // namespace veltra
