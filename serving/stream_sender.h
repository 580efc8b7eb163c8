#pragma once
// The directory stream on its way to the peer. Headers and small files gather in one buffer that
// goes out when it holds kGatherBytes, before a large file's content, when the walk ends, and when
// what waits in it has waited kGatherWait: a tree of small files then costs one send per 64 KiB
// rather than a send and a segment per file, and a slow walk still keeps the reader fed.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/time_source.h"
#include "platform/file.h"
#include "platform/socket.h"

namespace veltra {

inline constexpr std::size_t kGatherBytes = 64 * 1024;
inline constexpr auto kGatherWait = std::chrono::milliseconds(50);

class StreamSender {
  public:
    // time tells how long what gathers has waited; it must outlive the sender.
    explicit StreamSender(const platform::Socket& connection, TimeSource& time = SteadyTime())
        : connection_(connection), time_(time) {}

    // Gathers text. False once the connection has failed.
    bool Append(std::string_view text);
    // Gathers exactly size bytes of file's content from where it stands, zeros standing in for
    // what it does not yield (nothing: all zeros). False once the connection has failed.
    bool AppendContent(std::optional<platform::File> file, std::size_t size);
    // Sends what has gathered, so that what follows can go to the connection directly. False once
    // the connection has failed.
    bool Flush();

    const platform::Socket& Connection() const { return connection_; }

  private:
    // Starts the wait of what gathers next, when nothing waits yet.
    void NoteGathering();
    // Sends what has gathered when there is enough of it, or it has waited long enough.
    bool SendIfDue();

    const platform::Socket& connection_;
    TimeSource& time_;
    std::string gathered_;
    TimeSource::Clock::time_point first_gathered_{};  // when the oldest byte still waiting came
};

}  // namespace veltra
