#pragma once
// The threads that serve accepted connections, one each. Finished threads are joined as new
// ones start; at shutdown every connection is interrupted and every thread joined, so no
// connection thread outlives the engine and the tables it reads.

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/socket.h"

namespace veltra {

class ConnectionThreads {
  public:
    ConnectionThreads() = default;
    ~ConnectionThreads() { StopAll(); }
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // Runs serve(connection) on a new thread that owns the connection and closes it at the end.
    // Returns false (closing the connection) after StopAll().
    bool Start(platform::Socket connection, std::function<void(const platform::Socket&)> serve);
    // Interrupts every open connection and joins every thread.
    void StopAll();
    std::size_t Running();

  private:
    struct Slot {
        platform::Socket connection;
        std::thread thread;
        bool finished = false;
    };
    void JoinFinished(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::list<std::unique_ptr<Slot>> slots_;
    bool stopped_ = false;
};

}  // namespace veltra
