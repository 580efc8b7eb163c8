#pragma once
// The offers waiting for the download worker, oldest first. A peer may offer faster than batches
// run, so the queue has bounds: a number of offers per source address and a number in total.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <unordered_map>

#include "engine/packet.h"

namespace veltra {

struct OfferQueueLimits {
    std::size_t per_source = 16;
    std::size_t total = 256;
};

// One offer waiting for its batch: the packet that carried it (its extension is the list).
struct DownloadJob {
    std::unique_ptr<PacketRecord> packet;
};

class OfferQueue {
  public:
    enum class Outcome { kQueued, kSourceFull, kQueueFull, kClosed };

    explicit OfferQueue(OfferQueueLimits limits = {}) : limits_(limits) {}

    // Appends the job, unless its source already has per_source jobs waiting, the queue holds
    // total, or the queue is closed; then the job is dropped.
    Outcome Push(DownloadJob job);
    // Waits until a job is waiting; false when stop is requested or the queue closed first.
    bool WaitForJob(std::stop_token stop);
    // Takes the oldest job; nothing when none is waiting.
    std::optional<DownloadJob> Take();
    // Drops every waiting job and refuses all later ones.
    void Close();

    std::size_t Size();

  private:
    const OfferQueueLimits limits_;
    std::mutex mutex_;
    std::condition_variable_any pushed_;
    std::deque<DownloadJob> jobs_;
    std::unordered_map<std::uint32_t, std::size_t> per_source_;
    bool closed_ = false;
};

}  // namespace veltra
