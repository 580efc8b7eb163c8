// The history's feed: every event goes on to the front end unchanged, what the history keeps is
// written off the posting thread, a batch in one transaction, and no row is lost to threads
// that record at once.
#include <gtest/gtest.h>

#include <thread>

#include "common/text.h"
#include "history/history_recorder.h"
#include "platform/socket.h"
#include "tests/history/history_support.h"
#include "tests/support/recording_sink.h"

namespace veltra::testing {
namespace {

HistoryOptions At(const HistoryFolder& folder) {
    HistoryOptions options;
    options.file = folder.Path();
    return options;
}

const std::uint32_t kAlice = platform::InetAddr("10.0.0.7");

FilesReceived BatchOf(std::size_t entries) {
    FilesReceived batch{static_cast<int>(entries), 0, "alice", "desk", kAlice};
    std::string entry_path;
    for (std::size_t i = 0; i < entries; ++i) {
        // Appended rather than "f" + std::to_string(i): GCC 12 at -O3 warns falsely (-Wrestrict)
        // on a literal added in front of a temporary string.
        std::string name = "f";
        name += std::to_string(i);
        entry_path.assign("/r/").append(name);
        EntryEnded entry{name, false, 10, 10};
        entry.stored = platform::Path::FromHost(entry_path);
        batch.entries.push_back(std::move(entry));
    }
    return batch;
}

HistoryQuery All() {
    HistoryQuery query;
    query.limit = 1000000;
    return query;
}

TEST(HistoryRecorder, EveryEventGoesOnToTheFrontEndUnchanged) {
    HistoryFolder folder;
    RecordingSink sink;
    HistoryRecorder recorder(sink, At(folder));
    recorder.Post(MessageReceived{"alice", "desk", kAlice, "hi"});
    recorder.Post(BatchStarted{"alice", kAlice});
    recorder.Post(FileStarted{"f0", 10});
    recorder.Post(FileProgress{10});
    recorder.Post(FileDone{"f0", 10, 10, FileOutcome::kStored});
    recorder.Post(BatchOf(1));
    recorder.Post(OfferServed{3, kAlice, "x", false, true});
    EXPECT_EQ(sink.Kinds(), (std::vector<std::string>{"message", "batch", "started", "progress",
                                                      "done", "files", "served"}));
    const FilesReceived passed = sink.Of<FilesReceived>().at(0);
    EXPECT_EQ(passed.user_name, "alice");
    ASSERT_EQ(passed.entries.size(), 1u);
    EXPECT_EQ(passed.entries[0].stored, platform::Path::FromHost("/r/f0"));

    recorder.Flush();
    // A file's start, progress and end make no row: its entry's row comes with the batch's end.
    EXPECT_EQ(recorder.Read(All()).size(), 3u);
}

TEST(HistoryRecorder, TenThousandEntriesOfABatchAreWrittenInOneTransaction) {
    HistoryFolder folder;
    RecordingSink sink;
    HistoryRecorder recorder(sink, At(folder));
    const std::uint64_t before = recorder.Commits();
    recorder.Post(BatchOf(10000));
    recorder.Flush();
    EXPECT_EQ(recorder.Commits(), before + 1);
    const std::vector<HistoryRow> rows = recorder.Read(All());
    ASSERT_EQ(rows.size(), 10001u);
    EXPECT_EQ(rows.front().kind, HistoryKind::kBatchReceived);
    EXPECT_EQ(rows.front().count, 10000);
    EXPECT_EQ(rows.back().name, "f0");
    EXPECT_EQ(rows.back().stored_path, "/r/f0");
}

TEST(HistoryRecorder, TheDownloadWorkerAndTheUserRecordingAtOnceLoseNoRow) {
    HistoryFolder folder;
    RecordingSink sink;
    HistoryRecorder recorder(sink, At(folder));
    constexpr int kEach = 2000;
    std::thread worker([&recorder] {
        for (int i = 0; i < kEach; ++i) {
            recorder.Post(FileStarted{"f", 1});
            recorder.Post(FileProgress{1});
            recorder.Post(BatchOf(1));
        }
    });
    for (int i = 0; i < kEach; ++i) {
        recorder.RecordSent(kAlice, {"alice", "desk"}, L"sent " + std::to_wstring(i));
    }
    worker.join();
    recorder.Flush();
    const std::vector<HistoryRow> rows = recorder.Read(All());
    EXPECT_EQ(rows.size(), 3u * kEach) << "each batch is an entry and a summary, each send one";
    int sent = 0;
    for (const HistoryRow& row : rows) {
        if (row.kind == HistoryKind::kMessageSent) {
            EXPECT_EQ(row.text, "sent " + std::to_string(kEach - 1 - sent)) << "out of order";
            ++sent;
        }
    }
    EXPECT_EQ(sent, kEach);
}

TEST(HistoryRecorder, ARestartFindsMessagesAndTransfersAsTheyWere) {
    HistoryFolder folder;
    RecordingSink sink;
    const std::string hello = WideToAnsi(L"你好\r\nworld");  // as the wire brings it
    {
        HistoryRecorder recorder(sink, At(folder));
        recorder.Post(MessageReceived{"alice", "desk", kAlice, hello});
        recorder.RecordSent(kAlice, {"alice", "desk"}, L"收到\r\nthanks");
        const platform::Path offered = platform::Path::FromHost("/home/u/report.pdf");
        const platform::Path missing = platform::Path::FromHost("/home/u/gone.txt");
        recorder.RecordOffered(
            kAlice, {"alice", "desk"},
            {OfferResult{offered, OfferOutcome::kListed, OfferedEntry{7, offered, false, 1234}},
             OfferResult{missing, OfferOutcome::kNoSuchFile, std::nullopt}});
        recorder.Post(OfferServed{7, kAlice, "report.pdf", false, true});
        FilesReceived batch = BatchOf(1);
        batch.failed = 1;
        batch.entries.push_back(EntryEnded{"photos", true, 0, 300, FileOutcome::kConnectionLost,
                                           platform::Path::FromHost("/r/photos")});
        recorder.Post(batch);
    }  // shut down: everything queued is written

    RecordingSink later;
    HistoryRecorder recorder(later, At(folder));
    const std::vector<HistoryRow> rows = recorder.Read(All());
    ASSERT_EQ(rows.size(), 7u);
    for (const HistoryRow& row : rows) {
        EXPECT_EQ(row.peer_name, "alice");
        EXPECT_EQ(row.host, "desk");
        EXPECT_EQ(row.address, "10.0.0.7");
        EXPECT_GT(row.time_ms, 1700000000000) << "not the time of day";
    }
    // Newest first.
    EXPECT_EQ(rows[6].kind, HistoryKind::kMessageReceived);
    EXPECT_EQ(rows[6].text, "你好\nworld");
    EXPECT_EQ(rows[5].kind, HistoryKind::kMessageSent);
    EXPECT_EQ(rows[5].text, "收到\nthanks");
    EXPECT_EQ(rows[4].kind, HistoryKind::kEntryOffered);
    EXPECT_EQ(rows[4].name, "report.pdf");
    EXPECT_EQ(rows[4].size, 1234u);
    EXPECT_EQ(rows[4].stored_path, "/home/u/report.pdf");
    EXPECT_EQ(rows[4].outcome, outcome::kSent) << "the fetch did not reach the offer's row";
    EXPECT_EQ(rows[3].outcome, outcome::kNotOffered);
    EXPECT_EQ(rows[3].reason, "no_such_file");
    EXPECT_EQ(rows[2].kind, HistoryKind::kEntryReceived);
    EXPECT_EQ(rows[2].name, "f0");
    EXPECT_EQ(rows[2].outcome, outcome::kStored);
    EXPECT_EQ(rows[2].stored_path, "/r/f0");
    EXPECT_EQ(rows[1].name, "photos");
    EXPECT_TRUE(rows[1].folder);
    EXPECT_EQ(rows[1].size, 300u) << "a folder's size is what arrived of it";
    EXPECT_EQ(rows[1].outcome, outcome::kFailed);
    EXPECT_EQ(rows[1].reason, "connection_lost");
    EXPECT_EQ(rows[1].stored_path, "/r/photos");
    EXPECT_EQ(rows[0].kind, HistoryKind::kBatchReceived);
    EXPECT_EQ(rows[0].count, 1);
    EXPECT_EQ(rows[0].failed, 1);
    EXPECT_TRUE(later.Notices().empty());
}

TEST(HistoryRecorder, ClearingTakesTheRowsStillWaitingToo) {
    HistoryFolder folder;
    RecordingSink sink;
    HistoryRecorder recorder(sink, At(folder));
    recorder.RecordSent(kAlice, {}, L"before");
    recorder.Flush();
    for (int i = 0; i < 100; ++i) {
        recorder.RecordSent(kAlice, {}, L"queued");
    }
    ASSERT_TRUE(recorder.Clear());
    recorder.Flush();
    EXPECT_TRUE(recorder.Read(All()).empty());
    recorder.RecordSent(kAlice, {}, L"after");
    recorder.Flush();
    EXPECT_EQ(Texts(recorder.Read(All())), std::vector<std::string>{"after"});
}

}  // namespace
}  // namespace veltra::testing
