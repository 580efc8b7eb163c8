#include "ui/dialogs/main_dialog.h"

#include <wx/msgdlg.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "platform/clock.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/resource_ids.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {
namespace {

// The desktop's stand-in for the device's screen, in dialog units; the user may resize it.
const wxSize kScreenSize(320, 240);
constexpr int kUserNameColumnWidth = 200;

// The list view draws its rows in a child window below its column header (another child); a
// native list view has no children and takes the clicks itself.
std::vector<wxWindow*> RowAreas(wxListCtrl& list) {
    std::vector<wxWindow*> areas;
    for (wxWindow* child : list.GetChildren()) {
        areas.push_back(child);
    }
    if (areas.empty()) {
        areas.push_back(&list);
    }
    return areas;
}

bool IsHeader(const wxListCtrl& list, const wxWindow& area) {
    if (&area == &list) {
        return false;
    }
    for (const wxWindow* other : list.GetChildren()) {
        if (other != &area && other->GetPosition().y > area.GetPosition().y) {
            return true;
        }
    }
    return false;
}

// The row whose band contains y (list coordinates), wherever the click falls across the row: the
// selection covers the full row, so does the tap. -1 below the last row.
long RowAt(const wxListCtrl& list, int y) {
    const long first = std::max(0L, list.GetTopItem());
    const long last = std::min<long>(list.GetItemCount(), first + list.GetCountPerPage() + 2);
    for (long item = first; item < last; ++item) {
        wxRect rect;
        if (list.GetItemRect(item, rect) && y >= rect.GetTop() && y <= rect.GetBottom()) {
            return item;
        }
    }
    return -1;
}

}  // namespace

MainDialogHooks DefaultMainDialogHooks() {
    MainDialogHooks hooks;
    hooks.run_compose = [](CInputMsgDialog& compose) { return compose.ShowModal(); };
    hooks.choose_files = ChooseFilesWithDialog;
    hooks.show_message = [](wxWindow* parent, const std::wstring& text,
                            const std::wstring& caption) {
        wxMessageBox(ForDisplay(text), caption, wxOK | wxICON_NONE | wxCENTRE, parent);
    };
    hooks.play_sound = [] { wxBell(); };
    hooks.tick_ms = [] { return platform::TickCountMs(); };
    return hooks;
}

CMainDialog::CMainDialog(const Settings& settings, std::uint32_t bind_address,
                         MainDialogHooks hooks)
    : LayoutDialog(IDD_MAIN_PORTRAIT, IDD_MAIN_LANDSCAPE),
      settings_(settings),
      bind_address_(bind_address),
      hooks_(std::move(hooks)) {
    const bool created = CreateFromTemplate(nullptr, kScreenSize);
    wxASSERT_MSG(created, "main dialog template missing");
    if (!created) {
        return;
    }
    BindControls();
    SetIcon(AppIcon());
    Bind(EVT_POSTED, &CMainDialog::OnPosted, this);
    Bind(wxEVT_BUTTON, &CMainDialog::OnAbout, this, IDC_ABOUT);
    Bind(wxEVT_BUTTON, &CMainDialog::OnEndCommand, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CMainDialog::OnEndCommand, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, &CMainDialog::OnClose, this);
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
    for (wxWindow* area : RowAreas(*user_list_)) {
        area->Bind(wxEVT_LEFT_UP, &CMainDialog::OnUserListMouseUp, this);
    }
}

std::optional<int> CMainDialog::Start() {
    if (session_ || shut_down_) {
        return std::nullopt;
    }
    try {
        session_ = std::make_unique<MessengerSession>(*this, settings_, bind_address_);
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    EnableLayoutSwitching();
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
    QueuePostedEvent(*this, std::move(event));
}

void CMainDialog::OnPosted(PostedEvent& posted) {
    const Event event = posted.Take();
    if (shut_down_) {
        return;  // what it carries goes with it
    }
    std::visit([this](const auto& kind) { Present(kind); }, event);
}

void CMainDialog::Present(const PeersChanged& /*event*/) {
    if (!session_) {
        return;
    }
    const std::optional<std::vector<OnlinePeer>> peers = session_->TakePeers();
    if (!peers) {
        return;
    }
    const std::vector<PeerRow> rows = BuildPeerRows(*peers);
    const int previous_rows = user_list_->GetItemCount();

    user_list_->Freeze();
    user_list_->DeleteAllItems();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const long item = user_list_->InsertItem(static_cast<long>(i), rows[i].text);
        // The row keeps the address itself: the peer may be gone by the time of a tap.
        user_list_->SetItemData(item, static_cast<wxUIntPtr>(rows[i].address));
    }
    user_list_->Thaw();
    user_list_->Refresh();
    if (rows.size() < static_cast<std::size_t>(previous_rows)) {
        Refresh();  // no stale row may stay visible around the shorter list
    }
    online_count_->ChangeValue(OnlineCountText(rows.size()));
    ++user_list_rebuilds_;
}

void CMainDialog::Present(const MessageReceived& event) {
    AppendToLog(MessageEntry(event));
}

void CMainDialog::Present(const FilesReceived& event) {
    const std::wstring entry = FilesReceivedEntry(event.count);
    if (entry.empty()) {
        return;
    }
    if (settings_.play_sound_on_receive) {
        hooks_.play_sound();
    }
    AppendToLog(entry);
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
}

void CMainDialog::Present(const LogNotice& event) {
    AppendToLog(event.text + L"\r\n");
}

void CMainDialog::AppendToLog(const std::wstring& entry) {
    log_->AppendText(entry);
}

void CMainDialog::OnUserListMouseUp(wxMouseEvent& event) {
    event.Skip();  // the list still selects the row
    auto* area = dynamic_cast<wxWindow*>(event.GetEventObject());
    if (area == nullptr || IsHeader(*user_list_, *area)) {
        return;
    }
    const int y = event.GetY() + (area == user_list_ ? 0 : area->GetPosition().y);
    const long item = RowAt(*user_list_, y);
    // After the list has finished with the click: the tap may run a modal dialog.
    CallAfter([this, item] { TapUserList(item); });
}

void CMainDialog::TapUserList(long item) {
    if (!session_) {
        return;
    }
    if (item < 0) {
        session_->Refresh();
        return;
    }
    if (item >= user_list_->GetItemCount()) {
        return;
    }
    const auto address = static_cast<std::uint32_t>(user_list_->GetItemData(item));

    CInputMsgDialog compose(this, hooks_.choose_files);
    const int result = hooks_.run_compose(compose);
    if (result != wxID_OK || !session_) {
        return;
    }
    if (compose.FilesChosen()) {
        session_->OfferFiles(address, compose.Files());  // the typed text is not sent
    } else if (!compose.MessageText().empty()) {
        session_->SendText(address, compose.MessageText());
    }
}

void CMainDialog::OnAbout(wxCommandEvent& /*event*/) {
    hooks_.show_message(this, AboutText(), kAboutCaption);
}

void CMainDialog::OnEndCommand(wxCommandEvent& event) {
    ShutdownMessenger();
    EndDialog(event.GetId());
}

void CMainDialog::OnClose(wxCloseEvent& event) {
    ShutdownMessenger();
    event.Skip();  // the dialog's own close handling ends the modal run
}

}  // namespace veltra
