#include "ui/dialogs/app_options.h"

#include "common/version.h"

namespace veltra {

namespace {

constexpr char kUsage[] = "Usage: veltra [--help | --version]\n";

}  // namespace

std::optional<int> AnswerCommandLine(const std::vector<std::string_view>& args, std::ostream& out,
                                     std::ostream& error) {
    // In order, as GNU programs read them: the first --help or --version answers.
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << kUsage
                << "The LAN messenger: users of the local network, messages, and files and\n"
                   "folders offered and fetched, without a server. Received files are stored in\n"
                   "~/Received/. Without a display, use veltra-console.\n"
                   "\n"
                   "Options:\n"
                   "  -h, --help            print this help and exit\n"
                   "      --version         print the version and exit\n";
            return 0;
        }
        if (arg == "--version") {
            out << "veltra " << kVersion << '\n';
            return 0;
        }
        error << "veltra: "
              << (arg.size() > 1 && arg.front() == '-' ? "unrecognized option '"
                                                       : "extra operand '")
              << arg << "'\n"
              << kUsage << "Try 'veltra --help' for more information.\n";
        return 2;
    }
    return std::nullopt;
}

}  // namespace veltra
