#pragma once
// The paths a batch has stored files under, kept as 64-bit hashes in one open-addressed table:
// a batch of a million small files costs a probe into one array per file rather than a node of
// its own, and a hash that collides only numbers a name that needed no number.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltra {

class StoredPaths {
  public:
    bool Contains(std::uint64_t hash) const;
    void Insert(std::uint64_t hash);
    void Clear();
    std::size_t Size() const { return size_; }

  private:
    // 0 marks a free slot, so a hash of 0 is kept as 1.
    static std::uint64_t Stored(std::uint64_t hash) { return hash == 0 ? 1 : hash; }
    std::size_t SlotOf(std::uint64_t stored) const;
    void Grow();

    std::vector<std::uint64_t> slots_;  // a power of two long, at most half full
    std::size_t size_ = 0;
};

}  // namespace veltra
