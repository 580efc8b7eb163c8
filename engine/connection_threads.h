#pragma once
// The threads that serve accepted connections, one each, and no more than a few at a time for
// one peer address (connections the peer has closed not counted). Finished threads are joined as
// new ones start; at shutdown every connection is interrupted and every thread joined, so no
// connection thread outlives the engine and the tables it reads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/address_counts.h"
#include "platform/socket.h"

namespace veltra {

// Open connections one peer address may have; a transfer needs one at a time.
inline constexpr std::size_t kConnectionsPerPeer = 4;

class ConnectionThreads {
  public:
    enum class Outcome { kStarted, kPeerCrowded, kStopped };

    explicit ConnectionThreads(std::size_t per_peer = kConnectionsPerPeer) : open_(per_peer) {}
    ~ConnectionThreads() { StopAll(); }
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // Runs serve(connection) on a new thread that owns the connection and closes it at the end.
    // The connection is closed at once instead after StopAll(), or when peer_address (network
    // order) has per_peer connections open already. Throws std::system_error, the connection
    // closed, when no thread can start.
    Outcome Start(platform::Socket connection, std::uint32_t peer_address,
                  std::function<void(const platform::Socket&)> serve);
    // Interrupts every open connection and joins every thread.
    void StopAll();

  private:
    struct Slot {
        platform::Socket connection;
        std::uint32_t peer_address = 0;
        std::thread thread;
        bool finished = false;
        bool counted = true;  // in open_: not yet seen closed by its peer
    };
    void JoinFinished(std::unique_lock<std::mutex>& lock);
    // Stops counting the connections from peer_address that their peer has closed.
    void UncountClosedBy(std::uint32_t peer_address, std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::list<std::unique_ptr<Slot>> slots_;
    AddressCounts open_;  // the slots counted, per peer address
    bool stopped_ = false;
};

}  // namespace veltra
