// The settings dialog as the user reaches it: from the list's context menu and the tray menu; what
// it saves goes to the user's file and into the very next datagram; a name the wire cannot carry
// is refused in the dialog.

#include <gtest/gtest.h>

#include <string>

#include "common/settings_file.h"
#include "main_dialog_fixture.h"
#include "tests/platform/temp_folder.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

class MainDialogSettingsTest : public testing::MainDialogTest {
  protected:
    void Choose(int command) {
        wxCommandEvent chosen(wxEVT_MENU, command);
        dialog_->GetEventHandler()->ProcessEvent(chosen);
    }

    testing::TempFolder temp_;
    testing::ScopedVariable config_{"XDG_CONFIG_HOME", (temp_.path() / "config").string()};
    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogSettingsTest, SavedNameIsInTheFileAndTheNextDatagramAfterTheOldNameDeparts) {
    settings_.user_name = L"old";
    dialog_ = StartedDialog();
    const std::unique_ptr<wxMenu> menu = dialog_->ListContextMenu();
    EXPECT_EQ(menu->GetLabelText(IDM_SETTINGS), L"设置");

    std::wstring shown_broadcast;
    answer_settings_ = [&](SettingsDialog& settings) {
        EXPECT_EQ(settings.GetTitle(), L"设置");
        shown_broadcast = settings.BroadcastField()->GetValue().ToStdWstring();
        EXPECT_EQ(settings.NameField()->GetValue(), L"");  // no file yet: the account's name
        settings.NameField()->SetValue(L" 王伟 ");
        return settings.TryAccept() ? wxID_OK : wxID_CANCEL;
    };
    Choose(IDM_SETTINGS);
    EXPECT_EQ(settings_runs_, 1);
    EXPECT_EQ(shown_broadcast, AnsiToWide(testing::kWatcherAddress));

    const auto sent = peers_.Received(testing::kWatcherAddress);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(CommandNumber(sent[0]->command), CMD_DEPART);
    EXPECT_STREQ(sent[0]->user_name, "old");
    EXPECT_EQ(CommandNumber(sent[1]->command), CMD_ANNOUNCE);
    EXPECT_STREQ(sent[1]->user_name, "\xCD\xF5\xCE\xB0");  // 王伟 in code page 936

    const SettingsFileRead file = ReadSettingsFile();
    EXPECT_TRUE(file.problems.empty());
    EXPECT_EQ(file.values.name, L"王伟");
    EXPECT_EQ(file.values.broadcast, AnsiToWide(testing::kWatcherAddress));
    dialog_->ShutdownMessenger();
}

TEST_F(MainDialogSettingsTest, ANameTheWireCannotCarryIsRefusedInTheDialogAndNothingChanges) {
    dialog_ = StartedDialog();
    std::wstring refusal;
    answer_settings_ = [&](SettingsDialog& settings) {
        settings.NameField()->SetValue(L"a:b");
        EXPECT_FALSE(settings.TryAccept());
        refusal = settings.Refusal();
        settings.NameField()->SetValue(std::wstring(25, L'王'));
        EXPECT_FALSE(settings.TryAccept());
        EXPECT_EQ(settings.Refusal(), L"名字太长：最多 49 个字节（一个汉字占两个）");
        return wxID_CANCEL;
    };
    Choose(IDM_SETTINGS);
    EXPECT_EQ(refusal, L"名字不能含有“:”");
    EXPECT_EQ(Announcements(300), 0);
    EXPECT_FALSE(ReadSettingsFile().values.name);
    dialog_->ShutdownMessenger();
}

TEST_F(MainDialogSettingsTest, TheTrayMenuOpensTheSettingsToo) {
    desktop_has_tray_ = true;
    dialog_ = StartedDialog();
    wxMenu& menu = *dialog_->TrayMenu();
    EXPECT_EQ(menu.GetLabelText(IDM_SETTINGS), L"设置");
    answer_settings_ = [](SettingsDialog&) { return wxID_CANCEL; };
    wxCommandEvent chosen(wxEVT_MENU, IDM_SETTINGS);
    menu.ProcessEvent(chosen);
    EXPECT_EQ(settings_runs_, 1);
    dialog_->ShutdownMessenger();
}

}  // namespace
}  // namespace veltra
