// The history's store: the rows kept, what a query finds, clearing, and the file's privacy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "tests/history/history_support.h"

namespace veltra::testing {
namespace {

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(HistoryStore, KeepsTheNewestRowsUpToItsBound) {
    HistoryFolder folder;
    HistoryStore store(folder.Path(), 100);
    for (int batch = 0; batch < 3; ++batch) {
        std::vector<HistoryRow> rows;
        for (int i = 0; i < 90; ++i) {
            rows.push_back(MessageRowSaying("row " + std::to_string(batch * 90 + i)));
        }
        Append(store, rows);
    }
    HistoryQuery everything;
    everything.limit = 1000;
    const std::vector<HistoryRow> kept = store.Read(everything);
    ASSERT_EQ(kept.size(), 100u);
    EXPECT_EQ(kept.front().text, "row 269") << "newest first";
    EXPECT_EQ(kept.back().text, "row 170");

    HistoryStore reopened(folder.Path(), 100);
    EXPECT_EQ(reopened.Read(everything).size(), 100u);
}

TEST(HistoryStore, FindsTextAndPeersAsTypedNeverAsPatternsOrStatements) {
    HistoryFolder folder;
    HistoryStore store(folder.Path());
    std::vector<HistoryRow> rows = {
        MessageRowSaying("50% off", 1000),
        MessageRowSaying("5_0 x", 2000),
        MessageRowSaying("'); DROP TABLE history; --", 3000),
        MessageRowSaying("back\\slash", 4000),
    };
    HistoryRow entry;
    entry.time_ms = 5000;
    entry.kind = HistoryKind::kEntryReceived;
    entry.peer_name = "bob";
    entry.address = "10.0.0.9";
    entry.name = "report.pdf";
    entry.outcome = "stored";
    entry.stored_path = "/home/u/Received/report.pdf";
    rows.push_back(entry);
    Append(store, rows);

    HistoryQuery query;
    query.text = "%";
    EXPECT_EQ(Texts(store.Read(query)), std::vector<std::string>{"50% off"});
    query.text = "_";
    EXPECT_EQ(Texts(store.Read(query)), std::vector<std::string>{"5_0 x"});
    query.text = "\\";
    EXPECT_EQ(Texts(store.Read(query)), std::vector<std::string>{"back\\slash"});
    query.text = "DROP TABLE";
    EXPECT_EQ(Texts(store.Read(query)), std::vector<std::string>{"'); DROP TABLE history; --"});
    query.text = "Received/report";
    const std::vector<HistoryRow> found = store.Read(query);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0],
              (HistoryRow{found[0].id, 5000, HistoryKind::kEntryReceived, "bob", "10.0.0.9", "", "",
                          "report.pdf", false, 0, "stored", "", "/home/u/Received/report.pdf"}));

    HistoryQuery by_peer;
    by_peer.peer = "10.0.0.9";
    EXPECT_EQ(store.Read(by_peer).size(), 1u);
    by_peer.peer = "ALI";  // names match regardless of ASCII case
    EXPECT_EQ(store.Read(by_peer).size(), 4u);

    HistoryQuery page;
    page.limit = 2;
    const std::vector<HistoryRow> first = store.Read(page);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].time_ms, 5000);
    page.before_id = first.back().id;
    EXPECT_EQ(Texts(store.Read(page)),
              (std::vector<std::string>{"'); DROP TABLE history; --", "5_0 x"}));
    HistoryQuery recent;
    recent.since = 3000;
    EXPECT_EQ(store.Read(recent).size(), 3u);
}

TEST(HistoryStore, ClearingLeavesNoRowAndNoTraceOfTheirTextOnTheDisk) {
    HistoryFolder folder;
    HistoryStore store(folder.Path());
    std::vector<HistoryRow> rows;
    for (int i = 0; i < 2000; ++i) {
        rows.push_back(MessageRowSaying("secret-" + std::to_string(i) + std::string(500, 'x')));
    }
    Append(store, rows);
    const auto on_disk = [&folder] {
        return Bytes(folder.File()) + Bytes(folder.File().string() + "-wal");
    };
    ASSERT_NE(on_disk().find("secret-1999"), std::string::npos);
    const std::size_t before = on_disk().size();

    store.Clear();
    EXPECT_TRUE(store.Read({}).empty());
    const std::string after = on_disk();
    EXPECT_EQ(after.find("secret-"), std::string::npos) << "cleared text is still on the disk";
    EXPECT_LT(after.size(), before / 10) << "the room was not given back";
    Append(store, {MessageRowSaying("after the clear")});
    EXPECT_EQ(Texts(store.Read({})), std::vector<std::string>{"after the clear"});
}

TEST(HistoryStore, TheFilesAreTheOwnersAloneWhateverTheUmaskOrTheModeFound) {
    HistoryFolder folder;
    const mode_t old_umask = umask(022);
    {
        HistoryStore store(folder.Path());
        Append(store, {MessageRowSaying("private")});
        EXPECT_EQ(ModeOf(folder.File()), 0600u);
        EXPECT_EQ(ModeOf(folder.File().string() + "-wal"), 0600u);
        EXPECT_EQ(ModeOf(folder.File().string() + "-shm"), 0600u);
    }
    ASSERT_EQ(chmod(folder.File().c_str(), 0644), 0);
    HistoryStore reopened(folder.Path());
    EXPECT_EQ(ModeOf(folder.File()), 0600u) << "a file open to others stayed open";
    umask(old_umask);
}

}  // namespace
}  // namespace veltra::testing
