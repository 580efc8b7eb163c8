#pragma once
// The main dialog: online count, list of users, log, progress bar and the about button. It owns
// the running messenger (a MessengerSession) and is the sink its worker threads post to; every
// handler runs on the UI thread.

#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/event_sink.h"
#include "common/settings.h"
#include "session/messenger_session.h"
#include "ui/dialogs/input_msg_dialog.h"
#include "ui/dialogs/layout_dialog.h"
#include "ui/dialogs/posted_event.h"
#include "ui/presentation/log_entries.h"

namespace veltra {

// What the dialog does through the desktop; tests replace these.
struct MainDialogHooks {
    // Runs a compose dialog modally; the result (wxID_OK or wxID_CANCEL).
    std::function<int(CInputMsgDialog&)> run_compose;
    FileChooser choose_files;
    // A message box with an OK button and no icon; text may have CR LF line breaks.
    std::function<void(wxWindow* parent, const std::wstring& text, const std::wstring& caption)>
        show_message;
    std::function<void()> play_sound;
    std::function<std::uint32_t()> tick_ms;
};

MainDialogHooks DefaultMainDialogHooks();

class CMainDialog : public LayoutDialog, public EventSink {
  public:
    // The messenger binds bind_address once started.
    CMainDialog(const Settings& settings, std::uint32_t bind_address = kEveryLocalAddress,
                MainDialogHooks hooks = DefaultMainDialogHooks());
    ~CMainDialog() override;

    // Starts the messenger (engine, listener, presence announcement), then lets the layout follow
    // the screen. The socket error code when the messenger could not start.
    std::optional<int> Start();
    // Stops the messenger before the window goes; later messages are dropped. Safe to call twice.
    void ShutdownMessenger();

    // Any thread: queued for the UI thread, never waits.
    void Post(Event event) override;

    // A tap on the user list: on row item, or (item < 0) below the rows.
    void TapUserList(long item);

    wxListCtrl* UserList() const { return user_list_; }
    wxTextCtrl* Log() const { return log_; }
    wxTextCtrl* OnlineCount() const { return online_count_; }
    wxGauge* Progress() const { return progress_; }
    std::size_t UserListRebuilds() const { return user_list_rebuilds_; }

  private:
    void BindControls();
    void OnPosted(PostedEvent& posted);
    // One per kind of event: std::visit picks the one for the event posted.
    void Present(const PeersChanged& event);
    void Present(const MessageReceived& event);
    void Present(const FilesReceived& event);
    void Present(const FileStarted& event);
    void Present(const FileProgress& event);
    void Present(const FileDone& event);
    void Present(const LogNotice& event);
    // The dialogs do not follow their offers' fetches: nothing to show.
    void Present(const OfferServed& /*event*/) {}
    void OnUserListMouseUp(wxMouseEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnEndCommand(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void AppendToLog(const std::wstring& entry);

    const Settings& settings_;
    const std::uint32_t bind_address_;
    MainDialogHooks hooks_;
    std::unique_ptr<MessengerSession> session_;
    bool shut_down_ = false;
    TransferProgress transfer_;
    std::size_t user_list_rebuilds_ = 0;

    wxListCtrl* user_list_ = nullptr;
    wxTextCtrl* log_ = nullptr;
    wxTextCtrl* online_count_ = nullptr;
    wxGauge* progress_ = nullptr;
};

}  // namespace veltra
