#pragma once
// The main dialog: online count, list of users, log, progress bar and the about button. It owns
// the running messenger (a MessengerSession) and is the sink its worker threads post to; every
// handler runs on the UI thread.

#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/event_sink.h"
#include "common/settings.h"
#include "session/messenger_session.h"
#include "ui/dialogs/history_dialog.h"
#include "ui/control/control_desk.h"
#include "ui/dialogs/compose_files_dialog.h"
#include "ui/dialogs/input_msg_dialog.h"
#include "ui/dialogs/layout_dialog.h"
#include "ui/dialogs/posted_event.h"
#include "ui/dialogs/settings_dialog.h"
#include "ui/dialogs/tray_icon.h"
#include "ui/presentation/arrival_notice.h"
#include "ui/presentation/log_entries.h"
#include "ui/presentation/peer_rows.h"
#include "ui/presentation/unread.h"

namespace veltra {

// What the dialog does through the desktop; tests replace these.
struct MainDialogHooks {
    // Runs a compose dialog modally; the result (wxID_OK or wxID_CANCEL).
    std::function<int(CInputMsgDialog&)> run_compose;
    // Runs the settings dialog modally; wxID_OK once its values are to be saved.
    std::function<int(SettingsDialog&)> run_settings;
    // Runs the history window modally.
    std::function<void(HistoryDialog&)> run_history;
    // A question with yes and no buttons labelled as asked; true for yes.
    std::function<bool(wxWindow* parent, const std::wstring& text, const std::wstring& yes)>
        confirm;
    // Runs the compose dialog of files handed over from outside modally; wxID_OK to send.
    std::function<int(ComposeFilesDialog&)> run_compose_files;
    FileChooser choose_files;
    FileChooser choose_folder;
    // A message box with an OK button and no icon; text may have CR LF line breaks.
    std::function<void(wxWindow* parent, const std::wstring& text, const std::wstring& caption)>
        show_message;
    std::function<void()> play_sound;
    std::function<std::uint32_t()> tick_ms;
    // Shows a folder (host path) in the desktop's file manager; false when it could not.
    std::function<bool(const std::wstring& folder)> open_folder;
    // Whether the window is the one the user works in now.
    std::function<bool(wxTopLevelWindow& window)> window_active;
    // Asks for the user's attention (urgency hint) and shows a desktop notification.
    std::function<void(wxTopLevelWindow& window, const ArrivalNotice& notice)> notify;
    // Puts the program's icon in the desktop's tray (see CreateDesktopTrayIcon); nothing where
    // the desktop has none.
    std::function<std::unique_ptr<TrayIcon>(wxMenu& menu, int click_command)> create_tray;
};

MainDialogHooks DefaultMainDialogHooks();

// Sets the window's urgency hint until the window has the focus again; false when it cannot be
// set now. The toolkit first lets a running event loop handle what is pending, so without one (a
// program's start, a test) it would crash; and a window never shown has no hint to set.
bool RequestAttention(wxTopLevelWindow& window);

// The window is the program's main window but not its lifetime: while the tray shows the program's
// icon, closing the window hides it and the messenger goes on; the program ends on quit (Ctrl+Q,
// the tray menu's "退出"), or when the window is closed with no tray to come back from.
class CMainDialog : public LayoutDialog, public EventSink {
  public:
    // The messenger binds bind_address once started.
    CMainDialog(const Settings& settings, std::uint32_t bind_address = kEveryLocalAddress,
                MainDialogHooks hooks = DefaultMainDialogHooks());
    ~CMainDialog() override;

    // Starts the messenger (engine, listener, presence announcement), then lets the layout follow
    // the screen. The error, naming the step that failed, when the messenger could not start.
    std::optional<std::system_error> Start();
    // Stops the messenger before the window goes (its goodbye to the peers included); later
    // messages are dropped. Safe to call twice.
    void ShutdownMessenger();

    // Once started: shows the window, unless hidden is asked for and the tray has the icon.
    void ShowAtStart(bool hidden);
    // What ends the program's run once the messenger has stopped and the window has gone.
    void SetEndAction(std::function<void()> end) { end_ = std::move(end); }
    // Ends the program's run (Ctrl+Q, the tray's quit, a termination signal, the end of the
    // desktop session), also from inside another dialog's modal run: the messenger stops at once
    // (its goodbye included), then the dialogs running modally over this one end from the
    // innermost out, then the window closes and the end action runs. Safe to call twice.
    void EndProgram();
    // Shown, raised and no longer minimised; what waited unread has been seen.
    void ShowWindow();
    // Showing the window also marks what waited as seen, and the tray menu follows.
    bool Show(bool show = true) override;

    // The tray icon's menu, its first item naming what it does to the window; none without a
    // tray.
    wxMenu* TrayMenu() const { return tray_ ? tray_menu_.get() : nullptr; }
    bool HasTray() const { return tray_ != nullptr; }
    bool Unread() const { return unread_.Unread(); }

    // Any thread: queued for the UI thread, never waits.
    void Post(Event event) override;

