#include "ui/dialogs/app_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>

#include "common/version.h"

namespace veltra {

namespace {

constexpr char kUsage[] = "Usage: veltra [--hidden | --help | --version] [FILE...]\n";

constexpr char kHelp[] =
    "The LAN messenger: users of the local network, messages, and files and\n"
    "folders offered and fetched, without a server. Received files are stored in\n"
    "~/Received/. Without a display, use veltra-console.\n"
    "\n"
    "With FILEs (what a file manager's \"Open With\" passes), the compose dialog\n"
    "opens with them attached, for the recipients picked in the list; when Veltra\n"
    "runs already, its window does, and without FILEs it is raised.\n"
    "\n"
    "Options:\n"
    "      --hidden          start in the tray, without opening the window (the\n"
    "                        window opens where the desktop has no tray)\n"
    "  -h, --help            print this help and exit\n"
    "      --version         print the version and exit\n";

// Ends the reading of the command line at its first --help or --version.
struct Answered {};

std::string Unexpected(const std::string& arg) {
    return (arg.size() > 1 && arg.front() == '-' ? "unrecognized option '" : "extra operand '") +
           arg + "'";
}

}  // namespace

std::optional<int> AnswerCommandLine(const std::vector<std::string_view>& args, std::ostream& out,
                                     std::ostream& error, AppOptions& options) {
    const auto refuse = [&error](const std::string& arg) {
        error << "veltra: " << Unexpected(arg) << '\n'
              << kUsage << "Try 'veltra --help' for more information.\n";
        return 2;
    };
    // Read in order by CLI11, as GNU programs read them: the first --help or --version answers,
    // whatever follows; an argument before it that the library does not know refuses the line.
    CLI::App app;
    app.set_help_flag();  // the help text is ours
    app.allow_extras();
    int status = 0;
    const auto answer = [&](const std::string& long_name, const std::string& text) {
        return [&, long_name, text](const CLI::results_t& values) -> bool {
            const std::vector<std::string> before = app.remaining();
            const auto option =
                std::find_if(before.begin(), before.end(), [](const std::string& arg) {
                    return arg.size() > 1 && arg.front() == '-' && arg != "--";
                });
            if (option != before.end()) {
                status = refuse(*option);
            } else if (values.size() != 1 || values.front() != "true") {
                status = refuse(long_name + "=" + values.back());  // a flag takes no value
            } else {
                out << text;
            }
            throw Answered{};
        };
    };
    app.add_option("-h,--help", answer("--help", std::string(kUsage) + kHelp))
        ->expected(0)
        ->trigger_on_parse();
    app.add_option("--version", answer("--version", std::string("veltra ") + kVersion + "\n"))
        ->expected(0)
        ->trigger_on_parse();
    bool hidden = false;
    app.add_option("--hidden",
                   [&](const CLI::results_t& values) -> bool {
                       if (values.size() != 1 || values.front() != "true") {
                           status = refuse("--hidden=" + values.back());
                           throw Answered{};
                       }
                       hidden = true;
                       return true;
                   })
        ->expected(0)
        ->trigger_on_parse();
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as the library takes them
    try {
        app.parse(reversed);
    } catch (const Answered&) {
        return status;
    }
    // What is left are the files, unless one is an option nobody knows ("--" ends the options).
    bool options_ended = false;
    for (const std::string& arg : app.remaining()) {
        if (arg == "--" && !options_ended) {
            options_ended = true;
        } else if (!options_ended && arg.size() > 1 && arg.front() == '-') {
            return refuse(arg);
        } else {
            options.files.push_back(arg);
        }
    }
    options.start_hidden = hidden;
    return std::nullopt;
}

}  // namespace veltra
