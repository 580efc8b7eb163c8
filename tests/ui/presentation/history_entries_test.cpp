// The history as the dialogs show it: the last day at the top of the log, and the history
// window's search and rows, over a real store.

#include "ui/presentation/history_entries.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/history_store.h"
#include "tests/history/history_support.h"
#include "tests/platform/temp_folder.h"
#include "ui/presentation/history_list.h"

namespace veltra {
namespace {

using testing::HistoryFolder;
using testing::MessageRowSaying;
using testing::ReceivedEntryStoredAt;

// 2026-12-08 09:14 and 23:59, and 2026-12-09 00:05, in UTC.
constexpr std::int64_t kDec8At0914 = 1796721240000;
constexpr std::int64_t kDec8At2359 = 1796774340000;
constexpr std::int64_t kDec9At0005 = 1796774700000;

// Local time is UTC here, whatever the machine's zone.
class HistoryTextTest : public ::testing::Test {
  protected:
    HistoryTextTest() { tzset(); }
    ~HistoryTextTest() override {
        zone_.reset();
        tzset();
    }

    std::optional<testing::ScopedVariable> zone_{std::in_place, "TZ", "UTC"};
};

class HistoryShownTest : public HistoryTextTest {
  protected:
    HistoryReader Reader() {
        return [this](const HistoryQuery& query) { return store_.Read(query); };
    }

