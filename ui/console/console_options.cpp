#include "ui/console/console_options.h"

#include "common/version.h"

namespace veltra {

namespace {

bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg.front() == '-';
}

ConsoleOptionsParse Refuse(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

ConsoleOptionsParse ParseConsoleOptions(const std::vector<std::string_view>& args) {
    ConsoleOptions options;
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            options.action = ConsoleOptions::Action::kHelp;
            return {options, {}};
        }
        if (arg == "--version") {
            options.action = ConsoleOptions::Action::kVersion;
            return {options, {}};
        }
        if (IsOption(arg)) {
            return Refuse("unrecognized option '" + std::string(arg) + "'");
        }
        return Refuse("extra operand '" + std::string(arg) + "'");
    }
    return {options, {}};
}

std::string ConsoleUsage() {
    return "Usage: veltra-console [--help | --version]\n";
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
           "  quit                  shut down and exit (so does the end of input)\n"
           "\n"
           "Options:\n"
           "  -h, --help            print this help and exit\n"
           "      --version         print the version and exit\n"
           "\n"
           "Received files are stored in ~/Received/. Exit status: 0 after quit or the end of\n"
           "input, 1 when port 2425 is taken, 2 for a wrong command line.\n";
}

std::string ConsoleVersion() {
    return std::string("veltra-console ") + kVersion + "\n";
}

}  // namespace veltra
