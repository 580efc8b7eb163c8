#include "receiving/unreachable_sources.h"

#include <algorithm>
#include <utility>

namespace veltra {

UnreachableSources::UnreachableSources(Clock clock, std::chrono::steady_clock::duration memory)
    : clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)), memory_(memory) {}

void UnreachableSources::Failed(std::uint32_t address) {
    const auto now = clock_();
    failed_at_[address] = now;
    // Forged addresses are many: the ones whose while has passed go, so the memory holds no more
    // than the addresses that failed within one while (and twice as many before it is pruned).
    if (failed_at_.size() >= prune_at_) {
        std::erase_if(failed_at_,
                      [&](const auto& failed) { return now - failed.second >= memory_; });
        prune_at_ = std::max<std::size_t>(64, 2 * failed_at_.size());
    }
}

bool UnreachableSources::Recently(std::uint32_t address) const {
    const auto found = failed_at_.find(address);
    return found != failed_at_.end() && clock_() - found->second < memory_;
}

}  // namespace veltra
