// The main window's commands that come from keys and the list's context menu rather than from a
// template's controls.

#include <wx/button.h>

#include <filesystem>
#include <system_error>

#include "platform/path.h"
#include "platform/utf8.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"

#include <utility>
#include "ui/dialogs/resource_ids.h"
#include "ui/dialogs/user_list_hits.h"

namespace veltra {
namespace {

// How soon EndModalRuns looks again for the dialogs it has ended.
constexpr int kEndRetryMs = 50;

bool IsWithin(const wxWindow* window, const wxWindow& ancestor) {
    for (; window != nullptr; window = window->GetParent()) {
        if (window == &ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CMainDialog::RefreshUsers() {
    if (session_) {
        session_->Refresh();
    }
}

void CMainDialog::CancelReceiving() {
    if (session_) {
        session_->CancelReceiving();  // the batch's end comes as its FilesReceived
    }
}

std::wstring CMainDialog::ReceivedFolder() const {
    return platform::Utf8ToWide(settings_.received_folder.Host());
}

void CMainDialog::OpenReceivedFolder() {
    const std::wstring folder = ReceivedFolder();
    // Before the first file there is no folder yet; the file manager should still show it.
    std::error_code ignored;
    std::filesystem::create_directories(settings_.received_folder.Host(), ignored);
    if (!hooks_.open_folder(folder)) {
        AppendToLog(std::wstring(kCannotOpenReceivedFolderText) + L"\r\n");
    }
}

std::unique_ptr<wxMenu> CMainDialog::ListContextMenu() const {
    auto menu = std::make_unique<wxMenu>();
    menu->Append(IDM_REFRESH, L"刷新\tF5");
    menu->Append(IDM_OPEN_RECEIVED_FOLDER, L"打开接收文件夹");
    menu->Append(IDM_CANCEL_RECEIVING, kCancelReceivingCaption);
    menu->Enable(IDM_CANCEL_RECEIVING, receiving_);
    menu->Append(IDM_HISTORY, kHistoryCaption);
    menu->Append(IDM_SETTINGS, kSettingsCaption);
    return menu;
}

void CMainDialog::OnListContextMenu(wxContextMenuEvent& /*event*/) {
    const std::unique_ptr<wxMenu> menu = ListContextMenu();
    PopupMenu(menu.get());
}

void CMainDialog::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_F5 && event.GetModifiers() == wxMOD_NONE) {
        RefreshUsers();
        return;
    }
    if (key == 'Q' && event.GetModifiers() == wxMOD_CONTROL) {
        wxCommandEvent quit(wxEVT_MENU, IDM_QUIT);
        OnQuit(quit);
        return;
    }
    if (key == WXK_ESCAPE) {
        return;  // a desktop window is not ended by Escape
    }
    const bool up = key == WXK_UP || key == WXK_NUMPAD_UP;
    if ((up || key == WXK_DOWN || key == WXK_NUMPAD_DOWN) && event.GetModifiers() == wxMOD_NONE) {
        const wxWindow* focus = FindFocus();
        if (focus == nullptr || IsWithin(focus, *user_list_)) {
            // Moved here rather than left to the list, so that Down with no row selected starts
            // at the first row, and the row moved to is selected alone, as a click selects it.
            StepSelection(*user_list_, up ? -1 : 1);
            return;
        }
    }
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
        const wxWindow* focus = FindFocus();
        if (dynamic_cast<const wxButton*>(focus) != nullptr) {
            event.Skip();  // a focused button is pressed by Return
            return;
        }
        std::vector<PeerRow> selected = SelectedRows();
        if (!selected.empty() && (focus == nullptr || IsWithin(focus, *user_list_))) {
            // After the key has been handled: the compose dialog runs modally.
            CallAfter([this, selected = std::move(selected)] { ComposeTo(selected); });
        }
        return;
    }
    event.Skip();
}

void CMainDialog::OnQuit(wxCommandEvent& /*event*/) {
    EndProgram();
}

void CMainDialog::EndProgram() {
    ShutdownMessenger();
    EndModalRuns();
}

void CMainDialog::EndModalRuns() {
    // A run inside this one's must return before this one can end: its event loop is the one
    // the toolkit runs, and ending this one first would leave it running under a closed window.
    bool inner_left = false;
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog == nullptr || dialog == this || !IsWithin(dialog, *this)) {
            continue;
        }
        inner_left = true;  // gone only once its run has returned to its caller
        if (dialog->IsModal()) {
            dialog->EndModal(wxID_CANCEL);
        }
    }
    if (inner_left) {
        end_retry_.StartOnce(kEndRetryMs);
        return;
    }
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    } else {
        Hide();
    }
    if (!std::exchange(ended_, true) && end_) {
        end_();
    }
}

}  // namespace veltra
