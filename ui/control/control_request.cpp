#include "ui/control/control_request.h"

#include <nlohmann/json.hpp>

#include <utility>

namespace veltra {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::pair<ControlCommand, const char*> kCommandNames[] = {
    {ControlCommand::kSend, "send"},       {ControlCommand::kMessage, "message"},
    {ControlCommand::kList, "list"},       {ControlCommand::kShow, "show"},
    {ControlCommand::kCompose, "compose"},
};

const char* NameOf(ControlCommand command) {
    for (const auto& [known, name] : kCommandNames) {
        if (known == command) {
            return name;
        }
    }
    return "list";
}

ControlRequestParse Refuse(std::string error) {
    return ControlRequestParse{std::nullopt, std::move(error)};
}

// A string member; nothing when absent, and error set when it is there but not a string.
std::optional<std::string> TextMember(const Json& object, const char* key, std::string& error) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return std::nullopt;
    }
    if (!found->is_string()) {
        error = std::string("\"") + key + "\" is not a string";
        return std::nullopt;
    }
    return found->get<std::string>();
}

}  // namespace

ControlRequestParse ParseControlRequest(std::string_view line) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded()) {
        return Refuse("not JSON");
    }
    if (!object.is_object()) {
        return Refuse("a request is a JSON object");
    }
    std::string error;
    const std::optional<std::string> name = TextMember(object, "command", error);
    if (!name) {
        return Refuse(error.empty() ? "no \"command\"" : error);
    }
    ControlRequest request;
    bool known = false;
    for (const auto& [command, command_name] : kCommandNames) {
        if (*name == command_name) {
            request.command = command;
            known = true;
        }
    }
    if (!known) {
        return Refuse("unknown command: " + *name);
    }
    const bool needs_target =
        request.command == ControlCommand::kSend || request.command == ControlCommand::kMessage;
    const bool needs_paths =
        request.command == ControlCommand::kSend || request.command == ControlCommand::kCompose;
    if (std::optional<std::string> target = TextMember(object, "target", error)) {
        request.target = std::move(*target);
    }
    if (std::optional<std::string> text = TextMember(object, "text", error)) {
        request.text = std::move(*text);
    }
    if (!error.empty()) {
        return Refuse(error);
    }
    if (needs_target && request.target.empty()) {
        return Refuse(*name + ": no \"target\"");
    }
    if (request.command == ControlCommand::kMessage && request.text.empty()) {
        return Refuse("message: no \"text\"");
    }
    if (needs_paths) {
        const auto paths = object.find("paths");
        if (paths == object.end() || !paths->is_array() || paths->empty()) {
            return Refuse(*name + ": \"paths\" is not a list of paths");
        }
        for (const Json& path : *paths) {
            if (!path.is_string() || path.get_ref<const std::string&>().empty()) {
                return Refuse(*name + ": \"paths\" is not a list of paths");
            }
            request.paths.push_back(path.get<std::string>());
        }
    }
    return ControlRequestParse{std::move(request), {}};
}

std::string ControlRequestLine(const ControlRequest& request) {
    Json object{{"command", NameOf(request.command)}};
    if (!request.target.empty()) {
        object["target"] = request.target;
    }
    if (!request.paths.empty()) {
        object["paths"] = request.paths;
    }
    if (!request.text.empty()) {
        object["text"] = request.text;
    }
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace veltra