    HistoryFolder folder_;
    HistoryStore store_{folder_.Path()};
};

HistoryRow SentRow(std::string text, std::int64_t time_ms) {
    HistoryRow row = MessageRowSaying(std::move(text), time_ms);
    row.kind = HistoryKind::kMessageSent;
    row.peer_name = "bob";
    row.address = "10.0.0.5";
    row.host = "pc2";
    return row;
}

std::vector<std::string> Texts(const std::vector<HistoryRow>& rows) {
    std::vector<std::string> texts;
    for (const HistoryRow& row : rows) {
        texts.push_back(!row.text.empty() ? row.text : row.name);
    }
    return texts;
}

TEST_F(HistoryShownTest, NoHistoryOpensTheLogWithNothing) {
    EXPECT_TRUE(LastHistoryDay(Reader()).empty());
    EXPECT_EQ(HistoryLogText({}), L"");
}

TEST_F(HistoryShownTest, TheLogOpensWithTheNewestRowsDayOldestFirst) {
    testing::Append(store_,
                    {MessageRowSaying("before", kDec8At0914 - 86400000),
                     MessageRowSaying("morning", kDec8At0914), SentRow("late", kDec8At2359)});
    EXPECT_EQ(Texts(LastHistoryDay(Reader())), (std::vector<std::string>{"morning", "late"}));

    // A row after midnight makes the new day the last one with history.
    testing::Append(store_, {MessageRowSaying("after midnight", kDec9At0005)});
    EXPECT_EQ(Texts(LastHistoryDay(Reader())), (std::vector<std::string>{"after midnight"}));
}

TEST_F(HistoryShownTest, ABusyDayOpensTheLogWithItsNewestRowsOnly) {
    std::vector<HistoryRow> rows;
    for (std::size_t i = 0; i < kLogHistoryRows + 20; ++i) {
        std::string text = "n";
        text += std::to_string(i);
        rows.push_back(
            MessageRowSaying(std::move(text), kDec8At0914 + static_cast<std::int64_t>(i)));
    }
    testing::Append(store_, rows);
    const std::vector<HistoryRow> day = LastHistoryDay(Reader());
    ASSERT_EQ(day.size(), kLogHistoryRows);
    EXPECT_EQ(day.front().text, "n20");
    EXPECT_EQ(day.back().text, "n519");
}

TEST_F(HistoryTextTest, TheLogsHistoryHasADateLineEachRowsTimeAndTheClosingLine) {
    HistoryRow message = MessageRowSaying("lunch?\nat noon", kDec8At0914);
    const std::wstring text = HistoryLogText(
        {message, SentRow("yes", kDec8At2359),
         ReceivedEntryStoredAt("notes.txt", "/home/u/Received/notes.txt", kDec8At2359)});
    EXPECT_EQ(text,
              L"—— 2026-12-08 ——\r\n"
              L"09:14 alice (10.0.0.7|desk):\r\n lunch?\r\nat noon\r\n"
              L"23:59 发给 bob（10.0.0.5）:\r\n yes\r\n"
              L"23:59 来自 bob（10.0.0.5）: 文件notes.txt 已存于 /home/u/Received/notes.txt\r\n"
              L"——以上为历史记录——\r\n");
}

TEST_F(HistoryShownTest, TheWindowFindsRowsByTextByPeerAndByBothNewestFirst) {
    HistoryRow from_carol = MessageRowSaying("report draft", kDec8At0914 + 1);
    from_carol.peer_name = "carol";
    from_carol.address = "10.0.0.9";
    from_carol.host = "lab";
    testing::Append(store_, {MessageRowSaying("report", kDec8At0914), from_carol,
                             SentRow("no report yet", kDec8At0914 + 2),
                             ReceivedEntryStoredAt("q3.xls", "/home/u/Received/reports/q3.xls",
                                                   kDec8At0914 + 3),
                             MessageRowSaying("lunch", kDec8At0914 + 4)});
    const auto find = [this](std::wstring_view text, std::wstring_view peer) {
        return Texts(store_.Read(HistoryWindowQuery(text, peer)));
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(find(L"", L""),
              (Names{"lunch", "q3.xls", "no report yet", "report draft", "report"}));
    // The stored path counts as text.
    EXPECT_EQ(find(L" report ", L""), (Names{"q3.xls", "no report yet", "report draft", "report"}));
    // By name, host or address.
    EXPECT_EQ(find(L"", L"carol"), (Names{"report draft"}));
    EXPECT_EQ(find(L"", L"pc2"), (Names{"q3.xls", "no report yet"}));
    EXPECT_EQ(find(L"", L"10.0.0.7"), (Names{"lunch", "report"}));
    EXPECT_EQ(find(L"report", L"bob"), (Names{"q3.xls", "no report yet"}));
    EXPECT_EQ(find(L"lunch", L"carol"), Names{});
    EXPECT_EQ(HistoryWindowQuery(L"", L"").limit, kHistoryWindowRows);
}

TEST_F(HistoryTextTest, AStoredEntrysRowShowsWhereItIsAndOffersItsFolder) {
    const HistoryListRow stored =
        ListRowOf(ReceivedEntryStoredAt("q3.xls", "/home/u/Received/q3.xls", kDec8At0914));
    EXPECT_EQ(stored.time, L"2026-12-08 09:14");
    EXPECT_EQ(stored.text, L"来自 bob（10.0.0.5）: 文件q3.xls 已存于 /home/u/Received/q3.xls");
    EXPECT_EQ(stored.stored_path, L"/home/u/Received/q3.xls");
    EXPECT_EQ(stored.folder, L"/home/u/Received");

    HistoryRow failed = ReceivedEntryStoredAt("big.iso", "", kDec8At0914);
    failed.outcome = std::string(outcome::kFailed);
    failed.reason = "disk_full";
    const HistoryListRow not_stored = ListRowOf(failed);
    EXPECT_EQ(not_stored.text, L"来自 bob（10.0.0.5）: 文件big.iso 接收失败：磁盘已满");
    EXPECT_EQ(not_stored.stored_path, L"");
    EXPECT_FALSE(not_stored.folder);

    // A message's lines are one line in the list.
    EXPECT_EQ(ListRowOf(MessageRowSaying("a\nb", kDec8At0914)).text, L"alice (10.0.0.7|desk): a b");
    EXPECT_FALSE(ListRowOf(MessageRowSaying("a", kDec8At0914)).folder);
}

}  // namespace
}  // namespace veltra
