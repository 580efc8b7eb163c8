#pragma once
// What became of each path offered to a peer: the sending side decides it as it examines and
// lists the paths, the session hands it to the front end that offered them.

#include <cstdint>
#include <optional>

#include "platform/path.h"

namespace veltra {

// One entry of an offer as it went out; once a peer has fetched it, the sink gets OfferServed
// with its file id.
struct OfferedEntry {
    std::int32_t file_id = 0;
    platform::Path path;
    bool directory = false;
    std::uint64_t size = 0;  // a folder's is 0
};

enum class OfferOutcome {
    kListed,      // in the offer's list
    kNoSuchFile,  // nothing has that path (a link that leads nowhere neither)
    kCannotRead,  // something has, but it could not be opened and examined
    kListFull,    // the offer's list, one datagram, had no room left for it
};

struct OfferResult {
    platform::Path path;
    OfferOutcome outcome = OfferOutcome::kListed;
    std::optional<OfferedEntry> entry;  // exactly when listed
};

}  // namespace veltra
