#pragma once
// The command line of veltra, read before the toolkit starts: --help, --version and a wrong
// argument are answered without a display, a window or a socket.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// How the dialogs start when the command line asks for them.
struct AppOptions {
    // --hidden: in the tray only, the window left closed (the autostart entry starts it so);
    // where the desktop has no tray the window is shown all the same.
    bool start_hidden = false;
    // FILE...: what the file manager hands over, opened in the compose dialog with the files
    // attached (by the running instance when there is one). UTF-8, as given.
    std::vector<std::string> files = {};
};

// args: the arguments after the program's name. Writes the answer (help and version to out, a
// refusal with the usage to error) and returns the exit status; returns nothing when the
// command line asks for the dialogs, which then start as options says.
std::optional<int> AnswerCommandLine(const std::vector<std::string_view>& args, std::ostream& out,
                                     std::ostream& error, AppOptions& options);

}  // namespace veltra
