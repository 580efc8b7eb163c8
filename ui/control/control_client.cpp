#include "ui/control/control_client.h"

#include <string>
#include <system_error>

namespace veltra {
namespace {

constexpr std::chrono::milliseconds kListWait{5000};

}  // namespace

std::optional<ControlExchange> ControlExchange::Ask(const ControlRequest& request) {
    std::optional<platform::ControlConnection> connection;
    try {
        connection =
            platform::ConnectControl(platform::ControlSocketPath(platform::ControlFolder()));
    } catch (const std::system_error&) {
        return std::nullopt;  // no folder of our own: nobody can be listening in it
    }
    if (!connection || !connection->WriteLine(ControlRequestLine(request))) {
        return std::nullopt;
    }
    return ControlExchange(std::move(*connection));
}

std::optional<ControlReply> ControlExchange::Next(std::chrono::milliseconds wait) {
    const std::optional<std::string> line = connection_.ReadLine(kControlReplyLimit, wait);
    if (!line) {
        return std::nullopt;
    }
    return ParseControlReply(*line);
}

bool InstanceRuns() {
    try {
        return platform::ConnectControl(platform::ControlSocketPath(platform::ControlFolder()))
            .has_value();
    } catch (const std::system_error&) {
        return false;
    }
}

std::optional<std::vector<ControlReply>> ListThroughInstance() {
    ControlRequest request;
    request.command = ControlCommand::kList;
    std::optional<ControlExchange> exchange = ControlExchange::Ask(request);
    if (!exchange) {
        return std::nullopt;
    }
    std::vector<ControlReply> users;
    while (std::optional<ControlReply> reply = exchange->Next(kListWait)) {
        if (reply->kind == ControlReply::Kind::kDone) {
            return users;
        }
        if (reply->kind == ControlReply::Kind::kUser) {
            users.push_back(std::move(*reply));
        }
    }
    return std::nullopt;
}

}  // namespace veltra
