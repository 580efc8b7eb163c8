#pragma once
// What a script, a second veltra-console or the file manager's veltra asks of the running
// instance: one JSON object on one line, such as
//   {"command":"send","target":"10.0.0.7","paths":["/home/u/a.txt"],"text":"hello"}
// Every text is UTF-8; a message's line breaks are CR LF, as typed into the compose dialog.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

enum class ControlCommand {
    kSend,     // offer paths (after a text, when there is one) to target, report each fetch
    kMessage,  // send text to target
    kList,     // the users the instance lists
    kShow,     // raise the instance's window
    kCompose,  // the compose dialog with paths attached, recipients left to the user
};

struct ControlRequest {
    ControlCommand command = ControlCommand::kList;
    std::string target;              // kSend, kMessage: as the user typed it
    std::vector<std::string> paths;  // kSend, kCompose: at least one
    std::string text;                // kMessage: never empty; kSend: may be
};

struct ControlRequestParse {
    std::optional<ControlRequest> request;  // empty when the line is refused
    std::string error;                      // then why, one line
};

// One line as received (without its LF). Never throws: anything that is not a request is an error.
ControlRequestParse ParseControlRequest(std::string_view line);
// The line that asks for request, without a LF.
std::string ControlRequestLine(const ControlRequest& request);

}  // namespace veltra
