#include "ui/dialogs/main_dialog.h"

#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/notifmsg.h>
#include <wx/settings.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/resource_ids.h"
#include "ui/dialogs/user_list_hits.h"
#include "ui/presentation/peer_rows.h"
#include "ui/presentation/sent_entries.h"

namespace veltra {
namespace {

// The desktop's stand-in for the device's screen, in dialog units; the user may resize it.
const wxSize kScreenSize(320, 240);
constexpr int kUserNameColumnWidth = 200;

// The list and the log share the height the window gains; the button between them moves by half
// of it. The progress bar lies under the log: in portrait it spans the screen's width less its
// margins, in landscape the log's width, which leaves room on either side. The count field and its
// label stay at the top left.
AnchorRoles MainRoles() {
    return {
        {IDC_USER_LIST, {shares::kSpan, shares::kFirstHalf}},
        {IDC_ABOUT, {shares::kStart, shares::kMiddle}},
        {IDC_LOG, {shares::kSpan, shares::kSecondHalf}},
        {IDC_PROGRESS, {shares::kSpan, shares::kEnd}},
    };
}

}  // namespace

bool RequestAttention(wxTopLevelWindow& window) {
    if (wxEventLoopBase::GetActive() == nullptr || !window.IsShownOnScreen()) {
        return false;
    }
    // Until the window gets the focus again, not for the five seconds of the default: the toolkit
    // leaves that timer running when the window is destroyed, and it then writes to freed memory.
    window.RequestUserAttention(wxUSER_ATTENTION_ERROR);
    return true;
}

MainDialogHooks DefaultMainDialogHooks() {
    MainDialogHooks hooks;
    hooks.run_compose = [](CInputMsgDialog& compose) { return compose.ShowModal(); };
    hooks.run_settings = [](SettingsDialog& dialog) { return dialog.ShowModal(); };
    hooks.run_history = [](HistoryDialog& dialog) { dialog.ShowModal(); };
    hooks.confirm = [](wxWindow* parent, const std::wstring& text, const std::wstring& yes) {
        wxMessageDialog question(parent, ForDisplay(text), kMainCaption,
                                 wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION | wxCENTRE);
        // Labelled here: the toolkit's stock labels follow the locale.
        question.SetYesNoLabels(wxString(yes), kCancelCaption);
        return question.ShowModal() == wxID_YES;
    };
    hooks.run_compose_files = [](ComposeFilesDialog& dialog) { return dialog.ShowModal(); };
    hooks.choose_files = ChooseFilesWithDialog;
    hooks.choose_folder = ChooseFolderWithDialog;
    hooks.show_message = [](wxWindow* parent, const std::wstring& text,
                            const std::wstring& caption) {
        wxMessageBox(ForDisplay(text), caption, wxOK | wxICON_NONE | wxCENTRE, parent);
    };
    hooks.play_sound = [] { wxBell(); };
    hooks.tick_ms = [] { return platform::TickCountMs(); };
    hooks.window_active = [](wxTopLevelWindow& window) { return window.IsActive(); };
    hooks.notify = [](wxTopLevelWindow& window, const ArrivalNotice& notice) {
        RequestAttention(window);
        wxNotificationMessage message(notice.title, notice.body, &window);
        message.Show();
    };
    hooks.open_folder = [](const std::wstring& folder) {
        return wxLaunchDefaultApplication(folder);  // xdg-open on a Linux desktop
    };
    hooks.create_tray = CreateDesktopTrayIcon;
    return hooks;
}

CMainDialog::CMainDialog(const Settings& settings, std::uint32_t bind_address,
                         MainDialogHooks hooks)
    : LayoutDialog(IDD_MAIN_PORTRAIT, IDD_MAIN_LANDSCAPE, MainRoles(), MainRoles()),
      settings_(settings),
      bind_address_(bind_address),
      hooks_(std::move(hooks)),
      // CallAfter queues the call for the UI thread and is safe from any thread.
      posted_([this] { CallAfter(&CMainDialog::PresentPosted); }) {
    const bool created = CreateFromTemplate(nullptr, kScreenSize);
    wxASSERT_MSG(created, "main dialog template missing");
    if (!created) {
        return;
    }
    BindControls();
    SetIcon(AppIcon());
    Bind(wxEVT_BUTTON, &CMainDialog::OnAbout, this, IDC_ABOUT);
    // Escape and Return are the list's keys here, never a way to end the window.
    SetEscapeId(wxID_NONE);
    SetAffirmativeId(wxID_NONE);
    Bind(wxEVT_CHAR_HOOK, &CMainDialog::OnCharHook, this);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { RefreshUsers(); }, IDM_REFRESH);
    Bind(wxEVT_MENU, &CMainDialog::OnQuit, this, IDM_QUIT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { CancelReceiving(); }, IDM_CANCEL_RECEIVING);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { EditSettings(); }, IDM_SETTINGS);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ShowHistory(); }, IDM_HISTORY);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { OpenReceivedFolder(); }, IDM_OPEN_RECEIVED_FOLDER);
    user_list_->Bind(wxEVT_CONTEXT_MENU, &CMainDialog::OnListContextMenu, this);
    Bind(wxEVT_CLOSE_WINDOW, &CMainDialog::OnClose, this);
    Bind(wxEVT_ACTIVATE, &CMainDialog::OnActivate, this);
    Bind(wxEVT_ICONIZE, [this](wxIconizeEvent& event) {
        UpdateTrayMenu();
        event.Skip();
    });
    end_retry_.SetOwner(this);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { EndModalRuns(); }, end_retry_.GetId());
}

