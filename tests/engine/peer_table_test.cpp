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
