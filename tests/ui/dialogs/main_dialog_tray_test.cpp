// The main window beside the tray: closing hides it while the icon is there and ends the program
// when there is none, quitting ends it always, the icon shows what waits unread, and the icon's
// menu shows and hides the window, opens the received folder and switches the autostart entry.

#include <gtest/gtest.h>
#include <wx/evtloop.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "main_dialog_fixture.h"
#include "tests/platform/temp_folder.h"
#include "ui/dialogs/messenger_app.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

constexpr const char* kBob = "127.0.0.12";

void Choose(wxMenu& menu, int command) {
    ASSERT_NE(menu.FindItem(command), nullptr) << command;
    menu.SendEvent(command, menu.FindItem(command)->IsCheckable()
                                ? !menu.IsChecked(command)  // as a click toggles it
                                : -1);
}

MessageReceived FromBob() {
    return MessageReceived{"bob", "pc2", platform::InetAddr(kBob), "hi"};
}

class MainDialogTrayTest : public testing::MainDialogTest {
  protected:
    MainDialogTrayTest() : config_("XDG_CONFIG_HOME", (config_home_.path() / "config").string()) {}

    void Start() {
        dialog_ = StartedDialog();
        dialog_->SetEndAction([this] { ++ends_; });
    }
    void TearDown() override {
        if (dialog_) {
            dialog_->ShutdownMessenger();
        }
    }
    void Post(Event event) {
        std::vector<Event> events;
        events.push_back(std::move(event));
        const std::size_t before = dialog_->Log()->GetValue().length();
        PostFromWorker(*dialog_, std::move(events));
        ASSERT_TRUE(
            testing::PumpUntil([&] { return dialog_->Log()->GetValue().length() > before; }));
    }

    testing::TempFolder config_home_;  // the autostart entry goes here, never to the real one
    testing::ScopedVariable config_;
    std::unique_ptr<CMainDialog> dialog_;
    int ends_ = 0;
};

TEST_F(MainDialogTrayTest, WithoutATrayClosingTheWindowEndsTheProgram) {
    Start();
    EXPECT_FALSE(dialog_->HasTray());
    EXPECT_EQ(dialog_->TrayMenu(), nullptr);
    dialog_->Show();
    EXPECT_TRUE(dialog_->Close());
    EXPECT_FALSE(dialog_->IsShown());
    EXPECT_EQ(ends_, 1);
    dialog_->RefreshUsers();  // the messenger has stopped: nothing goes out
    EXPECT_EQ(Announcements(300), 0);
}

TEST_F(MainDialogTrayTest, WithATrayClosingHidesTheWindowAndTheMessengerGoesOn) {
    desktop_has_tray_ = true;
    Start();
    ASSERT_TRUE(dialog_->HasTray());
    EXPECT_EQ(tray_click_command_, IDM_SHOW_HIDE_WINDOW) << "a click on the icon shows or hides";
    dialog_->Show();
    EXPECT_FALSE(dialog_->Close()) << "the close is turned into a hide";
    EXPECT_FALSE(dialog_->IsShown());
    EXPECT_EQ(ends_, 0);
    dialog_->RefreshUsers();
    EXPECT_EQ(Announcements(), 1) << "the messenger still runs";

    // A window manager that insists (the session ends) is not refused.
    wxCloseEvent forced(wxEVT_CLOSE_WINDOW, dialog_->GetId());
    forced.SetCanVeto(false);
    forced.SetEventObject(dialog_.get());
    dialog_->GetEventHandler()->ProcessEvent(forced);
    EXPECT_EQ(ends_, 1);
    dialog_->RefreshUsers();
    EXPECT_EQ(Announcements(300), 0);
}