CMainDialog::~CMainDialog() {
    // Before the controls go: no worker may post to a window that is being destroyed.
    ShutdownMessenger();
}

void CMainDialog::BindControls() {
    user_list_ = XRCCTRL(*this, "IDC_USER_LIST", wxListCtrl);
    log_ = XRCCTRL(*this, "IDC_LOG", wxTextCtrl);
    online_count_ = XRCCTRL(*this, "IDC_ONLINE_COUNT", wxTextCtrl);
    progress_ = XRCCTRL(*this, "IDC_PROGRESS", wxGauge);
    user_list_->InsertColumn(0, L"用户名", wxLIST_FORMAT_LEFT, kUserNameColumnWidth);
    BindUserListTaps(*user_list_, [this](long item) {
        // After the list has finished with the click: the tap may run a modal dialog.
        CallAfter([this, item] { TapUserList(item); });
    });
    BindUserListDrops(*user_list_, [this](long item, const std::vector<std::wstring>& paths) {
        return DropOnUserList(item, paths);
    });
}

std::optional<std::system_error> CMainDialog::Start() {
    if (session_ || shut_down_) {
        return std::nullopt;
    }
    try {
        HistoryOptions history;
        history.rows_kept = settings_.history_rows;
        session_ =
            std::make_unique<MessengerSession>(*this, settings_, bind_address_, std::move(history));
        desk_ = std::make_unique<ControlDesk>(
            *session_,
            [this](const std::wstring& user, std::uint32_t address, const std::wstring& text) {
                // Logged as when the user sends it.
                AppendToLog(SentMessageEntry(user, AnsiToWide(platform::InetNtoa(address)), text));
            });
    } catch (const std::system_error& error) {
        return error;
    }
    ShowHistoryInLog();
    EnableLayoutSwitching();
    CreateTray();
    return std::nullopt;
}

void CMainDialog::ShutdownMessenger() {
    shut_down_ = true;
    if (session_) {
        session_->Shutdown();
        session_.reset();
    }
}

void CMainDialog::Post(Event event) {
    posted_.Add(std::move(event));
}

void CMainDialog::PresentPosted() {
    if (presenting_) {
        // A nested event loop: this batch waits until the outer one has been presented.
        batch_waiting_ = true;
        return;
    }
    presenting_ = true;
    for (const Event& event : posted_.TakeAll()) {
        if (shut_down_) {
            break;  // what they carry goes with them
        }
        std::visit([this](const auto& kind) { Present(kind); }, event);
    }
    presenting_ = false;
    if (std::exchange(batch_waiting_, false)) {
        CallAfter(&CMainDialog::PresentPosted);
    }
}

