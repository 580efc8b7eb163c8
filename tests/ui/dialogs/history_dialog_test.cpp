// The history where the dialogs' users look: the log opens with the last day's, dimmed, and the
// history window, reached from the list's context menu and the tray menu, searches it, opens a
// stored entry's folder and clears it.

#include "ui/dialogs/history_dialog.h"

#include <gtest/gtest.h>
#include <wx/settings.h>

#include <string>
#include <vector>

#include "history/history_recorder.h"
#include "history/history_store.h"
#include "main_dialog_fixture.h"
#include "tests/history/history_support.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using testing::MessageRowSaying;
using testing::ReceivedEntryStoredAt;

constexpr std::int64_t kMorning = 1796721240000;  // 2026-12-08 09:14 UTC

HistoryRow FromCarol(std::string text, std::int64_t time_ms) {
    HistoryRow row = MessageRowSaying(std::move(text), time_ms);
    row.peer_name = "carol";
    row.address = "10.0.0.9";
    return row;
}

std::vector<std::wstring> ListTexts(const HistoryDialog& dialog) {
    std::vector<std::wstring> texts;
    for (int item = 0; item < dialog.List()->GetItemCount(); ++item) {
        texts.push_back(dialog.List()->GetItemText(item, 1).ToStdWstring());
    }
    return texts;
}

