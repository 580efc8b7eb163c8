#include "ui/control/control_server.h"

#include <unistd.h>

#include <utility>

#include "common/started_thread.h"

namespace veltra {

bool ControlCall::Reply(const ControlReply& reply) {
    if (!gone_ && !connection_.WriteLine(ControlReplyLine(reply))) {
        gone_ = true;
    }
    return !gone_;
}

std::unique_ptr<ControlServer> ControlServer::Start(ControlCallHandler handler,
                                                    const std::string& folder) {
    std::optional<platform::InstanceLock> lock =
        platform::InstanceLock::TryTake(platform::InstanceLockPath(folder));
    if (!lock) {
        return nullptr;
    }
    return std::unique_ptr<ControlServer>(
        new ControlServer(std::move(*lock), std::move(handler), folder));
}

ControlServer::ControlServer(platform::InstanceLock lock, ControlCallHandler handler,
                             const std::string& folder)
    : lock_(std::move(lock)),
      handler_(std::move(handler)),
      listener_(platform::ControlSocketPath(folder)) {
    thread_ = StartThread<std::thread>("the control socket", [this] { Serve(); });
}

ControlServer::~ControlServer() {
    listener_.Interrupt();
    thread_.join();
}

void ControlServer::Serve() {
    while (std::optional<platform::ControlConnection> connection = listener_.Accept()) {
        Take(std::move(*connection));
    }
}

void ControlServer::Take(platform::ControlConnection connection) {
    // The folder's mode keeps others out; the check holds even where that mode was loosened.
    if (connection.PeerUser() != geteuid()) {
        return;
    }
    std::optional<std::string> line =
        connection.ReadLine(kControlRequestLimit, kControlRequestWait);
    if (!line) {
        connection.WriteLine(ControlReplyLine(RefusedReply("no request line", 2)));
        return;
    }
    ControlRequestParse parse = ParseControlRequest(*line);
    if (!parse.request) {
        connection.WriteLine(ControlReplyLine(RefusedReply(parse.error, 2)));
        return;
    }
    handler_(std::make_shared<ControlCall>(std::move(*parse.request), std::move(connection)));
}

}  // namespace veltra
