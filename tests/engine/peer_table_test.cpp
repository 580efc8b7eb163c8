#include "engine/peer_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace veltra {
namespace {

PeerRecord Record(const char* user, const char* address, const char* host) {
    PeerRecord record{};
    std::strcpy(record.user_name, user);
    std::strcpy(record.host_name, host);
    record.source_address = platform::InetAddr(address);
    return record;
}

std::vector<std::string> Keys(const PeerTable& table) {
    std::vector<std::string> keys;
    for (const PeerEntry& entry : table.Snapshot()) {
        keys.push_back(entry.key);
    }
    return keys;
}

TEST(PeerKey, UserAddressAndHostInTheirPlaces) {
    EXPECT_EQ(PeerKey(Record("wm", "192.168.1.20", "pda")), "wm (192.168.1.20|pda)");
    // Code page 936 bytes pass through untouched.
    EXPECT_EQ(PeerKey(Record("\xd5\xc5\xc8\xfd", "10.0.0.1", "h")),
              "\xd5\xc5\xc8\xfd (10.0.0.1|h)");
}

TEST(PeerKeyLess, ComparesBytesAsUnsignedAndPrefixesFirst) {
    const PeerKeyLess less;
    EXPECT_TRUE(less("z", "\xc4\xe3"));  // a GBK lead byte sorts after ASCII
    EXPECT_FALSE(less("\xc4\xe3", "z"));
    EXPECT_TRUE(less("\x7f", "\x80"));
    EXPECT_TRUE(less("ab", "ab "));
    EXPECT_FALSE(less("ab", "ab"));
}

TEST(PeerTable, WritesOverwritesRemovesAndClears) {
    PeerTable table;
    table.Write("b (1.1.1.1|h)", Record("b", "1.1.1.1", "h"));
    table.Write("\xd5\xc5 (1.1.1.1|h)", Record("\xd5\xc5", "1.1.1.1", "h"));
    table.Write("a (1.1.1.1|h)", Record("a", "1.1.1.1", "h"));
    PeerRecord changed = Record("a", "1.1.1.1", "h");
    changed.presence_mark = 0x01000000;
    table.Write("a (1.1.1.1|h)", changed);

    EXPECT_EQ(Keys(table),
              (std::vector<std::string>{"a (1.1.1.1|h)", "b (1.1.1.1|h)", "\xd5\xc5 (1.1.1.1|h)"}));
    EXPECT_EQ(table.Snapshot()[0].record.presence_mark, 0x01000000u);
    EXPECT_TRUE(table.Remove("b (1.1.1.1|h)"));
    EXPECT_FALSE(table.Remove("b (1.1.1.1|h)"));
    EXPECT_EQ(table.Size(), 2u);
    table.Clear();
    EXPECT_TRUE(table.Snapshot().empty());
}

TEST(PeerTable, KnowsTheAddressesItHasEntriesFrom) {
    PeerTable table;
    const std::uint32_t address = platform::InetAddr("10.0.0.1");
    EXPECT_FALSE(table.HasSource(address));
    table.Write("a (10.0.0.1|h)", Record("a", "10.0.0.1", "h"));
    table.Write("b (10.0.0.1|h)", Record("b", "10.0.0.1", "h"));
    EXPECT_TRUE(table.HasSource(address));
    EXPECT_FALSE(table.HasSource(platform::InetAddr("10.0.0.2")));
    table.Remove("a (10.0.0.1|h)");
    EXPECT_TRUE(table.HasSource(address)) << "another user at the address is still listed";
    table.Remove("b (10.0.0.1|h)");
    EXPECT_FALSE(table.HasSource(address));
    table.Write("a (10.0.0.1|h)", Record("a", "10.0.0.1", "h"));
    table.Clear();
    EXPECT_FALSE(table.HasSource(address));
}

TEST(PeerTable, NewEntriesBeyondTheBoundsAreNotStored) {
    PeerTable table;
    const auto write = [&table](const std::string& user, const std::string& address) {
        return table.Write(user + " (" + address + "|h)",
                           Record(user.c_str(), address.c_str(), "h"));
    };
    for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(write("u" + std::to_string(i), "10.0.0.1"));
    }
    EXPECT_FALSE(write("u32", "10.0.0.1"));
    EXPECT_TRUE(write("u0", "10.0.0.1")) << "a known entry is still refreshed";
    EXPECT_TRUE(write("u0", "10.0.0.2")) << "another address has room of its own";
    EXPECT_TRUE(table.Remove("u5 (10.0.0.1|h)"));
    EXPECT_TRUE(write("u32", "10.0.0.1")) << "a removed entry makes room";
    EXPECT_EQ(table.Size(), 33u);

