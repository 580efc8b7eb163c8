// The main window and the compose dialog by keyboard alone: the focus starts in the user list,
// whether the window opens or comes back from the tray; Up and Down move the selection there;
// Return composes to the selected row; in compose Ctrl+Return sends and Escape cancels. The keys
// go to the window that has the focus, as the toolkit delivers them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "event_pump.h"
#include "main_dialog_fixture.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

constexpr const char* kAlice = "127.0.0.11";
constexpr const char* kBob = "127.0.0.12";
constexpr const char* kCarol = "127.0.0.13";

bool IsWithin(const wxWindow* window, const wxWindow& ancestor) {
    for (; window != nullptr; window = window->GetParent()) {
        if (window == &ancestor) {
            return true;
        }
    }
    return false;
}

class MainDialogKeyboardTest : public testing::MainDialogTest {
  protected:
    void SetUp() override {
        desktop_has_tray_ = true;  // the window comes back from the tray
        dialog_ = StartedDialog();
        // Rows: carol, bob, alice.
        ShowRows(*dialog_,
                 {{kAlice, "alice", "pc1"}, {kBob, "bob", "pc2"}, {kCarol, "carol", "pc3"}}, 3);
    }
    void TearDown() override {
        dialog_->Hide();
        dialog_->ShutdownMessenger();
    }

    // Opens the window as the program does and waits until a control in it has the focus.
    wxWindow* OpenedWithFocus() {
        dialog_->ShowAtStart(false);
        wxWindow* focus = nullptr;
        testing::PumpUntil([&] {
            focus = wxWindow::FindFocus();
            return IsWithin(focus, *dialog_);
        });
        return focus;
    }

    // The window with the focus, which keys go to.
    wxWindow& Focus() {
        wxWindow* focus = wxWindow::FindFocus();
        return focus != nullptr ? *focus : *dialog_;
    }

    std::vector<long> Selected() const {
        std::vector<long> items;
        const wxListCtrl& list = *dialog_->UserList();
        for (long item = -1;
             (item = list.GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
            items.push_back(item);
        }
        return items;
    }

    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogKeyboardTest, TheFocusStartsInTheListAndReturnsThereFromTheTray) {
    EXPECT_TRUE(IsWithin(OpenedWithFocus(), *dialog_->UserList()));

    dialog_->Log()->SetFocus();
    ASSERT_TRUE(testing::PumpUntil([&] { return wxWindow::FindFocus() == dialog_->Log(); }));
    wxMenu* tray_menu = dialog_->TrayMenu();
    ASSERT_NE(tray_menu, nullptr);
    tray_menu->SendEvent(IDM_SHOW_HIDE_WINDOW);  // hidden
    ASSERT_FALSE(dialog_->IsShown());
    tray_menu->SendEvent(IDM_SHOW_HIDE_WINDOW);  // shown again
    ASSERT_TRUE(dialog_->IsShown());
    EXPECT_TRUE(testing::PumpUntil(
        [&] { return IsWithin(wxWindow::FindFocus(), *dialog_->UserList()); }, 1000));
}

TEST_F(MainDialogKeyboardTest, UpAndDownMoveOneSelectedRowThatStaysInView) {
    ASSERT_TRUE(IsWithin(OpenedWithFocus(), *dialog_->UserList()));
    ASSERT_TRUE(Selected().empty());

    testing::PressKeyIn(Focus(), WXK_DOWN);  // from no row: the first
    EXPECT_EQ(Selected(), std::vector<long>{0});
    testing::PressKeyIn(Focus(), WXK_DOWN);
    testing::PressKeyIn(Focus(), WXK_DOWN);
    EXPECT_EQ(Selected(), std::vector<long>{2});
    testing::PressKeyIn(Focus(), WXK_DOWN);  // the last row stays
    EXPECT_EQ(Selected(), std::vector<long>{2});
    testing::PressKeyIn(Focus(), WXK_UP);
    EXPECT_EQ(Selected(), std::vector<long>{1});

    // Several rows selected by the mouse: the keys go on from the focused one, and one remains.
    wxListCtrl& list = *dialog_->UserList();
    list.SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    list.SetItemState(2, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                      wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    testing::PressKeyIn(Focus(), WXK_UP);
    EXPECT_EQ(Selected(), std::vector<long>{1});
    EXPECT_EQ(list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED), 1);

    // A rebuild of the rows (a newcomer) keeps the person selected; the keys go on from there.
    ShowRows(*dialog_, {{"127.0.0.14", "dave", "pc4"}}, 4);  // dave, carol, bob, alice
    EXPECT_EQ(Selected(), std::vector<long>{2});
    testing::PressKeyIn(Focus(), WXK_DOWN);
    EXPECT_EQ(Selected(), std::vector<long>{3});

    // In a list too short for its rows, the selected row is scrolled into view.
    dialog_->SetClientSize(dialog_->GetMinClientSize());
    testing::SendSizeEvent(*dialog_);
    testing::PumpPending();
    ASSERT_LT(list.GetCountPerPage(), list.GetItemCount()) << "the rows must not all fit";
    for (int i = 0; i < 3; ++i) {
        testing::PressKeyIn(Focus(), WXK_UP);
    }
    EXPECT_EQ(Selected(), std::vector<long>{0});
    testing::PumpPending();
    EXPECT_EQ(list.GetTopItem(), 0);
    for (int i = 0; i < 3; ++i) {
        testing::PressKeyIn(Focus(), WXK_DOWN);
    }
    testing::PumpPending();
    EXPECT_GT(list.GetTopItem() + list.GetCountPerPage(), 3L);
}

TEST_F(MainDialogKeyboardTest, ReturnComposesToTheRowTheKeysSelected) {
    ASSERT_TRUE(IsWithin(OpenedWithFocus(), *dialog_->UserList()));
    std::wstring recipient;
    answer_compose_ = [&](CInputMsgDialog& compose) {
        recipient = compose.RecipientLabel()->GetLabelText().ToStdWstring();
        return wxID_CANCEL;
    };
    testing::PressKeyIn(Focus(), WXK_DOWN);
    testing::PressKeyIn(Focus(), WXK_DOWN);
    testing::PressKeyIn(Focus(), WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return compose_runs_ == 1; }));
    EXPECT_EQ(recipient, L"发给：bob（127.0.0.12）");
}