void CMainDialog::Present(const PeersChanged& /*event*/) {
    if (!session_) {
        return;
    }
    const std::optional<std::vector<OnlinePeer>> peers = session_->TakePeers();
    if (!peers) {
        return;
    }
    std::vector<PeerRow> rows = BuildPeerRows(*peers);
    const int previous_rows = user_list_->GetItemCount();
    // The selection stays with the people selected, wherever the new order puts them.
    const std::vector<PeerRow> selected = SelectedRows();

    user_list_->Freeze();
    user_list_->DeleteAllItems();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const long item = user_list_->InsertItem(static_cast<long>(i), rows[i].text);
        // The row keeps the address itself: the peer may be gone by the time of a tap.
        user_list_->SetItemData(item, static_cast<wxUIntPtr>(rows[i].address));
    }
    for (const PeerRow& person : selected) {
        if (const std::optional<std::size_t> row = RowOfPerson(rows, person)) {
            const long item = static_cast<long>(*row);
            user_list_->SetItemState(item, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                     wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        }
    }
    user_list_->Thaw();
    rows_ = std::move(rows);
    user_list_->Refresh();
    if (rows_.size() < static_cast<std::size_t>(previous_rows)) {
        Refresh();  // no stale row may stay visible around the shorter list
    }
    online_count_->ChangeValue(OnlineCountText(rows_.size()));
    if (compose_files_ != nullptr) {
        compose_files_->SetRows(rows_);
    }
    FitUserColumn();  // the rows may now need a scroll bar, or no longer
    ++user_list_rebuilds_;
}

void CMainDialog::Present(const MessageReceived& event) {
    AppendToLog(MessageEntry(event));
    if (const std::optional<ArrivalNotice> notice =
            NoticeForMessage(event, hooks_.window_active(*this))) {
        hooks_.notify(*this, *notice);
    }
    ShowUnreadInTray(unread_.MessageArrived(WindowSeen()));
}

void CMainDialog::Present(const FilesReceived& event) {
    receiving_ = false;
    if (event.count > 0 && settings_.play_sound_on_receive) {
        hooks_.play_sound();
    }
    AppendToLog(BatchEndEntry(event));
    if (const std::optional<ArrivalNotice> notice =
            NoticeForFiles(batch_sender_, event.count, hooks_.window_active(*this))) {
        hooks_.notify(*this, *notice);
    }
    ShowUnreadInTray(unread_.BatchEnded(event, WindowSeen()));
}

void CMainDialog::Present(const BatchStarted& event) {
    batch_sender_ = AnsiToWide(event.user_name);
    receiving_ = true;
    failure_noticed_ = false;
    AppendToLog(BatchSenderEntry(event));
}

// Only this dialog's session offers, so every entry served is one the user offered here.
void CMainDialog::Present(const OfferServed& event) {
    if (desk_) {
        desk_->Served(event);  // an asker through the control socket hears of its own entries
    }
    const std::wstring name = AnsiToWide(event.name);
    AppendToLog(event.whole ? SentEntry(name, event.directory) : SendFailedEntry(name));
}

void CMainDialog::Present(const FileStarted& event) {
    progress_->SetRange(100);
    progress_->SetValue(0);
    AppendToLog(FileStartedEntry(event.name));
    transfer_.Start(event.size, hooks_.tick_ms());
}

void CMainDialog::Present(const FileProgress& event) {
    const TransferProgress::Step step = transfer_.Progress(event.received, hooks_.tick_ms());
    progress_->SetValue(std::clamp(step.position, 0, 100));
    AppendToLog(step.entry);
}

void CMainDialog::Present(const FileDone& event) {
    AppendToLog(FileDoneEntry(event.outcome));
    if (failure_noticed_) {
        return;  // one failure of a batch asks for attention, not each
    }
    if (const std::optional<ArrivalNotice> notice =
            NoticeForFailure(batch_sender_, event, hooks_.window_active(*this))) {
        failure_noticed_ = true;
        hooks_.notify(*this, *notice);
    }
}

