#pragma once
// The main dialog over a real session on 127.0.0.1 in the test's own network namespace, with the
// desktop replaced: the users are played from other loopback addresses, the compose dialog and
// the file chooser follow a script, message boxes and sounds are recorded, and the clock is the
// test's.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text.h"
#include "event_pump.h"
#include "lan_peers.h"
#include "platform/socket.h"
#include "ui/dialogs/dialog_layout.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra::testing {

struct ShownMessage {
    wxWindow* parent;
    std::wstring text;
    std::wstring caption;
};

// How the test answers the compose dialog: what is typed, which button ends it, and what the
// file chooser hands back.
struct ComposeScript {
    std::wstring typed;
    int button = wxID_OK;
    std::optional<std::vector<std::wstring>> chosen;
};

// The tray as the test has it: each picture the dialog asks for is recorded (true: unread).
class RecordedTray : public TrayIcon {
  public:
    explicit RecordedTray(std::vector<bool>& pictures) : pictures_(pictures) {}
    void ShowUnread(bool unread) override { pictures_.push_back(unread); }

  private:
    std::vector<bool>& pictures_;
};

// A user as a peer announces it: from address, as user on host.
struct User {
    const char* address;
    std::string user;
    std::string host;
};

class MainDialogTest : public ::testing::Test {
  protected:
    MainDialogTest() {
        settings_.broadcast_list = AnsiToWide(kWatcherAddress);
        peers_.At(kWatcherAddress);  // bound before the session announces itself
    }

    MainDialogHooks Hooks() {
        MainDialogHooks hooks;
        hooks.run_compose = [this](CInputMsgDialog& compose) {
            ++compose_runs_;
            if (answer_compose_) {
                return answer_compose_(compose);
            }
            WhenModal(compose, [this, &compose] {
                compose.MessageEdit()->SetValue(script_.typed);
                ClickButton(compose, script_.button);
            });
            return compose.ShowModal();
        };
        hooks.run_settings = [this](SettingsDialog& settings) {
            ++settings_runs_;
            return answer_settings_ ? answer_settings_(settings) : wxID_CANCEL;
        };
        hooks.run_history = [this](HistoryDialog& history) {
            ++history_runs_;
            if (answer_history_) {
                answer_history_(history);
            }
        };
        hooks.confirm = [this](wxWindow*, const std::wstring& text, const std::wstring& yes) {
            questions_.push_back(text + L"|" + yes);
            return confirm_;
        };
        hooks.choose_files = [this](wxWindow*) { return script_.chosen; };
        hooks.show_message = [this](wxWindow* parent, const std::wstring& text,
                                    const std::wstring& caption) {
            shown_.push_back({parent, text, caption});
        };
        hooks.play_sound = [this] { ++sounds_; };
        hooks.tick_ms = [this] { return now_ms_; };
        hooks.window_active = [this](wxTopLevelWindow&) { return window_active_; };
        hooks.notify = [this](wxTopLevelWindow&, const ArrivalNotice& notice) {
            notices_.push_back(notice);
        };
        hooks.open_folder = [this](const std::wstring& folder) {
            opened_folders_.push_back(folder);
            return folder_opens_;
        };
        hooks.create_tray = [this](wxMenu& menu, int click_command) -> std::unique_ptr<TrayIcon> {
            if (on_tray_created_) {
                on_tray_created_(menu);
            }
            if (!desktop_has_tray_) {
                return nullptr;
            }
            tray_click_command_ = click_command;
            return std::make_unique<RecordedTray>(tray_pictures_);
        };
        return hooks;
    }

    std::unique_ptr<CMainDialog> StartedDialog() {
        auto dialog =
            std::make_unique<CMainDialog>(settings_, platform::InetAddr(kDialogAddress), Hooks());
        EXPECT_FALSE(dialog->Start());
        EXPECT_EQ(Announcements(), 1) << "the start-up announcement";
        return dialog;
    }

    // The announcements the session has sent since the last call (start-up and refreshes).
    int Announcements(int first_ms = 2000) {
        int count = 0;
        for (const auto& packet : peers_.Received(kWatcherAddress, first_ms)) {
            count += CommandNumber(packet->command) == CMD_ANNOUNCE;
        }
        return count;
    }

    // Posts from a thread of its own, as the engine's threads do, and waits until all arrived.
    static void PostFromWorker(CMainDialog& dialog, std::vector<Event> events) {
        std::thread worker([&dialog, &events] {
            for (Event& event : events) {
                dialog.Post(std::move(event));
            }
        });
        worker.join();
    }

    // users announce themselves, and the list shows rows rows.
    void ShowRows(CMainDialog& dialog, const std::vector<User>& users, int rows) {
        for (const User& user : users) {
            ASSERT_TRUE(peers_.Announce(user.address, user.user, user.host)) << user.user;
        }
        ASSERT_TRUE(PumpUntil([&] { return dialog.UserList()->GetItemCount() == rows; }));
        PumpPending();
    }

    static std::vector<std::wstring> RowTexts(const CMainDialog& dialog) {
        std::vector<std::wstring> texts;
        for (int row = 0; row < dialog.UserList()->GetItemCount(); ++row) {
            texts.push_back(dialog.UserList()->GetItemText(row).ToStdWstring());
        }
        return texts;
    }

    static wxRect TemplateRect(const wxWindow& dialog, int template_id, int control_id) {
        const std::optional<DialogTemplate> layout = LoadDialogTemplate(template_id);
        for (const TemplateItem& item : layout->items) {
            if (item.id == control_id) {
                return DialogUnitsToPixels(dialog, item.rect);
            }
        }
        return {};
    }

    LanPeers peers_;
    Settings settings_;
    ComposeScript script_;
    int compose_runs_ = 0;
    // When set, answers the compose dialog instead of the script (without running it).
    std::function<int(CInputMsgDialog&)> answer_compose_;
    // Answers the settings dialog (without running it); cancelled when unset.
    std::function<int(SettingsDialog&)> answer_settings_;
    int settings_runs_ = 0;
    // Looks at the history window (without running it).
    std::function<void(HistoryDialog&)> answer_history_;
    int history_runs_ = 0;
    // Each question asked ("TEXT|YES BUTTON"), and the answer to it.
    std::vector<std::wstring> questions_;
    bool confirm_ = false;
    std::vector<ShownMessage> shown_;
    int sounds_ = 0;
    std::uint32_t now_ms_ = 0;
    std::vector<std::wstring> opened_folders_;
    bool folder_opens_ = true;
    bool window_active_ = true;
    std::vector<ArrivalNotice> notices_;
    // Whether the desktop has a tray for the dialog's icon; the command a click on it runs, and
    // the pictures it was asked to show.
    bool desktop_has_tray_ = false;
    int tray_click_command_ = 0;
    std::vector<bool> tray_pictures_;
    // Runs when the dialog asks for its tray icon, with the menu it gives it (tray or none).
    std::function<void(wxMenu& menu)> on_tray_created_;
};

}  // namespace veltra::testing
