#include "ui/presentation/peer_rows.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/peer_table.h"
#include "platform/socket.h"

namespace veltra {
namespace {

void Add(PeerTable& table, const char* user, const char* address, const char* host) {
    PeerRecord record{};
    std::strcpy(record.user_name, user);
    std::strcpy(record.host_name, host);
    record.source_address = platform::InetAddr(address);
    table.Write(PeerKey(record), record);
}

// The table's peers as the session hands them out, in the table's ascending order.
std::vector<OnlinePeer> Peers(const PeerTable& table) {
    std::vector<OnlinePeer> peers;
    for (const PeerEntry& entry : table.Snapshot()) {
        peers.push_back(OnlinePeer{entry.key, entry.record.source_address, entry.record.user_name,
                                   entry.record.host_name});
    }
    return peers;
}

TEST(PeerRows, GreatestKeyFirst) {
    PeerTable table;
    Add(table, "alice", "10.0.0.3", "h");
    Add(table, "carol", "10.0.0.1", "h");
    Add(table, "bob", "10.0.0.2", "h");
    const std::vector<PeerRow> rows = BuildPeerRows(Peers(table));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, L"carol (10.0.0.1|h)");
    EXPECT_EQ(rows[1].text, L"bob (10.0.0.2|h)");
    EXPECT_EQ(rows[2].text, L"alice (10.0.0.3|h)");
    // Each row keeps its peer's address, whatever happens to the table afterwards.
    table.Clear();
    EXPECT_EQ(rows[0].address, platform::InetAddr("10.0.0.1"));
    EXPECT_EQ(rows[2].address, platform::InetAddr("10.0.0.3"));
}

TEST(PeerRows, OneUserOnTwoHostsGivesTwoRowsAndChineseNamesComeFirst) {
    PeerTable table;
    Add(table, "wm", "10.0.0.1", "pda");
    Add(table, "wm", "10.0.0.2", "pda");
    Add(table, "\xd5\xc5\xc8\xfd", "10.0.0.9", "pc");  // 张三: its lead byte is above ASCII
    const std::vector<PeerRow> rows = BuildPeerRows(Peers(table));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, L"张三 (10.0.0.9|pc)");
    EXPECT_EQ(rows[1].text, L"wm (10.0.0.2|pda)");
    EXPECT_EQ(rows[2].text, L"wm (10.0.0.1|pda)");
    EXPECT_EQ(rows[0].host, L"pc");
    EXPECT_EQ(rows[2].host, L"pda");
}

TEST(PeerRows, ThePersonIsFoundByAddressAndNameWhereverTheRowMoved) {
    PeerTable table;
    Add(table, "wm", "10.0.0.1", "pda");
    Add(table, "wm", "10.0.0.2", "pda");
    const PeerRow wm_on_1 = BuildPeerRows(Peers(table))[1];
    ASSERT_EQ(wm_on_1.name, L"wm");
    Add(table, "zed", "10.0.0.3", "pc");  // joins before it in the list
    std::vector<PeerRow> rows = BuildPeerRows(Peers(table));
    EXPECT_EQ(RowOfPerson(rows, wm_on_1), std::optional<std::size_t>(2));

    // Another user at that address, or the same user elsewhere, is not that person.
    table.Clear();
    Add(table, "other", "10.0.0.1", "pda");
    Add(table, "wm", "10.0.0.2", "pda");
    EXPECT_EQ(RowOfPerson(BuildPeerRows(Peers(table)), wm_on_1), std::nullopt);
}

TEST(PeerRows, TheOwnRowIsMarkedAfterItsKeyAndKeepsItsPlaceAndPerson) {
    PeerTable table;
    Add(table, "wm", "10.0.0.1", "pda");
    Add(table, "wm", "10.0.0.2", "pda");
    Add(table, "zed", "10.0.0.3", "pc");
    std::vector<OnlinePeer> peers = Peers(table);
    peers[1].own = true;  // wm on 10.0.0.2
    const std::vector<PeerRow> rows = BuildPeerRows(peers);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, L"zed (10.0.0.3|pc)");
    EXPECT_EQ(rows[1].text, L"wm (10.0.0.2|pda)（本机）");
    EXPECT_EQ(rows[2].text, L"wm (10.0.0.1|pda)");
    // Sending to it stays as to any other row.
    EXPECT_EQ(rows[1].address, platform::InetAddr("10.0.0.2"));
    EXPECT_EQ(rows[1].name, L"wm");
    EXPECT_EQ(RowOfPerson(rows, PeerRow{L"", platform::InetAddr("10.0.0.2"), L"wm"}),
              std::optional<std::size_t>(1));
}

TEST(PeerRows, RecipientLineNamesEachPersonWithTheirAddress) {
    const PeerRow zhang{L"张三 (192.168.1.20|pc)", platform::InetAddr("192.168.1.20"), L"张三"};
    const PeerRow li{L"li (10.0.0.2|h)", platform::InetAddr("10.0.0.2"), L"li"};
    EXPECT_EQ(RecipientLine({zhang}), L"发给：张三（192.168.1.20）");
    EXPECT_EQ(RecipientLine({zhang, li}), L"发给：张三（192.168.1.20）、li（10.0.0.2）");
}

TEST(PeerRows, OnlineCount) {
    EXPECT_TRUE(BuildPeerRows({}).empty());
    EXPECT_EQ(OnlineCountText(0), L"0");
    EXPECT_EQ(OnlineCountText(12), L"12");
}

}  // namespace
}  // namespace veltra
