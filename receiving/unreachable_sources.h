#pragma once
// The source addresses the download worker could not reach lately. One address may have many
// offers waiting; were each tried again, every later batch would wait a connect limit per offer.
// So for a while after a failed connect, the offers of that address fail at once; after it, the
// address is tried again. Touched by the download worker only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace veltra {

inline constexpr auto kUnreachableMemory = std::chrono::minutes(1);

class UnreachableSources {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // clock defaults to the steady clock.
    explicit UnreachableSources(Clock clock = {},
                                std::chrono::steady_clock::duration memory = kUnreachableMemory);

    // address (network order) could not be reached just now.
    void Failed(std::uint32_t address);
    // address was reached: its offers are tried again.
    void Reached(std::uint32_t address) { failed_at_.erase(address); }
    // address could not be reached less than the memory's duration ago.
    bool Recently(std::uint32_t address) const;

  private:
    const Clock clock_;
    const std::chrono::steady_clock::duration memory_;
    std::unordered_map<std::uint32_t, std::chrono::steady_clock::time_point> failed_at_;
    std::size_t prune_at_ = 64;
};

}  // namespace veltra