TEST_F(MainDialogTrayTest, CtrlQAndTheTraysQuitEndTheProgramAlways) {
    desktop_has_tray_ = true;
    Start();
    dialog_->Show();
    wxKeyEvent ctrl_q(wxEVT_CHAR_HOOK);
    ctrl_q.m_keyCode = 'Q';
    ctrl_q.m_controlDown = true;
    ctrl_q.SetEventObject(dialog_.get());
    dialog_->GetEventHandler()->ProcessEvent(ctrl_q);
    EXPECT_FALSE(dialog_->IsShown());
    EXPECT_EQ(ends_, 1);
    dialog_->RefreshUsers();
    EXPECT_EQ(Announcements(300), 0);

    auto hidden = StartedDialog();  // a window never shown quits from the icon's menu
    int hidden_ends = 0;
    hidden->SetEndAction([&] { ++hidden_ends; });
    ASSERT_NE(hidden->TrayMenu(), nullptr);
    Choose(*hidden->TrayMenu(), IDM_QUIT);
    EXPECT_EQ(hidden_ends, 1);
    hidden->RefreshUsers();
    EXPECT_EQ(Announcements(300), 0);
}

TEST_F(MainDialogTrayTest, TheMenuShowsAndHidesTheWindowAndOpensTheReceivedFolder) {
    desktop_has_tray_ = true;
    Start();
    wxMenu& menu = *dialog_->TrayMenu();
    EXPECT_EQ(menu.GetLabelText(IDM_SHOW_HIDE_WINDOW), L"显示窗口");
    EXPECT_EQ(menu.GetLabelText(IDM_OPEN_RECEIVED_FOLDER), L"打开接收文件夹");
    EXPECT_EQ(menu.GetLabelText(IDM_AUTOSTART), L"开机时启动");
    EXPECT_EQ(menu.GetLabelText(IDM_QUIT), L"退出");

    Choose(menu, IDM_SHOW_HIDE_WINDOW);
    EXPECT_TRUE(dialog_->IsShown());
    EXPECT_EQ(menu.GetLabelText(IDM_SHOW_HIDE_WINDOW), L"隐藏窗口");
    Choose(menu, IDM_SHOW_HIDE_WINDOW);
    EXPECT_FALSE(dialog_->IsShown());
    EXPECT_EQ(menu.GetLabelText(IDM_SHOW_HIDE_WINDOW), L"显示窗口");
    dialog_->Show();
    dialog_->Close();  // hidden however it went: the menu follows
    EXPECT_EQ(menu.GetLabelText(IDM_SHOW_HIDE_WINDOW), L"显示窗口");

    Choose(menu, IDM_OPEN_RECEIVED_FOLDER);
    EXPECT_EQ(opened_folders_, std::vector<std::wstring>{dialog_->ReceivedFolder()});
    EXPECT_EQ(ends_, 0);
}

TEST_F(MainDialogTrayTest, WhatArrivesUnseenMarksTheIconUntilTheWindowIsShown) {
    desktop_has_tray_ = true;
    Start();
    Post(FromBob());  // hidden: unread
    EXPECT_TRUE(dialog_->Unread());
    EXPECT_EQ(tray_pictures_, std::vector<bool>{true});
    Post(FromBob());
    EXPECT_EQ(tray_pictures_, std::vector<bool>{true}) << "marked once";

    Choose(*dialog_->TrayMenu(), IDM_SHOW_HIDE_WINDOW);
    EXPECT_FALSE(dialog_->Unread());
    EXPECT_EQ(tray_pictures_, (std::vector<bool>{true, false}));
    Post(FromBob());  // shown and in use: read as it arrives
    EXPECT_EQ(tray_pictures_, (std::vector<bool>{true, false}));

    window_active_ = false;  // shown but another window is in use
    std::vector<Event> nothing;
    nothing.emplace_back(FilesReceived{0, 0});  // no line in the log to wait for
    PostFromWorker(*dialog_, std::move(nothing));
    testing::PumpPending(200);
    EXPECT_FALSE(dialog_->Unread()) << "a batch that brought nothing is no news";
    Post(FilesReceived{2, 0});
    EXPECT_EQ(tray_pictures_, (std::vector<bool>{true, false, true}));
    wxActivateEvent activated(wxEVT_ACTIVATE, true, dialog_->GetId());
    dialog_->GetEventHandler()->ProcessEvent(activated);
    EXPECT_FALSE(dialog_->Unread());
    EXPECT_EQ(tray_pictures_, (std::vector<bool>{true, false, true, false}));
}

