#include "ui/console/console_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <functional>
#include <utility>

#include "common/settings_file.h"
#include "common/version.h"
#include "platform/utf8.h"
#include "ui/console/console_command.h"

namespace veltra {

namespace {

// The longest linger taken: a day, which no script should need to exceed.
constexpr std::uint32_t kMaxLingerSeconds = 24 * 60 * 60;

// What ends the reading of a command line before its end: a refusal, in one line...
struct Refusal {
    std::string text;
};
// ...or the first --help or --version, which answers whatever follows it.
struct Answer {
    ConsoleOptions::Action action;
};

// Whether arg names the option, alone or with its first value after '='.
bool Names(std::string_view arg, std::string_view name) {
    return arg.starts_with(name) && (arg.size() == name.size() || arg[name.size()] == '=');
}

// An argument that ends the list of paths after --send.
bool IsLongOption(std::string_view arg) {
    return arg.size() > 2 && arg.substr(0, 2) == "--";
}

// How many values the first --send takes: its address and every argument up to the next long
// option, so that a path may begin with a dash ("-dash"). The library would end an open list at
// anything that looks like an option, so the count is fixed before it reads the line.
int SendValueCount(const std::vector<std::string>& args) {
    const auto send = std::find_if(args.begin(), args.end(),
                                   [](const std::string& arg) { return Names(arg, "--send"); });
    if (send == args.end()) {
        return 1;
    }
    const bool address_follows = *send == "--send" || *send == "--send=";
    auto paths = send + 1;
    if (address_follows && paths != args.end()) {
        ++paths;  // the address, whatever it looks like
    }
    const auto end = std::find_if(paths, args.end(), IsLongOption);
    return 1 + static_cast<int>(end - paths);
}

// A message's text from the command line: a typed line break counts as much as "\n".
std::wstring MessageText(std::string_view arg) {
    std::wstring text;
    for (const wchar_t c : platform::Utf8ToWide(arg)) {
        if (c == L'\n' && (text.empty() || text.back() != L'\r')) {
            text += L'\r';
        }
        text += c;
    }
    return ExpandLineBreaks(text);
}

// The address or the name a one-shot option goes to. A name may not begin with a dash, which
// more likely is an option put in the wrong place.
void ReadTarget(const std::string& arg, ConsoleOptions& options) {
    const std::wstring target = platform::Utf8ToWide(arg);
    if (const std::optional<std::uint32_t> address = ParseIpv4(target)) {
        options.address = *address;
    } else if (LooksLikeIpv4(target)) {
        throw Refusal{"not an IPv4 address: '" + arg + "'"};
    } else if (target.starts_with(L'-')) {
        throw Refusal{"not an IPv4 address or a name: '" + arg + "'"};
    } else {
        options.target_name = target;
    }
}

std::string Unexpected(const std::string& arg) {
    return (arg.size() > 1 && arg.front() == '-' ? "unrecognized option '" : "extra operand '") +
           arg + "'";
}

// Seconds are written in decimal; the library's conversion would read "010" as octal.
CLI::Validator Decimal() {
    return CLI::Validator(
        [](std::string& value) {
            const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
            if (value.empty() || !std::all_of(value.begin(), value.end(), digit)) {
                return std::string("not a decimal number");
            }
            value.erase(0, std::min(value.find_first_not_of('0'), value.size() - 1));
            return std::string();
        },
        "DECIMAL");
}

// One command line, read by CLI11 in order. Each option is handled as soon as its values are
// read, so the first --help or --version ends the reading and a mistake before it refuses the
// line. An argument the library does not know waits among its extras until the next option or
// the end, and then refuses the line.
class CommandLine {
  public:
    explicit CommandLine(const std::vector<std::string>& args)
        // With --send, --message takes the offer's text alone; without, an address and a text.
        : sending_(std::any_of(args.begin(), args.end(),
                               [](const std::string& arg) { return Names(arg, "--send"); })) {
        app_.set_help_flag();  // the help text is ours
        app_.allow_extras();
        AddFlag("-h,--help", [] { throw Answer{ConsoleOptions::Action::kHelp}; });
        AddFlag("--version", [] { throw Answer{ConsoleOptions::Action::kVersion}; });
        AddFlag("--json", [this] { options_.json = true; });
        AddFlag("--list", [this] {
            RefuseASecondOneShot();
            list_seen_ = true;
        });
        linger_ = app_.add_option_function<std::uint32_t>(
                          "--linger", [this](const std::uint32_t& seconds) { ReadLinger(seconds); })
                      ->transform(Decimal())
                      ->check(CLI::Range(0U, kMaxLingerSeconds))
                      ->trigger_on_parse();
        name_ = AddOption("--name", &CommandLine::ReadName, 1);
        history_ = app_.add_option("--history",
                                   [this](const CLI::results_t& values) {
                                       RefuseEarlierExtras();
                                       ReadHistory(values);
                                       return true;
                                   })
                       ->expected(0, 1)
                       ->trigger_on_parse();
        send_ = AddOption("--send", &CommandLine::ReadSend, SendValueCount(args));
        message_ = sending_ ? AddOption("--message", &CommandLine::ReadText, 1)
                            : AddOption("--message", &CommandLine::ReadMessage, 2);
    }

