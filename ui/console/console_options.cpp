#include "ui/console/console_options.h"

#include <charconv>
#include <cstddef>

#include "common/version.h"
#include "platform/utf8.h"
#include "ui/console/console_command.h"

namespace veltra {

namespace {

// The longest linger taken: a day, which no script should need to exceed.
constexpr std::uint32_t kMaxLingerSeconds = 24 * 60 * 60;

bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg.front() == '-';
}

// An argument that ends the list of paths after --send.
bool IsLongOption(std::string_view arg) {
    return arg.size() > 2 && arg.substr(0, 2) == "--";
}

ConsoleOptionsParse Refuse(std::string error) {
    return {std::nullopt, std::move(error)};
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

// The reading of one command line: each argument in turn, with the values it takes.
class Reader {
  public:
    explicit Reader(const std::vector<std::string_view>& args) : args_(args) {}

    bool Done() const { return next_ >= args_.size(); }
    std::string_view Take() { return args_[next_++]; }
    std::optional<std::string_view> TakeValue() {
        if (Done()) {
            return std::nullopt;
        }
        return Take();
    }
    bool NextIsOperand() const { return !Done() && !IsLongOption(args_[next_]); }

  private:
    const std::vector<std::string_view>& args_;
    std::size_t next_ = 0;
};

std::optional<std::uint32_t> Address(std::string_view arg) {
    return ParseIpv4(platform::Utf8ToWide(arg));
}

std::optional<std::chrono::seconds> Seconds(std::string_view arg) {
    std::uint32_t seconds = 0;
    const auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), seconds);
    if (error != std::errc() || end != arg.data() + arg.size() || seconds > kMaxLingerSeconds) {
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

}  // namespace

ConsoleOptionsParse ParseConsoleOptions(const std::vector<std::string_view>& args) {
    ConsoleOptions options;
    // With --send, --message takes the offer's text alone; without, an address and a text.
    bool sending = false;
    for (const std::string_view arg : args) {
        sending = sending || arg == "--send";
    }
    bool send_seen = false;
    bool message_seen = false;
    Reader reader(args);
    while (!reader.Done()) {
        const std::string_view arg = reader.Take();
        if (arg == "--help" || arg == "-h") {
            options.action = ConsoleOptions::Action::kHelp;
            return {options, {}};
        }
        if (arg == "--version") {
            options.action = ConsoleOptions::Action::kVersion;
            return {options, {}};
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--linger") {
            const auto value = reader.TakeValue();
            const auto seconds = value ? Seconds(*value) : std::nullopt;
            if (!seconds) {
                return Refuse("option '--linger' needs a number of seconds from 0 to " +
                              std::to_string(kMaxLingerSeconds));
            }
            options.linger = *seconds;
        } else if (arg == "--send" || (arg == "--message" && !sending)) {
            if (send_seen || message_seen) {
                return Refuse("only one of --send and --message IPV4 TEXT, once");
            }
            (arg == "--send" ? send_seen : message_seen) = true;
            const auto value = reader.TakeValue();
            if (!value) {
                return Refuse("option '" + std::string(arg) + "' needs an IPv4 address");
            }
            const auto address = Address(*value);
            if (!address) {
                return Refuse("not an IPv4 address: '" + std::string(*value) + "'");
            }
            options.address = *address;
            if (arg == "--send") {
                while (reader.NextIsOperand()) {
                    options.paths.push_back(platform::Utf8ToWide(reader.Take()));
                }
                if (options.paths.empty()) {
                    return Refuse("option '--send' needs at least one path");
                }
            } else {
                const auto text = reader.TakeValue();
                if (!text || text->empty()) {
                    return Refuse("option '--message' needs an address and a text");
                }
                options.text = MessageText(*text);
            }
        } else if (arg == "--message") {
            const auto text = reader.TakeValue();
            if (!options.text.empty() || !text || text->empty()) {
                return Refuse("option '--message' needs one text, once");
            }
            options.text = MessageText(*text);
        } else if (IsOption(arg)) {
            return Refuse("unrecognized option '" + std::string(arg) + "'");
        } else {
            return Refuse("extra operand '" + std::string(arg) + "'");
        }
    }
    if (send_seen) {
        options.action = ConsoleOptions::Action::kSend;
    } else if (message_seen) {
        options.action = ConsoleOptions::Action::kMessage;
    }
    return {options, {}};
}

std::string ConsoleUsage() {
    return "Usage: veltra-console [--json] [--linger SECONDS]\n"
           "       veltra-console --send IPV4 PATH... [--message TEXT] [--linger SECONDS] "
           "[--json]\n"
           "       veltra-console --message IPV4 TEXT\n"
           "       veltra-console --help | --version\n";
}

std::string ConsoleHelp() {
    return ConsoleUsage() +
           "The LAN messenger without a window: the log and the list of users go to standard\n"
           "output, commands come one per line on standard input.\n"
           "\n"
           "Commands:\n"
           "  users                 print the list of users again\n"
           "  msg IPV4 TEXT         send TEXT (\\n is a line break) to that address\n"
           "  offer IPV4 PATH...    offer files and directories; quote a path with spaces\n"
           "  refresh               empty the list and announce again\n"
           "  quit                  shut down and exit at once\n"
           "At the end of input the console keeps serving what it offered until every entry\n"
           "was fetched or failed, or until the linger time has passed.\n"
           "\n"
           "Options:\n"
           "      --send IPV4 PATH...   offer the files and directories to that address, wait\n"
           "                            for them to be fetched, print one line per entry and\n"
           "                            exit (0 when every entry was fetched whole)\n"
           "      --message TEXT        with --send: send TEXT to the address before the offer\n"
           "      --message IPV4 TEXT   send one message and exit\n"
           "      --linger SECONDS      how long to wait for offered entries to be fetched\n"
           "                            (default 60)\n"
           "      --json                one JSON object per line and event on standard output\n"
           "  -h, --help                print this help and exit\n"
           "      --version             print the version and exit\n"
           "\n"
           "Received files are stored in ~/Received/. Exit status: 0 after quit, or after the end\n"
           "of input once every offered entry was fetched or failed; 1 when an offered entry was\n"
           "not fetched in time (with --send, also when one failed or a path does not exist), or\n"
           "when port 2425 is taken; 2 for a wrong command line.\n";
}

std::string ConsoleVersion() {
    return std::string("veltra-console ") + kVersion + "\n";
}

}  // namespace veltra