    // A tap on the user list: on row item, or (item < 0) below the rows.
    void TapUserList(long item);
    // The compose dialog for recipients: the text, or the files chosen, go to each of them.
    void ComposeTo(const std::vector<PeerRow>& recipients);
    // Files handed over from outside (the file manager, a second veltra): the compose dialog
    // with them attached, for the recipients the user picks; each picked gets one offer.
    void ComposeFiles(const std::vector<std::wstring>& paths);
    // A request through the control socket, on the UI thread: show raises the window, compose
    // opens ComposeFiles, send, message and list are the ControlDesk's.
    void TakeControlCall(const std::shared_ptr<ControlCall>& call);
    // The people of the selected rows, in list order.
    std::vector<PeerRow> SelectedRows() const;
    // Files and folders dropped on the list's row item: offered to its user, or to every selected
    // row when the row is one of them. False when no row is there (item < 0).
    bool DropOnUserList(long item, const std::vector<std::wstring>& paths);
    // Asks every peer to answer again (a tap below the rows, F5, the menu's "刷新").
    void RefreshUsers();
    // Ends the batch of files being received (the context menu's "取消接收"); nothing when none
    // is.
    void CancelReceiving();
    // A batch of files is being received: from its first file to its end.
    bool Receiving() const { return receiving_; }
    // The settings dialog ("设置" of the list's context menu and the tray menu): what it saves
    // is written to the user's file and taken by the messenger at once, which announces again.
    void EditSettings();
    // The history window ("历史记录" of the list's context menu and the tray menu).
    void ShowHistory();
    // Where the history that opens the log ends: the live log starts there (0 without history).
    long HistoryLogEnd() const { return history_log_end_; }
    // Problems of the settings file read at start, one log line each.
    void ReportSettingsProblems(const std::vector<std::string>& problems);
    // The user list's context menu as it pops up; its commands go to the dialog. "取消接收" is
    // enabled only while a batch is being received.
    std::unique_ptr<wxMenu> ListContextMenu() const;
    // The host path received files go to.
    std::wstring ReceivedFolder() const;

    wxListCtrl* UserList() const { return user_list_; }
    wxTextCtrl* Log() const { return log_; }
    wxTextCtrl* OnlineCount() const { return online_count_; }
    wxGauge* Progress() const { return progress_; }
    std::size_t UserListRebuilds() const { return user_list_rebuilds_; }

  private:
    void BindControls();
    // The UI thread's turn after a post: presents every event waiting, in order.
    void PresentPosted();
    // One per kind of event: std::visit picks the one for the event posted.
    void Present(const PeersChanged& event);
    void Present(const MessageReceived& event);
    void Present(const FilesReceived& event);
    void Present(const BatchStarted& event);
    void Present(const FileStarted& event);
    void Present(const FileProgress& event);
    void Present(const FileDone& event);
    void Present(const LogNotice& event);
    // The dialogs do not follow their offers' fetches: nothing to show.
    void Present(const OfferServed& event);
    void OnAbout(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnListContextMenu(wxContextMenuEvent& event);
    void OnQuit(wxCommandEvent& event);
    // Ends the innermost modal run of another dialog, and this one's once no other is left.
    void EndModalRuns();
    void OpenReceivedFolder();
    // One offer to each recipient; the paths left out are then shown in one message box.
    void OfferTo(const std::vector<PeerRow>& recipients, const std::vector<std::wstring>& paths);
    void OnClose(wxCloseEvent& event);
    void OnActivate(wxActivateEvent& event);
    // The tray icon and its menu, once the messenger runs.
    void CreateTray();
    void UpdateTrayMenu();
    // Hides a window that is in view, else shows it: the tray menu's first item, and a click on
    // the icon.
    void ShowOrHideWindow();
    void SwitchAutostart();
    // After an arrival (changed: the unread state changed with it) or a look at the window.
    void ShowUnreadInTray(bool changed);
    // The window is shown, not minimised and the one the user works in.
    bool WindowSeen();
    void LayoutApplied() override;
    // The user column takes the list's whole width.
    void FitUserColumn();
    void AppendToLog(const std::wstring& entry);
    // The log opens with the last day of the history, dimmed, before what arrives now.
    void ShowHistoryInLog();

    const Settings& settings_;
    const std::uint32_t bind_address_;
    MainDialogHooks hooks_;
    PostedEvents posted_;
    std::unique_ptr<MessengerSession> session_;
    std::unique_ptr<ControlDesk> desk_;  // requests through the control socket, once started
    ComposeFilesDialog* compose_files_ = nullptr;  // while it runs: its list follows the main one
    bool shut_down_ = false;
    bool presenting_ = false;     // PresentPosted is running
    bool batch_waiting_ = false;  // a nested PresentPosted left its batch to the outer one
    TransferProgress transfer_;
    std::size_t user_list_rebuilds_ = 0;
    std::vector<PeerRow> rows_;     // what the list shows, row by row
    std::wstring batch_sender_;     // who sends the batch being received
    bool receiving_ = false;        // from a batch's first file to its end
    bool failure_noticed_ = false;  // a failure of that batch has asked for attention
    UnreadState unread_;
    std::unique_ptr<wxMenu> tray_menu_;  // outlives the icon, which shows it
    std::unique_ptr<TrayIcon> tray_;
    std::function<void()> end_;
    bool ended_ = false;
    long history_log_end_ = 0;

    wxListCtrl* user_list_ = nullptr;
    wxTextCtrl* log_ = nullptr;
    wxTextCtrl* online_count_ = nullptr;
    wxGauge* progress_ = nullptr;
    // Looks again whether the dialogs that ran inside this one's run have returned.
    wxTimer end_retry_;
};

}  // namespace veltra
