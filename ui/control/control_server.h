#pragma once
// The running instance's end of the control socket. It takes the user's instance lock, listens,
// and reads one request per connection on a thread of its own; what is not a request is answered
// there and then. A request goes to the front end, which answers it on its own thread through
// the call's connection, and the connection closes when the last holder of the call lets go.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/control_socket.h"
#include "ui/control/control_reply.h"
#include "ui/control/control_request.h"

namespace veltra {

// A request taken, and the way back to whoever asked.
class ControlCall {
  public:
    ControlCall(ControlRequest request, platform::ControlConnection connection)
        : request_(std::move(request)), connection_(std::move(connection)) {}

    const ControlRequest& Request() const { return request_; }
    // False once the asker has gone; later replies are then dropped.
    bool Reply(const ControlReply& reply);
    bool AskerGone() const { return gone_; }

  private:
    ControlRequest request_;
    platform::ControlConnection connection_;
    bool gone_ = false;
};

// Called on the server's thread for each request: it posts the call to the front end's thread.
using ControlCallHandler = std::function<void(std::shared_ptr<ControlCall> call)>;

// The longest request line taken, and how long a connection may take to send it.
inline constexpr std::size_t kControlRequestLimit = 1 << 20;
inline constexpr std::chrono::milliseconds kControlRequestWait{5000};

class ControlServer {
  public:
    // Becomes the user's running instance in folder (see platform::ControlFolder): nothing when
    // another process of the user holds the lock. Throws std::system_error when the folder, the
    // lock or the socket cannot be had.
    static std::unique_ptr<ControlServer> Start(ControlCallHandler handler,
                                                const std::string& folder);
    // Stops taking requests, removes the socket and lets the lock go.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

  private:
    ControlServer(platform::InstanceLock lock, ControlCallHandler handler,
                  const std::string& folder);
    void Serve();
    void Take(platform::ControlConnection connection);

    platform::InstanceLock lock_;
    ControlCallHandler handler_;
    platform::ControlListener listener_;
    std::thread thread_;
};

}  // namespace veltra
