// The main window's life beside the tray: the icon and its menu, hiding instead of closing while
// the icon is there, the unread mark, and the end of the program.

#include <system_error>
#include <utility>

#include "platform/autostart.h"
#include "platform/utf8.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {

void CMainDialog::CreateTray() {
    if (tray_ || !hooks_.create_tray) {
        return;
    }
    auto menu = std::make_unique<wxMenu>();
    menu->Append(IDM_SHOW_HIDE_WINDOW, kShowWindowCaption);
    menu->Append(IDM_OPEN_RECEIVED_FOLDER, L"打开接收文件夹");
    menu->Append(IDM_HISTORY, kHistoryCaption);
    menu->Append(IDM_SETTINGS, kSettingsCaption);
    menu->AppendSeparator();
    menu->AppendCheckItem(IDM_AUTOSTART, kAutostartCaption);
    menu->AppendSeparator();
    menu->Append(IDM_QUIT, kQuitCaption);
    // Bound on the menu itself: it opens from the icon, not from a window.
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ShowOrHideWindow(); }, IDM_SHOW_HIDE_WINDOW);
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { OpenReceivedFolder(); }, IDM_OPEN_RECEIVED_FOLDER);
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ShowHistory(); }, IDM_HISTORY);
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { EditSettings(); }, IDM_SETTINGS);
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { SwitchAutostart(); }, IDM_AUTOSTART);
    menu->Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { EndProgram(); }, IDM_QUIT);
    tray_menu_ = std::move(menu);
    tray_ = hooks_.create_tray(*tray_menu_, IDM_SHOW_HIDE_WINDOW);
    UpdateTrayMenu();
}

void CMainDialog::UpdateTrayMenu() {
    if (!tray_menu_) {
        return;
    }
    const bool in_view = IsShown() && !IsIconized();
    tray_menu_->SetLabel(IDM_SHOW_HIDE_WINDOW, in_view ? kHideWindowCaption : kShowWindowCaption);
    tray_menu_->Check(IDM_AUTOSTART, platform::AutostartEnabled());
}

void CMainDialog::ShowAtStart(bool hidden) {
    if (!hidden || !tray_) {
        Show();
    }
}

bool CMainDialog::Show(bool show) {
    const bool changed = LayoutDialog::Show(show);
    if (show) {
        ShowUnreadInTray(unread_.WindowSeen());
        // The keys act on the list: whoever opens the window, or brings it back from the tray,
        // finds it ready for Up, Down and Return.
        user_list_->SetFocus();
    }
    UpdateTrayMenu();
    return changed;
}

void CMainDialog::ShowWindow() {
    if (IsIconized()) {
        Iconize(false);
    }
    Show();
    Raise();
}

void CMainDialog::ShowOrHideWindow() {
    if (IsShown() && !IsIconized()) {
        Hide();
    } else {
        ShowWindow();
    }
}

void CMainDialog::SwitchAutostart() {
    try {
        if (platform::AutostartEnabled()) {
            platform::DisableAutostart();
        } else {
            platform::EnableAutostart();
        }
    } catch (const std::system_error& error) {
        AppendToLog(kCannotSwitchAutostartText + platform::Utf8ToWide(error.what()) + L"\r\n");
    }
    UpdateTrayMenu();  // the check follows the file, whatever became of the switch
}

bool CMainDialog::WindowSeen() {
    return IsShown() && !IsIconized() && hooks_.window_active(*this);
}

void CMainDialog::ShowUnreadInTray(bool changed) {
    if (changed && tray_) {
        tray_->ShowUnread(unread_.Unread());
    }
}

void CMainDialog::OnActivate(wxActivateEvent& event) {
    if (event.GetActive()) {
        ShowUnreadInTray(unread_.WindowSeen());
    }
    event.Skip();
}

void CMainDialog::OnClose(wxCloseEvent& event) {
    if (tray_ && event.CanVeto()) {
        // The icon stays to bring the window back; the messenger goes on receiving.
        event.Veto();
        Hide();
        return;
    }
    EndProgram();
}

}  // namespace veltra
