#pragma once
// The entries this console has offered and whose fetch it has not yet heard of. The end of input
// waits for them, and a one-shot send decides its exit status by them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "session/messenger_session.h"

namespace veltra {

struct TrackedOffer {
    OfferedEntry entry;
    std::uint32_t address = 0;  // the peer it was offered to, network order
};

class OfferTracker {
  public:
    void Add(std::uint32_t address, const std::vector<OfferedEntry>& entries);
    // The entry whose serving ended (whole or not), or nothing for an id this console is not
    // waiting for.
    std::optional<TrackedOffer> Served(std::int32_t file_id, bool whole);
    // Entries still waiting for their fetch.
    bool Waiting() const { return !waiting_.empty(); }
    // Gives up on the entries still waiting and returns them, in the order they were offered.
    std::vector<TrackedOffer> GiveUp();
    // Entries whose serving failed, and entries given up, so far.
    std::size_t Failed() const { return failed_; }
    std::size_t GivenUp() const { return given_up_; }

  private:
    struct Pending {
        std::uint64_t order;  // ids start over after 2^31 offers; this does not
        TrackedOffer offer;
    };
    // By file id; the offer table hands out no id twice while the entry waits for its fetch.
    std::map<std::int32_t, Pending> waiting_;
    std::uint64_t next_order_ = 0;
    std::size_t failed_ = 0;
    std::size_t given_up_ = 0;
};

}  // namespace veltra
