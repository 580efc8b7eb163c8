#include "receiving/stored_paths.h"

#include <utility>

namespace veltra {

std::size_t StoredPaths::SlotOf(std::uint64_t stored) const {
    const std::size_t mask = slots_.size() - 1;
    // The hash's upper bits spread by a multiplication: the lower ones of a string hash may not.
    std::size_t slot = static_cast<std::size_t>((stored * 0x9E3779B97F4A7C15ULL) >> 32) & mask;
    while (slots_[slot] != 0 && slots_[slot] != stored) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

bool StoredPaths::Contains(std::uint64_t hash) const {
    return !slots_.empty() && slots_[SlotOf(Stored(hash))] != 0;
}

void StoredPaths::Insert(std::uint64_t hash) {
    if ((size_ + 1) * 2 > slots_.size()) {
        Grow();
    }
    const std::uint64_t stored = Stored(hash);
    std::uint64_t& slot = slots_[SlotOf(stored)];
    if (slot == 0) {
        slot = stored;
        ++size_;
    }
}

void StoredPaths::Clear() {
    slots_.clear();
    size_ = 0;
}

void StoredPaths::Grow() {
    std::vector<std::uint64_t> old = std::exchange(slots_, {});
    slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
    for (const std::uint64_t stored : old) {
        if (stored != 0) {
            slots_[SlotOf(stored)] = stored;
        }
    }
}

}  // namespace veltra