    ConsoleOptionsParse Read(const std::vector<std::string>& args) {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // as the library takes them
        try {
            try {
                app_.parse(reversed);
            } catch (const CLI::ParseError& error) {
                ReadCutShort(error);
            }
            RefuseEarlierExtras();
        } catch (const Answer& answer) {
            options_.action = answer.action;
            return {options_, {}};
        } catch (const Refusal& refusal) {
            return {std::nullopt, refusal.text};
        }
        if (history_seen_) {
            options_.action = ConsoleOptions::Action::kHistory;
        } else if (send_seen_) {
            options_.action = ConsoleOptions::Action::kSend;
        } else if (message_seen_) {
            options_.action = ConsoleOptions::Action::kMessage;
        } else if (list_seen_) {
            options_.action = ConsoleOptions::Action::kList;
        }
        return {options_, {}};
    }

  private:
    using ValuesReader = void (CommandLine::*)(const CLI::results_t& values);

    CLI::Option* AddOption(const std::string& name, ValuesReader read, int value_count) {
        const auto handle = [this, read](const CLI::results_t& values) {
            RefuseEarlierExtras();
            (this->*read)(values);
            return true;
        };
        // As one value of that many parts: the library takes the parts whatever they look like.
        return app_.add_option(name, handle)->type_size(value_count)->trigger_on_parse();
    }

    // A flag takes no value: "--help=all" is not one of our options.
    void AddFlag(const std::string& names, std::function<void()> seen) {
        const std::string long_name = names.substr(names.find("--"));
        const auto handle = [this, long_name,
                             seen = std::move(seen)](const CLI::results_t& values) {
            RefuseEarlierExtras();
            if (values.size() != 1 || values.front() != "true") {
                throw Refusal{Unexpected(long_name + "=" + values.back())};
            }
            seen();
            return true;
        };
        app_.add_option(names, handle)->expected(0)->trigger_on_parse();
    }

    void RefuseEarlierExtras() const {
        if (!app_.remaining().empty()) {
            throw Refusal{Unexpected(app_.remaining().front())};
        }
    }

    // The line ended within an option's values, or the library refused a value: its error names
    // the option at its head. The values read are judged as if the line had given no more, so a
    // list of paths that ends before the count SendValueCount foresaw is simply shorter.
    void ReadCutShort(const CLI::ParseError& error) {
        RefuseEarlierExtras();
        const std::string_view what = error.what();
        const auto names = [what](const CLI::Option* option) {
            return what.starts_with(option->get_name() + ":");
        };
        if (names(linger_)) {
            throw Refusal{"option '--linger' needs a number of seconds from 0 to " +
                          std::to_string(kMaxLingerSeconds)};
        }
        if (names(name_)) {
            ReadName(name_->results());
        } else if (names(history_)) {
            ReadHistory(history_->results());
        } else if (names(send_)) {
            ReadSend(send_->results());
        } else if (names(message_)) {
            sending_ ? ReadText(message_->results()) : ReadMessage(message_->results());
        } else {
            throw Refusal{std::string(what)};  // no other is expected: the library's own words
        }
    }

    void ReadLinger(std::uint32_t seconds) {
        RefuseEarlierExtras();
        options_.linger = std::chrono::seconds(seconds);
    }

    void ReadName(const CLI::results_t& values) {
        if (values.empty() || values.front().empty()) {
            throw Refusal{"option '--name' needs a name"};
        }
        std::wstring name = platform::Utf8ToWide(values.front());
        if (const NameFault fault = CheckUserName(name); fault != NameFault::kNone) {
            throw Refusal{"option '--name': " + NameFaultText(fault)};
        }
        options_.name = std::move(name);
    }

    void RefuseASecondOneShot() const {
        if (history_seen_) {
            throw Refusal{"--history takes no --send, --message or --list"};
        }
        if (send_seen_ || message_seen_ || list_seen_) {
            throw Refusal{"only one of --send, --message TARGET TEXT and --list, once"};
        }
    }

    void ReadHistory(const CLI::results_t& values) {
        if (history_seen_ || send_seen_ || message_seen_ || list_seen_) {
            throw Refusal{"--history once, and without --send, --message or --list"};
        }
        history_seen_ = true;
        options_.history_rows = kHistoryRowsShown;
        // Without a value the library may still hand over an empty one, or its flag word.
        if (!values.empty() && !values.front().empty() && values.front() != "true") {
            const std::optional<std::size_t> rows = ParseRowCount(values.front());
            if (!rows) {
                throw Refusal{"option '--history' needs a number of rows from 1 to 1000000"};
            }
            options_.history_rows = *rows;
        }
    }

