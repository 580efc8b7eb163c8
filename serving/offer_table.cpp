#include "serving/offer_table.h"

#include <limits>
#include <utility>

namespace veltra {

std::int32_t OfferTable::RegisterOffer(platform::Path path,
                                       std::optional<platform::FileIdentity> examined,
                                       std::optional<std::uint32_t> recipient) {
    std::lock_guard guard(mutex_);
    // After two thousand million offers the counter starts over; ids still offered are skipped.
    while (entries_.contains(next_id_)) {
        next_id_ = next_id_ == std::numeric_limits<std::int32_t>::max() ? 0 : next_id_ + 1;
    }
    const std::int32_t id = next_id_;
    next_id_ = id == std::numeric_limits<std::int32_t>::max() ? 0 : id + 1;
    entries_.emplace(id, OfferEntry{std::move(path), examined, recipient});
    return id;
}

std::optional<OfferEntry> OfferTable::Find(std::int32_t id) const {
    std::lock_guard guard(mutex_);
    const auto found = entries_.find(id);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void OfferTable::Remove(std::int32_t id) {
    std::lock_guard guard(mutex_);
    entries_.erase(id);
}

std::size_t OfferTable::Size() const {
    std::lock_guard guard(mutex_);
    return entries_.size();
}

}  // namespace veltra
