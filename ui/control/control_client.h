#pragma once
// The asking end of the control socket: a request to the user's running instance, and its
// replies as they come.

#include <chrono>
#include <optional>
#include <vector>

#include "platform/control_socket.h"
#include "ui/control/control_reply.h"
#include "ui/control/control_request.h"

namespace veltra {

// The longest reply line taken.
inline constexpr std::size_t kControlReplyLimit = 1 << 20;

class ControlExchange {
  public:
    // Asks request of the running instance of this user; nothing when none runs (or it does not
    // take the request), so that the caller works alone.
    static std::optional<ControlExchange> Ask(const ControlRequest& request);

    // The next reply; nothing when none comes within wait, the instance has gone, or it wrote
    // something that is not a reply.
    std::optional<ControlReply> Next(std::chrono::milliseconds wait);

  private:
    explicit ControlExchange(platform::ControlConnection connection)
        : connection_(std::move(connection)) {}
    platform::ControlConnection connection_;
};

// Whether a running instance of this user answers on the control socket.
bool InstanceRuns();

// The users the running instance lists, as --json prints each (kUser replies), in its list's
// order; nothing when no instance runs or it did not answer in full.
std::optional<std::vector<ControlReply>> ListThroughInstance();

}  // namespace veltra
