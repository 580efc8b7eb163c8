#include "ui/console/console_input.h"

#include <string>
#include <utility>

#include "platform/utf8.h"
#include "ui/console/console_command.h"

namespace veltra {

void ReadConsoleInput(std::istream& input, ConsoleQueue& queue) {
    std::string line;
    while (std::getline(input, line)) {
        ConsoleInput parsed{ParseConsoleCommand(platform::Utf8ToWide(line)), false};
        const bool quit = parsed.parse.outcome == ConsoleParse::Outcome::kCommand &&
                          parsed.parse.command.kind == ConsoleCommandKind::kQuit;
        queue.PostInput(std::move(parsed));
        if (quit) {
            // Reading no further lets the main thread join this one without having to interrupt
            // a blocked read.
            return;
        }
    }
    queue.PostInput(ConsoleInput{{}, true});
}

}  // namespace veltra