    // 20,000 in all, from 625 addresses of 32 users each.
    table.Clear();
    for (int address = 0; address < 625; ++address) {
        const std::string dotted =
            "10.1." + std::to_string(address / 250) + "." + std::to_string(address % 250 + 1);
        for (int i = 0; i < 32; ++i) {
            ASSERT_TRUE(write("u" + std::to_string(i), dotted));
        }
    }
    EXPECT_EQ(table.Size(), 20000u);
    EXPECT_FALSE(write("new", "10.2.0.1"));
    EXPECT_TRUE(table.Remove("u0 (10.1.0.1|h)"));
    EXPECT_TRUE(write("new", "10.2.0.1"));
    table.Clear();
    EXPECT_TRUE(write("u32", "10.0.0.1")) << "a cleared table counts afresh";
}

TEST(PeerTable, AnOverwrittenEntryCountsOnceForItsAddress) {
    PeerTable table(PeerLimits{3, 100});
    const auto write = [&table](const std::string& user, const char* address) {
        return table.Write(user + " (h)", Record(user.c_str(), address, "h"));
    };
    ASSERT_TRUE(write("a", "10.0.0.1"));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(write("a", "10.0.0.1"));
    }
    EXPECT_TRUE(write("b", "10.0.0.1"));
    EXPECT_TRUE(write("c", "10.0.0.1")) << "overwriting took the address's room";
    EXPECT_FALSE(write("d", "10.0.0.1"));
    // A key taken over by another address counts for that one from then on.
    ASSERT_TRUE(write("c", "10.0.0.2"));
    EXPECT_TRUE(write("d", "10.0.0.1"));
    EXPECT_FALSE(write("e", "10.0.0.1"));

    for (const char* user : {"a", "b", "c", "d"}) {
        ASSERT_TRUE(table.Remove(std::string(user) + " (h)"));
    }
    EXPECT_EQ(table.Size(), 0u);
    for (const char* user : {"e", "f", "g"}) {
        EXPECT_TRUE(write(user, "10.0.0.1")) << "removing left a count behind: " << user;
    }
    EXPECT_FALSE(write("h", "10.0.0.1"));
}

TEST(PeerTable, SnapshotIsACopy) {
    PeerTable table;
    table.Write("a", Record("a", "1.1.1.1", "h"));
    std::vector<PeerEntry> snapshot = table.Snapshot();
    table.Clear();
    ASSERT_EQ(snapshot.size(), 1u);
    EXPECT_STREQ(snapshot[0].record.user_name, "a");
}

// The receive thread writes while the window copies and clears; run under ThreadSanitizer this
// shows that every access is guarded. Every snapshot must be in order.
TEST(PeerTable, ConcurrentWritersAndReaders) {
    PeerTable table;
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            const std::string key = "p" + std::to_string(i % 97);
            table.Write(key, Record(key.c_str(), "1.1.1.1", "h"));
            if (i % 13 == 0) {
                table.Remove(key);
            }
        }
    });
    bool ordered = true;
    for (int i = 0; i < 200; ++i) {
        const std::vector<PeerEntry> snapshot = table.Snapshot();
        for (std::size_t j = 1; j < snapshot.size(); ++j) {
            ordered = ordered && PeerKeyLess()(snapshot[j - 1].key, snapshot[j].key);
        }
        if (i % 50 == 0) {
            table.Clear();
        }
    }
    writer.join();
    EXPECT_TRUE(ordered);
}

}  // namespace
}  // namespace veltra