void CMainDialog::Present(const LogNotice& event) {
    AppendToLog(event.text + L"\r\n");
}

void CMainDialog::LayoutApplied() {
    FitUserColumn();
}

void CMainDialog::FitUserColumn() {
    int width = user_list_->GetClientSize().x;
    if (user_list_->GetItemCount() > user_list_->GetCountPerPage()) {
        width -= wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, user_list_);
    }
    if (width > 0 && user_list_->GetColumnWidth(0) != width) {
        user_list_->SetColumnWidth(0, width);
    }
}

void CMainDialog::AppendToLog(const std::wstring& entry) {
    if (entry.empty()) {
        return;
    }
    log_->AppendText(entry);
}

void CMainDialog::TapUserList(long item) {
    if (!session_) {
        return;
    }
    if (item < 0) {
        RefreshUsers();
        return;
    }
    if (item >= user_list_->GetItemCount() || static_cast<std::size_t>(item) >= rows_.size()) {
        return;
    }
    ComposeTo({rows_[static_cast<std::size_t>(item)]});
}

void CMainDialog::ComposeTo(const std::vector<PeerRow>& recipients) {
    if (!session_ || recipients.empty()) {
        return;
    }
    CInputMsgDialog compose(this, hooks_.choose_files, RecipientLine(recipients),
                            hooks_.choose_folder);
    const int result = hooks_.run_compose(compose);
    if (result != wxID_OK || !session_) {
        return;
    }
    if (compose.FilesChosen()) {
        OfferTo(recipients, compose.Files());  // the typed text is not sent
    } else if (!compose.MessageText().empty()) {
        for (const PeerRow& recipient : recipients) {
            session_->SendText(recipient.address, compose.MessageText());
            AppendToLog(SentMessageEntry(recipient.name,
                                         AnsiToWide(platform::InetNtoa(recipient.address)),
                                         compose.MessageText()));
        }
    }
}

void CMainDialog::OfferTo(const std::vector<PeerRow>& recipients,
                          const std::vector<std::wstring>& paths) {
    const std::vector<platform::Path> offered(paths.begin(), paths.end());
    // A path left out of one offer is likely left out of the next as well: it is told once.
    std::vector<OfferResult> left_out;
    for (const PeerRow& recipient : recipients) {
        if (!session_) {
            return;
        }
        for (OfferResult& result : session_->OfferFiles(recipient.address, offered)) {
            const auto told = [&result](const OfferResult& other) {
                return other.path == result.path;
            };
            if (!result.entry && std::none_of(left_out.begin(), left_out.end(), told)) {
                left_out.push_back(std::move(result));
            }
        }
    }
    if (!left_out.empty()) {
        hooks_.show_message(this, NotOfferedText(left_out), kMainCaption);
    }
}

std::vector<PeerRow> CMainDialog::SelectedRows() const {
    std::vector<PeerRow> selected;
    for (long item = -1;
         (item = user_list_->GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
        if (static_cast<std::size_t>(item) < rows_.size()) {
            selected.push_back(rows_[static_cast<std::size_t>(item)]);
        }
    }
    return selected;
}

bool CMainDialog::DropOnUserList(long item, const std::vector<std::wstring>& paths) {
    if (!session_ || item < 0 || static_cast<std::size_t>(item) >= rows_.size()) {
        return false;
    }
    std::vector<PeerRow> recipients{rows_[static_cast<std::size_t>(item)]};
    if (user_list_->GetItemState(item, wxLIST_STATE_SELECTED) != 0) {
        recipients = SelectedRows();
    }
    // After the drop has ended: an offer waits for its pause.
    CallAfter([this, recipients, paths] { OfferTo(recipients, paths); });
    return true;
}

void CMainDialog::OnAbout(wxCommandEvent& /*event*/) {
    hooks_.show_message(this, AboutText(ReceivedFolder()), kAboutCaption);
}

}  // namespace veltra
