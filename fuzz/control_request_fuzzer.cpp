// Any bytes as a request line of the control socket: a request or a refusal, never a crash;
// every request taken has what its command needs, and reads back the same once written again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ui/control/control_reply.h"
#include "ui/control/control_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const ControlRequestParse parse = ParseControlRequest(line);
    if (!parse.request) {
        if (parse.error.empty()) {
            __builtin_trap();  // a refusal always says why
        }
        // The refusal goes back as a reply line, which must read back.
        if (!ParseControlReply(ControlReplyLine(RefusedReply(parse.error, 2)))) {
            __builtin_trap();
        }
        return 0;
    }
    const ControlRequest& request = *parse.request;
    const bool needs_paths =
        request.command == ControlCommand::kSend || request.command == ControlCommand::kCompose;
    if (needs_paths && request.paths.empty()) {
        __builtin_trap();
    }
    if (request.command == ControlCommand::kMessage && request.text.empty()) {
        __builtin_trap();
    }
    const ControlRequestParse again = ParseControlRequest(ControlRequestLine(request));
    if (!again.request || again.request->command != request.command ||
        again.request->paths.size() != request.paths.size()) {
        __builtin_trap();
    }
    // What the client reads back: any line, never a crash.
    ParseControlReply(line);
    return 0;
}
