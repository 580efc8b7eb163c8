#pragma once
// The offers waiting for the download worker. A peer may offer faster than batches run, so the
// queue has bounds: a number of offers per source address and a number in total. Source
// addresses cost nothing to forge, so a flood of offers from addresses nobody knows must not
// crowd out or hold up the offer of a user in the list: offers from listed sources are taken
// first, and are the last to be dropped.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "engine/address_counts.h"
#include "engine/packet.h"

namespace veltra {

struct OfferQueueLimits {
    std::size_t per_source = 16;
    std::size_t total = 256;
};

// One offer waiting for its batch: the packet that carried it (its extension is the list).
struct DownloadJob {
    std::unique_ptr<PacketRecord> packet;
    // Its source was in the user list when the offer came.
    bool listed = false;
};

class OfferQueue {
  public:
    enum class Outcome {
        kQueued,
        kQueuedInPlaceOfAnother,  // queued; the newest offer of a source not listed was dropped
        kSourceFull,
        kQueueFull,
        kClosed
    };

    explicit OfferQueue(OfferQueueLimits limits = {})
        : limits_(limits), per_source_(limits.per_source) {}

    // Appends the job, unless its source already has per_source jobs waiting or the queue is
    // closed; then the job is dropped. When the queue holds total, a job of a listed source takes
    // the place of the newest job of a source not listed, and any other job is dropped.
    Outcome Push(DownloadJob job);
    // Waits until a job is waiting; false when stop is requested or the queue closed first.
    bool WaitForJob(std::stop_token stop);
    // Takes the oldest job of a listed source, or else the oldest job; nothing when none waits.
    std::optional<DownloadJob> Take();
    // Drops every waiting job and refuses all later ones.
    void Close();

    std::size_t Size();

  private:
    std::size_t SizeLocked() const { return listed_.size() + unlisted_.size(); }

    const OfferQueueLimits limits_;
    std::mutex mutex_;
    std::condition_variable_any pushed_;
    std::deque<DownloadJob> listed_;    // oldest first
    std::deque<DownloadJob> unlisted_;  // oldest first
    AddressCounts per_source_;
    bool closed_ = false;
};

}  // namespace veltra
