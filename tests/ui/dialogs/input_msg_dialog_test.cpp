// The compose dialog on its own, run modally as the main dialog runs it: its three ways out and
// what each leaves for the caller.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "event_pump.h"
#include "ui/dialogs/input_msg_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

class InputMsgDialogTest : public ::testing::Test {
  protected:
    FileChooser Chooser() {
        return [this](wxWindow* owner) {
            ++chooser_runs_;
            chooser_owner_ = owner;
            return chosen_;
        };
    }

    // Runs the dialog modally; once it is up, types text and presses button.
    int Run(CInputMsgDialog& dialog, const std::wstring& text, int button) {
        testing::WhenModal(dialog, [&dialog, text, button, this] {
            switching_while_shown_ = dialog.LayoutSwitchingEnabled();
            dialog.MessageEdit()->SetValue(text);
            testing::ClickButton(dialog, button);
        });
        return dialog.ShowModal();
    }

    std::optional<std::vector<std::wstring>> chosen_;
    int chooser_runs_ = 0;
    wxWindow* chooser_owner_ = nullptr;
    bool switching_while_shown_ = false;
};

TEST_F(InputMsgDialogTest, SendEndsWithOkAndTheTextInCrLfForm) {
    CInputMsgDialog dialog(nullptr, Chooser());
    EXPECT_FALSE(dialog.LayoutSwitchingEnabled());
    EXPECT_EQ(Run(dialog, L"你好\nsecond line\n", wxID_OK), wxID_OK);
    EXPECT_EQ(dialog.MessageText(), L"你好\r\nsecond line\r\n");
    EXPECT_FALSE(dialog.FilesChosen());
    EXPECT_TRUE(dialog.Files().empty());
    EXPECT_EQ(chooser_runs_, 0);
    // The screen may turn once the dialog is up.
    EXPECT_TRUE(switching_while_shown_);
}

TEST_F(InputMsgDialogTest, SendFileEndsWithOkAndTheChosenFilesInOrder) {
    chosen_ = std::vector<std::wstring>{L"/home/u/三.txt", L"/home/u/one.rar", L"/home/u/two"};
    CInputMsgDialog dialog(nullptr, Chooser());
    EXPECT_EQ(Run(dialog, L"typed", IDC_SEND_FILE), wxID_OK);
    EXPECT_EQ(chooser_runs_, 1);
    EXPECT_EQ(chooser_owner_, &dialog);
    EXPECT_TRUE(dialog.FilesChosen());
    EXPECT_EQ(dialog.Files(), *chosen_);
    // The text is read as well; the caller decides that files win.
    EXPECT_EQ(dialog.MessageText(), L"typed");
}

TEST_F(InputMsgDialogTest, CancelEndsWithCancelAndReadsNothing) {
    CInputMsgDialog dialog(nullptr, Chooser());
    EXPECT_EQ(Run(dialog, L"typed", wxID_CANCEL), wxID_CANCEL);
    EXPECT_TRUE(dialog.MessageText().empty());
    EXPECT_FALSE(dialog.FilesChosen());
}

TEST_F(InputMsgDialogTest, CancelledChooserStillEndsWithOkAndTheText) {
    chosen_ = std::nullopt;
    CInputMsgDialog dialog(nullptr, Chooser());
    EXPECT_EQ(Run(dialog, L"plain", IDC_SEND_FILE), wxID_OK);
    EXPECT_EQ(chooser_runs_, 1);
    EXPECT_FALSE(dialog.FilesChosen());
    EXPECT_EQ(dialog.MessageText(), L"plain");
}

TEST_F(InputMsgDialogTest, ChooserConfirmedWithNothingIsNoFiles) {
    chosen_ = std::vector<std::wstring>{};
    CInputMsgDialog dialog(nullptr, Chooser());
    EXPECT_EQ(Run(dialog, L"", IDC_SEND_FILE), wxID_OK);
    EXPECT_FALSE(dialog.FilesChosen());
}

TEST_F(InputMsgDialogTest, TheFolderButtonAndADropOfferWhatTheyBringAtOnce) {
    const std::vector<std::wstring> folder{L"/home/u/相册"};
    CInputMsgDialog by_button(nullptr, Chooser(), L"", [&](wxWindow*) { return folder; });
    EXPECT_EQ(by_button.FindWindow(IDC_SEND_FOLDER)->GetLabel(), L"传送文件夹");
    EXPECT_EQ(Run(by_button, L"not sent", IDC_SEND_FOLDER), wxID_OK);
    EXPECT_TRUE(by_button.FilesChosen());
    EXPECT_EQ(by_button.Files(), folder);
    EXPECT_EQ(chooser_runs_, 0);

    // Dropped from a file manager, as the toolkit hands a drop to the window's target.
    CInputMsgDialog by_drop(nullptr, Chooser());
    auto* target = dynamic_cast<wxFileDropTarget*>(by_drop.GetDropTarget());
    ASSERT_NE(target, nullptr);
    wxArrayString dropped;
    dropped.Add(L"/home/u/a.txt");
    dropped.Add(L"/home/u/相册");
    testing::WhenModal(by_drop, [&] { EXPECT_TRUE(target->OnDropFiles(10, 10, dropped)); });
    EXPECT_EQ(by_drop.ShowModal(), wxID_OK);
    EXPECT_EQ(by_drop.Files(), (std::vector<std::wstring>{L"/home/u/a.txt", L"/home/u/相册"}));
}

TEST(CrLfLineBreaks, EveryBareLineFeedGetsItsCarriageReturnOnce) {
    EXPECT_EQ(WithCrLfLineBreaks(L"a\nb\r\nc\n\nd"), L"a\r\nb\r\nc\r\n\r\nd");
    EXPECT_EQ(WithCrLfLineBreaks(L"\n"), L"\r\n");
    EXPECT_EQ(WithCrLfLineBreaks(L"no break"), L"no break");
}

TEST(SendFileFilter, OffersAllFilesAndRarArchives) {
    EXPECT_STREQ(kSendFileFilter, L"All Files (*.*)|*.*|WINRAR File (*.rar)|*.rar");
}

}  // namespace
}  // namespace veltra
