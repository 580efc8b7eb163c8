#include "engine/address_counts.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace veltra {
namespace {

constexpr std::uint32_t kOne = 0x0100000a;  // 10.0.0.1 in network order
constexpr std::uint32_t kTwo = 0x0200000a;

TEST(AddressCounts, AnAddressAtItsBoundIsRefusedAndCountsNoMore) {
    AddressCounts counts(3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(counts.TryAdd(kOne));
    }
    EXPECT_FALSE(counts.TryAdd(kOne));
    EXPECT_EQ(counts.Count(kOne), 3u);
    EXPECT_TRUE(counts.TryAdd(kTwo)) << "another address has room of its own";
    counts.Remove(kOne);
    EXPECT_TRUE(counts.TryAdd(kOne)) << "a removed one makes room";
    EXPECT_FALSE(counts.TryAdd(kOne));

    AddressCounts none(0);
    EXPECT_FALSE(none.TryAdd(kOne));
    EXPECT_EQ(none.Addresses(), 0u);
}

// Forged addresses cost a flood nothing: each must be forgotten once nothing of it is left.
TEST(AddressCounts, AnAddressIsForgottenAtZero) {
    AddressCounts counts(2);
    for (std::uint32_t address = 1; address <= 1000; ++address) {
        ASSERT_TRUE(counts.TryAdd(address));
        ASSERT_TRUE(counts.TryAdd(address));
    }
    EXPECT_EQ(counts.Addresses(), 1000u);
    for (std::uint32_t address = 1; address <= 1000; ++address) {
        counts.Remove(address);
        EXPECT_TRUE(counts.Contains(address)) << "one of two is left";
        counts.Remove(address);
        EXPECT_FALSE(counts.Contains(address));
    }
    EXPECT_EQ(counts.Addresses(), 0u);
    counts.Remove(kOne);  // nothing counted: nothing to take
    EXPECT_EQ(counts.Count(kOne), 0u);
    EXPECT_EQ(counts.Addresses(), 0u);

    ASSERT_TRUE(counts.TryAdd(kOne));
    counts.Clear();
    EXPECT_EQ(counts.Addresses(), 0u);
    EXPECT_TRUE(counts.TryAdd(kOne) && counts.TryAdd(kOne)) << "a cleared count starts afresh";
}

// An entry overwritten under its key by another address counts for that one from then on; one
// overwritten by its own address still counts once.
TEST(AddressCounts, AnOverwrittenEntryMovesToItsNewAddress) {
    AddressCounts counts(2);
    ASSERT_TRUE(counts.TryAdd(kOne));
    ASSERT_TRUE(counts.TryAdd(kOne));
    counts.Move(kOne, kOne);
    EXPECT_EQ(counts.Count(kOne), 2u);

    counts.Move(kOne, kTwo);
    EXPECT_EQ(counts.Count(kOne), 1u);
    EXPECT_EQ(counts.Count(kTwo), 1u);
    EXPECT_TRUE(counts.TryAdd(kOne)) << "the moved entry left room behind";
    ASSERT_TRUE(counts.TryAdd(kTwo));
    // The entry exists already: moving it is never refused, though kOne is at its bound.
    counts.Move(kTwo, kOne);
    EXPECT_EQ(counts.Count(kOne), 3u);
    EXPECT_FALSE(counts.TryAdd(kOne));
    counts.Move(kTwo, kOne);
    EXPECT_FALSE(counts.Contains(kTwo)) << "moving its last entry away forgets the address";
}

}  // namespace
}  // namespace veltra