TEST_F(MainDialogTrayTest, TheMenuSwitchesTheAutostartEntryAndItsCheckFollowsTheFile) {
    desktop_has_tray_ = true;
    Start();
    wxMenu& menu = *dialog_->TrayMenu();
    const std::filesystem::path entry = config_home_.path() / "config/autostart/veltra.desktop";
    EXPECT_FALSE(menu.IsChecked(IDM_AUTOSTART));

    Choose(menu, IDM_AUTOSTART);
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_TRUE(menu.IsChecked(IDM_AUTOSTART));
    Choose(menu, IDM_AUTOSTART);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_FALSE(menu.IsChecked(IDM_AUTOSTART));

    // Where the entry cannot be written, the log says why and the check stays off.
    std::ofstream(config_home_.path() / "blocked") << "a file, not a folder";
    testing::ScopedVariable blocked("XDG_CONFIG_HOME", (config_home_.path() / "blocked").string());
    Choose(menu, IDM_AUTOSTART);
    EXPECT_FALSE(menu.IsChecked(IDM_AUTOSTART));
    const std::wstring log = dialog_->Log()->GetValue().ToStdWstring();
    EXPECT_EQ(log.rfind(L"无法设置开机时启动：cannot create ", 0), 0U) << log;
}

// The program's run, as main runs it: it ends when the program ends, not when the window hides.
class ProgramRunTest : public testing::MainDialogTest {
  protected:
    // The main window of the run; nothing between runs.
    static CMainDialog* Window() {
        for (wxWindow* window : wxTopLevelWindows) {
            if (auto* dialog = dynamic_cast<CMainDialog*>(window)) {
                return dialog;
            }
        }
        return nullptr;
    }
};

TEST_F(ProgramRunTest, StartedHiddenTheWindowStaysClosedAndTheTraysQuitEndsTheRun) {
    desktop_has_tray_ = true;
    bool shown_while_running = true;
    on_tray_created_ = [&](wxMenu& menu) {
        wxTheApp->CallAfter([&] {
            shown_while_running = Window()->IsShown();
            Choose(menu, IDM_QUIT);
        });
    };
    EXPECT_EQ(RunMainDialog(settings_, platform::InetAddr(testing::kDialogAddress), Hooks(),
                            AppOptions{true}),
              0);
    EXPECT_FALSE(shown_while_running);
}

TEST_F(ProgramRunTest, WithoutATrayHiddenIsShownAndClosingTheWindowEndsTheRun) {
    bool shown_while_running = false;
    on_tray_created_ = [&](wxMenu&) {
        wxTheApp->CallAfter([&] {
            shown_while_running = Window()->IsShown();
            Window()->Close();
        });
    };
    EXPECT_EQ(RunMainDialog(settings_, platform::InetAddr(testing::kDialogAddress), Hooks(),
                            AppOptions{true}),
              0);
    EXPECT_TRUE(shown_while_running);
}

TEST_F(ProgramRunTest, TheTraysQuitWhileComposingEndsTheComposeDialogAndTheRun) {
    desktop_has_tray_ = true;
    wxMenu* tray_menu = nullptr;
    bool compose_ended = false;
    answer_compose_ = [&](CInputMsgDialog& compose) {
        // The tray's menu stays in reach while the compose dialog runs its own loop.
        testing::WhenModal(compose, [&] { Choose(*tray_menu, IDM_QUIT); });
        const int result = compose.ShowModal();
        compose_ended = true;
        return result;
    };
    on_tray_created_ = [&](wxMenu& menu) {
        tray_menu = &menu;
        wxTheApp->CallAfter([] {
            Window()->ComposeTo(
                {PeerRow{L"bob (127.0.0.12|pc2)", platform::InetAddr(kBob), L"bob"}});
        });
    };
    EXPECT_EQ(RunMainDialog(settings_, platform::InetAddr(testing::kDialogAddress), Hooks()), 0);
    EXPECT_TRUE(compose_ended);
    EXPECT_EQ(compose_runs_, 1);
}

}  // namespace
}  // namespace veltra
