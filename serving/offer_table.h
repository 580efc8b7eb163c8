#pragma once
// The paths this instance offers, under the file ids that offers name and transfer requests quote.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "platform/file.h"
#include "platform/path.h"

namespace veltra {

struct OfferEntry {
    platform::Path path;
    // The file or folder path led to when it was examined for the offer. Only that one is served:
    // whatever has taken its place since (a link swapped in by someone who may write beside it) is
    // not. Nothing when the path was not examined, and then nothing is served.
    std::optional<platform::FileIdentity> examined;
    // The peer (IPv4, network order) the path was offered to; only it may fetch the entry. Without
    // one, any host that names the id gets it.
    std::optional<std::uint32_t> recipient;
};

// Shared by the thread that offers and every connection thread: each call is one atomic step, and
// no lock is held while a transfer runs (look-up copies the entry out).
class OfferTable {
  public:
    // Stores path, with what it led to when examined, under a fresh id and returns it. Ids count
    // up from 0 and are never negative; an id the table still holds is never handed out again.
    std::int32_t RegisterOffer(platform::Path path, std::optional<platform::FileIdentity> examined,
                               std::optional<std::uint32_t> recipient = std::nullopt);
    // A copy of the entry, or nothing when the id is not (or no longer) in the table.
    std::optional<OfferEntry> Find(std::int32_t id) const;
    // Removes the entry if present.
    void Remove(std::int32_t id);
    std::size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::int32_t, OfferEntry> entries_;
    std::int32_t next_id_ = 0;
};

}  // namespace veltra
