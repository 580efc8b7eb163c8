#include "engine/address_counts.h"

namespace veltra {

bool AddressCounts::TryAdd(std::uint32_t address) {
    if (per_address_ == 0) {
        return false;
    }
    std::size_t& count = counts_[address];  // a new address starts at zero
    if (count >= per_address_) {
        return false;
    }
    ++count;
    return true;
}

void AddressCounts::Remove(std::uint32_t address) {
    const auto found = counts_.find(address);
    if (found != counts_.end() && --found->second == 0) {
        counts_.erase(found);
    }
}

void AddressCounts::Move(std::uint32_t from, std::uint32_t to) {
    if (from != to) {
        Remove(from);
        ++counts_[to];
    }
}

std::size_t AddressCounts::Count(std::uint32_t address) const {
    const auto found = counts_.find(address);
    return found != counts_.end() ? found->second : 0;
}

}  // namespace veltra
