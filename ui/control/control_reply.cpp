#include "ui/control/control_reply.h"

#include <nlohmann/json.hpp>

#include <utility>

namespace veltra {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::pair<ControlReply::Kind, const char*> kEventNames[] = {
    {ControlReply::Kind::kOffered, "offered"},          {ControlReply::Kind::kSent, "sent"},
    {ControlReply::Kind::kSendFailed, "send_failed"},   {ControlReply::Kind::kComplaint, "error"},
    {ControlReply::Kind::kMessageSent, "message_sent"}, {ControlReply::Kind::kDone, "done"},
};

// The last part of a path, as the peer sees the entry's name.
std::string LastPart(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string Text(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string ControlReplyLine(const ControlReply& reply) {
    Json object;
    if (reply.kind == ControlReply::Kind::kUser) {
        object = Json{{"user", reply.user}, {"host", reply.host}, {"address", reply.address}};
        if (!reply.text.empty()) {
            object["row"] = reply.text;
        }
        return object.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    for (const auto& [kind, name] : kEventNames) {
        if (kind == reply.kind) {
            object["event"] = name;
        }
    }
    switch (reply.kind) {
        case ControlReply::Kind::kOffered:
        case ControlReply::Kind::kSent:
        case ControlReply::Kind::kSendFailed:
            object["to"] = reply.to;
            object["name"] = LastPart(reply.path);
            object["kind"] = reply.directory ? "folder" : "file";
            object["size"] = reply.size;
            object["path"] = reply.path;
            if (reply.kind == ControlReply::Kind::kSendFailed) {
                object["reason"] = reply.reason;
            }
            break;
        case ControlReply::Kind::kComplaint:
            object["text"] = reply.text;
            break;
        case ControlReply::Kind::kMessageSent:
            object["recipient"] = reply.recipient;
            object["address"] = reply.address;
            object["text"] = reply.text;
            break;
        case ControlReply::Kind::kDone:
            object["status"] = reply.status;
            if (!reply.error.empty()) {
                object["error"] = reply.error;
            }
            break;
        case ControlReply::Kind::kUser:
            break;
    }
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<ControlReply> ParseControlReply(std::string_view line) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return std::nullopt;
    }
    ControlReply reply;
    const auto event = object.find("event");
    if (event == object.end()) {
        if (!object.contains("user")) {
            return std::nullopt;
        }
        reply.kind = ControlReply::Kind::kUser;
        reply.user = Text(object, "user");
        reply.host = Text(object, "host");
        reply.address = Text(object, "address");
        reply.text = Text(object, "row");
        return reply;
    }
    bool known = false;
    for (const auto& [kind, name] : kEventNames) {
        if (event->is_string() && event->get_ref<const std::string&>() == name) {
            reply.kind = kind;
            known = true;
        }
    }
    if (!known) {
        return std::nullopt;
    }
    reply.to = Text(object, "to");
    reply.path = Text(object, "path");
    reply.directory = Text(object, "kind") == "folder";
    if (const auto size = object.find("size"); size != object.end() && size->is_number_unsigned()) {
        reply.size = size->get<std::uint64_t>();
    }
    reply.reason = Text(object, "reason");
    reply.text = Text(object, "text");
    reply.recipient = Text(object, "recipient");
    reply.address = Text(object, "address");
    reply.error = Text(object, "error");
    if (reply.kind == ControlReply::Kind::kDone) {
        const auto status = object.find("status");
        if (status == object.end() || !status->is_number_integer()) {
            return std::nullopt;
        }
        reply.status = status->get<int>();
    }
    return reply;
}

ControlReply RefusedReply(std::string error, int status) {
    ControlReply reply = DoneReply(status);
    reply.error = std::move(error);
    return reply;
}

ControlReply DoneReply(int status) {
    ControlReply reply;
    reply.kind = ControlReply::Kind::kDone;
    reply.status = status;
    return reply;
}

}  // namespace veltra