    void ReadSend(const CLI::results_t& values) {
        RefuseASecondOneShot();
        send_seen_ = true;
        if (values.empty()) {
            throw Refusal{"option '--send' needs an address or a name"};
        }
        ReadTarget(values.front(), options_);
        for (auto path = values.begin() + 1; path != values.end(); ++path) {
            options_.paths.push_back(platform::Utf8ToWide(*path));
        }
        if (options_.paths.empty()) {
            throw Refusal{"option '--send' needs at least one path"};
        }
    }

    void ReadMessage(const CLI::results_t& values) {
        RefuseASecondOneShot();
        message_seen_ = true;
        if (values.empty()) {
            throw Refusal{"option '--message' needs an address and a text"};
        }
        ReadTarget(values.front(), options_);
        if (values.size() < 2 || values[1].empty()) {
            throw Refusal{"option '--message' needs an address and a text"};
        }
        options_.text = MessageText(values[1]);
    }

    // --message with --send: the offer's text.
    void ReadText(const CLI::results_t& values) {
        if (!options_.text.empty() || values.empty() || values.front().empty()) {
            throw Refusal{"option '--message' needs one text, once"};
        }
        options_.text = MessageText(values.front());
    }

    const bool sending_;
    CLI::App app_;
    ConsoleOptions options_;
    bool send_seen_ = false;
    bool message_seen_ = false;
    bool history_seen_ = false;
    bool list_seen_ = false;
    CLI::Option* history_ = nullptr;
    CLI::Option* linger_ = nullptr;
    CLI::Option* name_ = nullptr;
    CLI::Option* send_ = nullptr;
    CLI::Option* message_ = nullptr;
};

}  // namespace

ConsoleOptionsParse ParseConsoleOptions(const std::vector<std::string_view>& args) {
    const std::vector<std::string> line(args.begin(), args.end());
    return CommandLine(line).Read(line);
}

std::string ConsoleUsage() {
    return "Usage: veltra-console [--name NAME] [--json] [--linger SECONDS]\n"
           "       veltra-console --send TARGET PATH... [--message TEXT] [--linger SECONDS] "
           "[--json]\n"
           "       veltra-console --message TARGET TEXT [--name NAME]\n"
           "       veltra-console --list [--json]\n"
           "       veltra-console --history [N] [--json]\n"
           "       veltra-console --help | --version\n";
}

std::string ConsoleHelp() {
    return ConsoleUsage() +
           "The LAN messenger without a window: the log and the list of users go to standard\n"
           "output, commands come one per line on standard input.\n"
           "\n"
           "\n" +
           CommandsHelp() +
           "At the end of input the console keeps serving what it offered until every entry\n"
           "was fetched or failed, or until the linger time has passed.\n"
           "\n"
           "Options:\n"
           "      --send TARGET PATH... offer the files and directories to TARGET, wait for\n"
           "                            them to be fetched, print one line per entry and exit\n"
           "                            (0 when every entry was fetched whole)\n"
           "      --message TEXT        with --send: send TEXT to TARGET before the offer\n"
           "      --message TARGET TEXT send one message and exit\n"
           "      --list                print the users that answer the announcement and exit\n"
           "      --history [N]         print the last N messages and transfers of the history\n"
           "                            (default 20) and exit, without starting the messenger\n"
           "      --linger SECONDS      how long to wait for offered entries to be fetched\n"
           "                            (default 60)\n"
           "      --json                one JSON object per line and event on standard output\n"
           "      --name NAME           the user name for this run, instead of the settings\n"
           "                            file's or the account's\n"
           "  -h, --help                print this help and exit\n"
           "      --version             print the version and exit\n"
           "\n"
           "TARGET is an IPv4 address, or a user name or host name as the list shows it (or a\n"
           "whole row of the list, without its mark （本机）). For a name, the console announces\n"
           "itself and waits one second for the answers before it looks the name up; a name\n"
           "that matches nobody, or several users, is refused with the candidates (status 2).\n"
           "\n"
           "The settings file ~/.config/veltra/veltra.conf (or $XDG_CONFIG_HOME/veltra/) has,\n"
           "in its section [veltra], the user name (name = NAME) and further hosts that\n"
           "announcements go to (broadcast = HOST;HOST).\n"
           "\n"
           "Received files are stored in ~/Received/, the history in\n"
           "~/.local/share/veltra/history.sqlite3 ($XDG_DATA_HOME/veltra when that is set).\n"
           "Exit status: 0 after quit, or after the end\n"
           "of input once every offered entry was fetched or failed; 1 when an offered entry was\n"
           "not fetched in time (with --send, also when one failed or a path does not exist), or\n"
           "when port 2425 is taken; 2 for a wrong command line, or a TARGET name that matches\n"
           "nobody or several users.\n";
}

std::string ConsoleVersion() {
    return std::string("veltra-console ") + kVersion + "\n";
}

}  // namespace veltra
