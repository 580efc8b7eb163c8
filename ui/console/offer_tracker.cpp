#include "ui/console/offer_tracker.h"

#include <algorithm>
#include <utility>

namespace veltra {

void OfferTracker::Add(std::uint32_t address, const std::vector<OfferedEntry>& entries) {
    for (const OfferedEntry& entry : entries) {
        waiting_.insert_or_assign(entry.file_id,
                                  Pending{next_order_++, TrackedOffer{entry, address}});
    }
}

std::optional<TrackedOffer> OfferTracker::Served(std::int32_t file_id, bool whole) {
    const auto found = waiting_.find(file_id);
    if (found == waiting_.end()) {
        return std::nullopt;
    }
    TrackedOffer offer = std::move(found->second.offer);
    waiting_.erase(found);
    if (!whole) {
        ++failed_;
    }
    return offer;
}

std::vector<TrackedOffer> OfferTracker::GiveUp() {
    std::vector<Pending> left;
    for (auto& [id, waiting] : waiting_) {
        left.push_back(std::move(waiting));
    }
    waiting_.clear();
    std::sort(left.begin(), left.end(),
              [](const Pending& a, const Pending& b) { return a.order < b.order; });
    std::vector<TrackedOffer> offers;
    for (Pending& waiting : left) {
        offers.push_back(std::move(waiting.offer));
    }
    given_up_ += offers.size();
    return offers;
}

}  // namespace veltra
