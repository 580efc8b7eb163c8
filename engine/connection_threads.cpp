#include "engine/connection_threads.h"

#include "common/started_thread.h"

namespace veltra {

ConnectionThreads::Outcome ConnectionThreads::Start(
    platform::Socket connection, std::uint32_t peer_address,
    std::function<void(const platform::Socket&)> serve) {
    std::unique_lock lock(mutex_);
    if (stopped_) {
        return Outcome::kStopped;
    }
    JoinFinished(lock);
    UncountClosedBy(peer_address, lock);
    if (!open_.TryAdd(peer_address)) {
        return Outcome::kPeerCrowded;
    }
    auto slot = std::make_unique<Slot>();
    Slot* raw = slot.get();
    raw->connection = std::move(connection);
    raw->peer_address = peer_address;
    raw->thread = StartThread<std::thread>("a connection", [this, raw, serve = std::move(serve)] {
        serve(raw->connection);
        // Closed under the lock, so StopAll never interrupts a descriptor number that the
        // system has already handed to somebody else.
        std::lock_guard guard(mutex_);
        raw->connection.Close();
        raw->finished = true;
    });
    slots_.push_back(std::move(slot));
    return Outcome::kStarted;
}

void ConnectionThreads::JoinFinished(std::unique_lock<std::mutex>& lock) {
    (void)lock;
    for (auto it = slots_.begin(); it != slots_.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            if ((*it)->counted) {
                open_.Remove((*it)->peer_address);
            }
            it = slots_.erase(it);
        } else {
            ++it;
        }
    }
}

void ConnectionThreads::UncountClosedBy(std::uint32_t peer_address,
                                        std::unique_lock<std::mutex>& lock) {
    (void)lock;
    // A connection its peer has closed no longer counts: its thread is only winding down (the
    // server waits for the recipient's close after the last byte, and the recipient fetches the
    // next entry of an offer at once). A peer's close is never undone: each is uncounted once.
    for (const auto& slot : slots_) {
        if (slot->counted && slot->peer_address == peer_address &&
            slot->connection.PeerHasClosed()) {
            open_.Remove(peer_address);
            slot->counted = false;
        }
    }
}

void ConnectionThreads::StopAll() {
    std::list<std::unique_ptr<Slot>> stopping;
    {
        std::lock_guard guard(mutex_);
        stopped_ = true;
        for (auto& slot : slots_) {
            slot->connection.Interrupt();
        }
        stopping.swap(slots_);
        open_.Clear();
    }
    for (auto& slot : stopping) {
        slot->thread.join();
    }
}

}  // namespace veltra
