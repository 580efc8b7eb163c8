#pragma once
// How many things each source address has (peer table entries, waiting offers, open
// connections), with a bound per address. Source addresses cost nothing to forge, so an address
// whose count drops to zero is forgotten at once: a flood from ever new addresses leaves nothing
// behind. Not locked: each user counts under the lock of what it counts.

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace veltra {

class AddressCounts {
  public:
    explicit AddressCounts(std::size_t per_address) : per_address_(per_address) {}

    // Counts one more for address (network order); false, counting nothing, when it has
    // per_address already.
    bool TryAdd(std::uint32_t address);
    // Counts one less for address, which must have one counted.
    void Remove(std::uint32_t address);
    // One thing counted for from counts for to from now on (an entry overwritten under its key by
    // another address). It exists already, so it is never refused, though to may be at its bound.
    void Move(std::uint32_t from, std::uint32_t to);
    void Clear() { counts_.clear(); }

    std::size_t Count(std::uint32_t address) const;
    bool Contains(std::uint32_t address) const { return counts_.contains(address); }
    // Addresses with anything counted.
    std::size_t Addresses() const { return counts_.size(); }

  private:
    const std::size_t per_address_;
    std::unordered_map<std::uint32_t, std::size_t> counts_;
};

}  // namespace veltra