void Select(HistoryDialog& dialog, long item) {
    dialog.List()->SetItemState(item, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    testing::PumpPending();
}

class HistoryDialogTest : public ::testing::Test {
  protected:
    HistoryDialogTest() {
        testing::Append(store_,
                        {MessageRowSaying("lunch?", kMorning), FromCarol("report", kMorning + 1),
                         ReceivedEntryStoredAt("q3.xls", "/home/u/Received/q3.xls", kMorning + 2)});
    }

    HistoryDialogParts Parts() {
        HistoryDialogParts parts;
        parts.read = [this](const HistoryQuery& query) { return store_.Read(query); };
        parts.clear = [this] {
            ++clears_;
            store_.Clear();
            return true;
        };
        parts.open_folder = [this](const std::wstring& folder) {
            opened_.push_back(folder);
            return folder_opens_;
        };
        parts.confirm = [this](wxWindow*, const std::wstring& text) {
            questions_.push_back(text);
            return confirm_;
        };
        return parts;
    }

    testing::HistoryFolder folder_;
    HistoryStore store_{folder_.Path()};
    int clears_ = 0;
    std::vector<std::wstring> opened_;
    bool folder_opens_ = true;
    std::vector<std::wstring> questions_;
    bool confirm_ = false;
};

TEST_F(HistoryDialogTest, ListsNewestFirstAndSearchesByTextAndByPeerAsTheUserTypes) {
    HistoryDialog dialog(nullptr, Parts());
    EXPECT_EQ(dialog.GetTitle(), L"历史记录");
    EXPECT_EQ(ListTexts(dialog),
              (std::vector<std::wstring>{
                  L"来自 bob（10.0.0.5）: 文件q3.xls 已存于 /home/u/Received/q3.xls",
                  L"carol (10.0.0.9|desk): report", L"alice (10.0.0.7|desk): lunch?"}));
    // The stored path has a column of its own.
    EXPECT_EQ(dialog.List()->GetItemText(0, 2), L"/home/u/Received/q3.xls");
    EXPECT_EQ(dialog.List()->GetItemText(1, 2), L"");
    EXPECT_EQ(dialog.Status(), L"3条记录");

    dialog.TextField()->SetValue(L"re");  // "report", and q3.xls in Received
    EXPECT_EQ(dialog.Rows().size(), 2u);
    dialog.PeerField()->SetValue(L"carol");
    EXPECT_EQ(ListTexts(dialog), std::vector<std::wstring>{L"carol (10.0.0.9|desk): report"});
    dialog.TextField()->SetValue(L"");
    EXPECT_EQ(ListTexts(dialog), std::vector<std::wstring>{L"carol (10.0.0.9|desk): report"});
    dialog.TextField()->SetValue(L"lunch");
    EXPECT_TRUE(ListTexts(dialog).empty());
    EXPECT_EQ(dialog.Status(), L"没有找到记录");
}

TEST_F(HistoryDialogTest, OpensTheFolderOfAStoredEntryOnly) {
    HistoryDialog dialog(nullptr, Parts());
    EXPECT_FALSE(dialog.OpenFolderButton()->IsEnabled());  // nothing selected
    Select(dialog, 1);                                     // a message
    EXPECT_FALSE(dialog.OpenFolderButton()->IsEnabled());
    dialog.OpenFolder();
    EXPECT_TRUE(opened_.empty());

    Select(dialog, 0);
    EXPECT_TRUE(dialog.OpenFolderButton()->IsEnabled());
    EXPECT_EQ(dialog.OpenFolderButton()->GetLabel(), L"打开所在文件夹");
    dialog.OpenFolder();
    EXPECT_EQ(opened_, std::vector<std::wstring>{L"/home/u/Received"});

    folder_opens_ = false;
    dialog.OpenFolder();
    EXPECT_EQ(dialog.Status(), L"无法打开所在文件夹");
}

TEST_F(HistoryDialogTest, ClearingAsksFirstThenEmptiesTheHistoryAndTheWindow) {
    HistoryDialog dialog(nullptr, Parts());
    dialog.ClearHistory();  // answered no
    EXPECT_EQ(questions_, std::vector<std::wstring>{L"清除全部历史记录？清除后无法恢复。"});
    EXPECT_EQ(clears_, 0);
    EXPECT_EQ(dialog.Rows().size(), 3u);

    confirm_ = true;
    dialog.ClearHistory();
    EXPECT_EQ(clears_, 1);
    EXPECT_TRUE(store_.Read(HistoryQuery{}).empty());
    EXPECT_EQ(dialog.List()->GetItemCount(), 0);
    EXPECT_EQ(dialog.Status(), L"历史记录已清除");
}

class MainDialogHistoryTest : public testing::MainDialogTest {
  protected:
    void TearDown() override {
        if (dialog_) {
            dialog_->ShutdownMessenger();
        }
    }
    // Rows kept by an earlier run, in the history file the session opens.
    static void EarlierRun(const std::vector<HistoryRow>& rows) {
        HistoryStore store(*DefaultHistoryFile());
        testing::Append(store, rows);
    }
    static std::vector<HistoryRow> Read(const HistoryQuery& query) {
        HistoryStore store(*DefaultHistoryFile());
        return store.Read(query);
    }

    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogHistoryTest, TheLogOpensWithTheLastDaysHistoryDimmedThenWhatArrivesNow) {
    EarlierRun({MessageRowSaying("yesterday", kMorning - 86400000),
                MessageRowSaying("lunch?", kMorning),
                ReceivedEntryStoredAt("q3.xls", "/home/u/Received/q3.xls", kMorning + 60000)});
    const std::wstring history = HistoryLogText(LastHistoryDay(&Read));
    ASSERT_NE(history.find(L"lunch?"), std::wstring::npos);
    ASSERT_EQ(history.find(L"yesterday"), std::wstring::npos);

    dialog_ = StartedDialog();
    const long end = dialog_->HistoryLogEnd();
    EXPECT_EQ(dialog_->Log()->GetValue().ToStdWstring(), history);
    EXPECT_TRUE(dialog_->Log()->GetValue().ToStdWstring().ends_with(L"——以上为历史记录——\r\n"));
    EXPECT_EQ(end, dialog_->Log()->GetLastPosition());

    std::vector<Event> events;
    events.push_back(LogNotice{L"now"});
    PostFromWorker(*dialog_, std::move(events));
    ASSERT_TRUE(testing::PumpUntil(
        [&] { return dialog_->Log()->GetValue().ToStdWstring().ends_with(L"now\r\n"); }));

    const wxColour grey = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    wxTextAttr style;
    ASSERT_TRUE(dialog_->Log()->GetStyle(1, style));
    EXPECT_EQ(style.GetTextColour(), grey) << "the date line";
    ASSERT_TRUE(dialog_->Log()->GetStyle(end - 2, style));
    EXPECT_EQ(style.GetTextColour(), grey) << "the closing line";
    ASSERT_TRUE(dialog_->Log()->GetStyle(end + 1, style));
    EXPECT_NE(style.GetTextColour(), grey) << "what arrives now";
}

TEST_F(MainDialogHistoryTest, WithoutHistoryTheLogOpensEmpty) {
    dialog_ = StartedDialog();
    EXPECT_TRUE(dialog_->Log()->IsEmpty());
    EXPECT_EQ(dialog_->HistoryLogEnd(), 0);
}

TEST_F(MainDialogHistoryTest, TheListsMenuAndTheTrayMenuOpenTheWindowWhichClearsTheHistory) {
    EarlierRun({MessageRowSaying("lunch?", kMorning), FromCarol("report", kMorning + 1)});
    desktop_has_tray_ = true;
    dialog_ = StartedDialog();
    EXPECT_EQ(dialog_->ListContextMenu()->GetLabelText(IDM_HISTORY), L"历史记录");
    ASSERT_NE(dialog_->TrayMenu(), nullptr);
    EXPECT_EQ(dialog_->TrayMenu()->GetLabelText(IDM_HISTORY), L"历史记录");

    std::vector<std::size_t> listed;
    answer_history_ = [&](HistoryDialog& history) {
        listed.push_back(history.Rows().size());
        history.ClearHistory();
    };
    wxCommandEvent chosen(wxEVT_MENU, IDM_HISTORY);
    dialog_->GetEventHandler()->ProcessEvent(chosen);  // the list's context menu
    EXPECT_EQ(questions_,
              std::vector<std::wstring>{L"清除全部历史记录？清除后无法恢复。|清除历史记录"});
    EXPECT_EQ(Read(HistoryQuery{}).size(), 2u) << "answered no";

    confirm_ = true;
    dialog_->TrayMenu()->SendEvent(IDM_HISTORY);
    EXPECT_EQ(history_runs_, 2);
    EXPECT_EQ(listed, (std::vector<std::size_t>{2, 2}));
    EXPECT_TRUE(Read(HistoryQuery{}).empty());
}

TEST_F(MainDialogHistoryTest, TheSettingsBoundIsTheBoundOfTheSessionsHistory) {
    settings_.history_rows = 2;
    EarlierRun({MessageRowSaying("a", kMorning), MessageRowSaying("b", kMorning + 1),
                MessageRowSaying("c", kMorning + 2)});
    dialog_ = StartedDialog();
    script_.typed = L"hello";
    dialog_->ComposeTo(
        {PeerRow{L"bob (127.0.0.12|pc2)", platform::InetAddr("127.0.0.12"), L"bob"}});
    dialog_->ShutdownMessenger();  // writes what waits
    std::vector<std::string> kept;
    for (const HistoryRow& row : Read(HistoryQuery{})) {
        kept.push_back(row.text);
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"hello", "c"}));
}

}  // namespace
}  // namespace veltra
