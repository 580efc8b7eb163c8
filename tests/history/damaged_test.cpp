// A history file that cannot be used is put aside, a new one started and the user told once;
// whatever the file holds, the program starts.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "history/history_recorder.h"
#include "history/sqlite.h"
#include "tests/history/history_support.h"
#include "tests/support/recording_sink.h"

namespace veltra::testing {
namespace {

HistoryOptions At(const HistoryFolder& folder) {
    HistoryOptions options;
    options.file = folder.Path();
    return options;
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the recorder's one sent message and reads the history back.
std::vector<HistoryRow> WriteAndRead(HistoryRecorder& recorder, const std::wstring& text) {
    recorder.RecordSent(0x0100007f, {}, text);
    recorder.Flush();
    return recorder.Read({});
}

TEST(DamagedHistory, AFileThatIsNoDatabaseIsMovedAsideAndANewOneStartedWithOneNotice) {
    HistoryFolder folder;
    const std::string garbage(10000, 'g');
    Write(folder.File(), garbage);
    Write(folder.File().string() + "-wal", "stale log");
    RecordingSink sink;
    {
        HistoryRecorder recorder(sink, At(folder));
        EXPECT_TRUE(recorder.Available());
        EXPECT_EQ(sink.Notices(), std::vector<std::wstring>{kHistoryMovedAside});
        EXPECT_EQ(Texts(WriteAndRead(recorder, L"new start")),
                  std::vector<std::string>{"new start"});
    }
    const std::vector<std::string> aside = folder.NamesStartingWith("history.sqlite3.broken-");
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(Read(folder.Folder() / aside[0]), garbage) << "what was put aside was changed";
    // SQLite drops a log that belongs to no database of its own; one that is kept goes along.
    EXPECT_EQ(Read(folder.File().string() + "-wal").find("stale log"), std::string::npos)
        << "the new history was given the old one's log";

    // The new file is sound: the next start says nothing and finds the row.
    HistoryRecorder again(sink, At(folder));
    EXPECT_EQ(Texts(again.Read({})), std::vector<std::string>{"new start"});
    EXPECT_EQ(sink.Notices().size(), 1u);
}

TEST(DamagedHistory, DamagedPagesInADatabaseAreFoundAtTheStart) {
    HistoryFolder folder;
    {
        HistoryStore store(folder.Path());
        std::vector<HistoryRow> rows;
        for (int i = 0; i < 3000; ++i) {
            rows.push_back(MessageRowSaying("row " + std::to_string(i) + std::string(200, 'r')));
        }
        Append(store, rows);
    }  // closed: the log is written into the file
    std::string bytes = Read(folder.File());
    ASSERT_GT(bytes.size(), 40000u);
    // Pages 5 to 9 overwritten, the file's header left as it is.
    std::fill(bytes.begin() + 4 * 4096, bytes.begin() + 9 * 4096, '\x5a');
    Write(folder.File(), bytes);

    RecordingSink sink;
    std::thread::id told_on;
    sink.SetOnPost([&told_on](const Event&) { told_on = std::this_thread::get_id(); });
    HistoryRecorder recorder(sink, At(folder));
    recorder.Flush();  // the writer has opened it
    EXPECT_EQ(sink.Notices(), std::vector<std::wstring>{kHistoryMovedAside});
    // Checking every page of a large history takes a while: never on the thread that starts.
    EXPECT_NE(told_on, std::this_thread::get_id()) << "the history was opened by the caller";
    EXPECT_EQ(Texts(WriteAndRead(recorder, L"fresh")), std::vector<std::string>{"fresh"});
    EXPECT_EQ(folder.NamesStartingWith("history.sqlite3.broken-").size(), 1u);
}

TEST(DamagedHistory, AHistoryThatCannotBeHadIsToldOnceAndEverythingElseGoesOn) {
    HistoryFolder folder;
    HistoryOptions options;
    options.file = platform::Path::FromHost((folder.Folder() / "missing" / "h.sqlite3").string());
    RecordingSink sink;
    HistoryRecorder recorder(sink, options);
    EXPECT_FALSE(recorder.Available());
    const std::vector<std::wstring> notices = sink.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind(kHistoryStopped, 0), 0u) << "no cause told";
    recorder.Post(MessageReceived{"u", "h", 1, "still shown"});
    recorder.RecordSent(1, {}, L"not kept");
    recorder.Flush();
    EXPECT_EQ(sink.Count<MessageReceived>(), 1u);
    EXPECT_TRUE(recorder.Read({}).empty());
    EXPECT_FALSE(recorder.Clear());
}

}  // namespace
}  // namespace veltra::testing
