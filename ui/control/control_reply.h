#pragma once
// What the running instance answers, one JSON object per line, streamed as things happen. Each
// object names itself in "event" as the console's --json does ("offered", "sent",
// "send_failed", "error", "message_sent"), a user of "list" is a row as --json prints one
// ({"user","host","address"}), and the last line is always
//   {"event":"done","status":N}
// with the exit status the request would have had alone, and "error" when it was refused.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

struct ControlReply {
    enum class Kind {
        kOffered,      // an entry went into the offer
        kSent,         // the peer fetched it whole
        kSendFailed,   // its fetch broke off
        kComplaint,    // a path not offered: text is the line the console writes
        kMessageSent,  // text went to address; recipient names it
        kUser,         // a row of the list: user, host, address
        kDone,         // the end: status, and error when refused
    };
    Kind kind = Kind::kDone;
    // kOffered, kSent, kSendFailed: the entry, as the console tracks it.
    std::string to;    // dotted address
    std::string path;  // as offered; its last part is the name the peer sees
    bool directory = false;
    std::uint64_t size = 0;
    std::string reason;     // kSendFailed: "connection" or "not_fetched"
    std::string text;       // kComplaint, kMessageSent; kUser: the row as listed, mark and all
    std::string recipient;  // kMessageSent
    std::string user;       // kUser
    std::string host;       // kUser
    std::string address;    // kMessageSent, kUser: dotted
    int status = 0;         // kDone
    std::string error;      // kDone: empty unless refused
};

// A running console's refusal of show and compose.
inline constexpr const char* kNoWindowError = "the running instance is veltra-console: no window";

// The line for reply, without a LF.
std::string ControlReplyLine(const ControlReply& reply);
// One line of the instance's; nothing when it is none of the replies above.
std::optional<ControlReply> ParseControlReply(std::string_view line);

// The refusal of a request, with the exit status the command then has.
ControlReply RefusedReply(std::string error, int status);
ControlReply DoneReply(int status);

}  // namespace veltra
