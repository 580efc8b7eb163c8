// The main window's keys and the list's context menu: refresh, compose on Return, the end of the
// program on Ctrl+Q, and Escape and Return that no longer end the window.

#include <gtest/gtest.h>

#include <filesystem>

#include "main_dialog_fixture.h"
#include "tests/platform/temp_folder.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using testing::User;

constexpr const char* kAlice = "127.0.0.11";
constexpr const char* kBob = "127.0.0.12";

void PressKey(wxWindow& window, int key, int modifiers = wxMOD_NONE) {
    wxKeyEvent press(wxEVT_CHAR_HOOK);
    press.m_keyCode = key;
    press.m_controlDown = (modifiers & wxMOD_CONTROL) != 0;
    press.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(press);
}

class MainDialogKeysTest : public testing::MainDialogTest {
  protected:
    void SetUp() override {
        dialog_ = StartedDialog();
        ShowRows(*dialog_, {{kAlice, "alice", "pc1"}, {kBob, "bob", "pc2"}}, 2);
    }
    void TearDown() override { dialog_->ShutdownMessenger(); }

    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogKeysTest, F5AndTheMenusRefreshAskEveryPeerAgain) {
    PressKey(*dialog_, WXK_F5);
    EXPECT_EQ(Announcements(), 1);

    const std::unique_ptr<wxMenu> menu = dialog_->ListContextMenu();
    ASSERT_NE(menu->FindItem(IDM_REFRESH), nullptr);
    EXPECT_EQ(menu->GetLabelText(IDM_REFRESH), L"刷新");
    EXPECT_EQ(menu->GetLabelText(IDM_OPEN_RECEIVED_FOLDER), L"打开接收文件夹");
    wxCommandEvent chosen(wxEVT_MENU, IDM_REFRESH);
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(Announcements(), 1);
    EXPECT_EQ(compose_runs_, 0);
}

TEST_F(MainDialogKeysTest, ReturnOnASelectedRowComposesToThatUser) {
    PressKey(*dialog_, WXK_RETURN);  // nothing selected: nothing happens
    testing::PumpPending();
    EXPECT_EQ(compose_runs_, 0);

    dialog_->UserList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    script_ = {L"by key", wxID_OK, std::nullopt};
    PressKey(*dialog_, WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return compose_runs_ == 1; }));
    EXPECT_EQ(peers_.Texts(kAlice), std::vector<std::wstring>{L"by key"});  // rows: bob, alice
}

TEST_F(MainDialogKeysTest, EscapeAndReturnKeepTheWindowCtrlQEndsIt) {
    constexpr int kStillRunning = 4242;
    bool modal_after_keys = false;
    testing::WhenModal(*dialog_, [&] {
        PressKey(*dialog_, WXK_ESCAPE);
        PressKey(*dialog_, WXK_RETURN);
        testing::PumpPending();
        modal_after_keys = dialog_->IsModal();
        PressKey(*dialog_, 'Q', wxMOD_CONTROL);
        // Should Ctrl+Q not end the run, the test must still end.
        dialog_->CallAfter([this] {
            if (dialog_->IsModal()) {
                dialog_->EndModal(kStillRunning);
            }
        });
    });
    EXPECT_NE(dialog_->ShowModal(), kStillRunning);
    EXPECT_TRUE(modal_after_keys);
    // The messenger has ended with the window: a refresh sends nothing.
    dialog_->RefreshUsers();
    EXPECT_EQ(Announcements(300), 0);
}

TEST_F(MainDialogKeysTest, TheMenuOpensTheReceivedFolderAndCreatesItFirst) {
    testing::TempFolder home;
    const std::filesystem::path folder = home.path() / "received";
    settings_.received_folder = folder.wstring() + L"/";
    wxCommandEvent chosen(wxEVT_MENU, IDM_OPEN_RECEIVED_FOLDER);
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(opened_folders_, std::vector<std::wstring>{folder.wstring() + L"/"});
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(dialog_->Log()->IsEmpty());

    folder_opens_ = false;  // no file manager: the log says so
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(dialog_->Log()->GetValue(), L"无法打开接收文件夹\r\n");
}

// A user who joins just before the tap moves the rows: the selection, and so the compose dialog,
// stay with the person.
TEST_F(MainDialogKeysTest, SelectionFollowsThePersonAcrossARebuildAndComposeNamesThem) {
    dialog_->UserList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // alice
    ShowRows(*dialog_, {{"127.0.0.13", "carol", "pc3"}}, 3);  // carol, bob, alice
    wxListCtrl& list = *dialog_->UserList();
    EXPECT_EQ(list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 2);
    EXPECT_EQ(list.GetSelectedItemCount(), 1);

    std::wstring shown_recipient;
    answer_compose_ = [&](CInputMsgDialog& compose) {
        shown_recipient = compose.RecipientLabel()->GetLabelText().ToStdWstring();
        return wxID_CANCEL;
    };
    PressKey(*dialog_, WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return !shown_recipient.empty(); }));
    EXPECT_EQ(shown_recipient, L"发给：alice（127.0.0.11）");
}

}  // namespace
}  // namespace veltra