// In compose, whatever has the focus there: the key ends the run as the button would, or after
// a moment the test ends it with kStillRunning.
class ComposeKeysTest : public MainDialogKeyboardTest {
  protected:
    static constexpr int kStillRunning = 4242;

    // Composes to the first row (carol) by a tap, types text, presses key in the edit; the
    // compose dialog's result.
    int ComposeAndPress(const std::wstring& text, int key, int modifiers) {
        int result = 0;
        answer_compose_ = [&](CInputMsgDialog& compose) {
            testing::WhenModal(compose, [&compose, text, key, modifiers] {
                compose.MessageEdit()->SetValue(text);
                compose.MessageEdit()->SetFocus();
                testing::PressKeyIn(*compose.MessageEdit(), key, modifiers);
                compose.CallAfter([&compose] {
                    if (compose.IsModal()) {
                        compose.EndModal(kStillRunning);
                    }
                });
            });
            result = compose.ShowModal();
            return result;
        };
        dialog_->TapUserList(0);
        return result;
    }
};

TEST_F(ComposeKeysTest, CtrlReturnSendsTheText) {
    EXPECT_EQ(ComposeAndPress(L"按键发送", WXK_RETURN, wxMOD_CONTROL), wxID_OK);
    EXPECT_EQ(peers_.Texts(kCarol), std::vector<std::wstring>{L"按键发送"});
    EXPECT_EQ(ComposeAndPress(L"小键盘", WXK_NUMPAD_ENTER, wxMOD_CONTROL), wxID_OK);
    EXPECT_EQ(peers_.Texts(kCarol), std::vector<std::wstring>{L"小键盘"});
}

TEST_F(ComposeKeysTest, EscapeClosesWithoutSending) {
    EXPECT_EQ(ComposeAndPress(L"不发", WXK_ESCAPE, wxMOD_NONE), wxID_CANCEL);
    EXPECT_TRUE(peers_.Received(kCarol, 300).empty());
}

}  // namespace
}  // namespace veltra
