#include "ui/dialogs/input_msg_dialog.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/xrc/xmlres.h>

#include <utility>

#include "platform/path.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

// The compose template's own size: the dialog is its screen.
const wxSize kComposeClientSize(250, 150);

// The edit takes what the window gains, the recipient line spans its width, the file buttons stay
// at the bottom left and the send and cancel buttons at the bottom right.
AnchorRoles ComposeRoles() {
    return {
        {IDC_RECIPIENT, {shares::kSpan, shares::kStart}},
        {IDC_MESSAGE_TEXT, {shares::kSpan, shares::kSpan}},
        {wxID_OK, {shares::kEnd, shares::kEnd}},
        {wxID_CANCEL, {shares::kEnd, shares::kEnd}},
        {IDC_SEND_FILE, {shares::kStart, shares::kEnd}},
        {IDC_SEND_FOLDER, {shares::kStart, shares::kEnd}},
    };
}

}  // namespace

std::optional<std::vector<std::wstring>> ChooseFilesWithDialog(wxWindow* owner) {
    wxFileDialog chooser(owner, wxFileSelectorPromptStr, wxString::FromUTF8(platform::HomeFolder()),
                         wxEmptyString, kSendFileFilter, wxFD_OPEN | wxFD_MULTIPLE);
    if (chooser.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    wxArrayString paths;
    chooser.GetPaths(paths);
    std::vector<std::wstring> chosen;
    for (const wxString& path : paths) {
        chosen.push_back(path.ToStdWstring());
    }
    return chosen;
}

std::optional<std::vector<std::wstring>> ChooseFolderWithDialog(wxWindow* owner) {
    wxDirDialog chooser(owner, wxDirSelectorPromptStr, wxString::FromUTF8(platform::HomeFolder()),
                        wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (chooser.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    return std::vector<std::wstring>{chooser.GetPath().ToStdWstring()};
}

bool OfferDropTarget::OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& names) {
    std::vector<std::wstring> paths;
    for (const wxString& name : names) {
        paths.push_back(name.ToStdWstring());
    }
    return !paths.empty() && handler_(x, y, std::move(paths));
}

std::wstring WithCrLfLineBreaks(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size());
    for (std::wstring::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            result += L'\r';
        }
        result += text[i];
    }
    return result;
}

CInputMsgDialog::CInputMsgDialog(wxWindow* parent, FileChooser chooser,
                                 const std::wstring& recipient, FileChooser folder_chooser)
    : LayoutDialog(IDD_COMPOSE_PORTRAIT, IDD_COMPOSE_LANDSCAPE, ComposeRoles(), ComposeRoles()),
      chooser_(std::move(chooser)),
      folder_chooser_(std::move(folder_chooser)) {
    const bool created = CreateFromTemplate(parent, kComposeClientSize);
    wxASSERT_MSG(created, "compose dialog template missing");
    message_edit_ = created ? XRCCTRL(*this, "IDC_MESSAGE_TEXT", wxTextCtrl) : nullptr;
    recipient_ = created ? XRCCTRL(*this, "IDC_RECIPIENT", wxStaticText) : nullptr;
    if (recipient_ != nullptr) {
        recipient_->SetLabelText(recipient);
    }
    Bind(wxEVT_BUTTON, &CInputMsgDialog::OnSendFile, this, IDC_SEND_FILE);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OfferAndClose(folder_chooser_(this)); },
        IDC_SEND_FOLDER);
    SetDropTarget(new OfferDropTarget([this](wxCoord, wxCoord, std::vector<std::wstring> paths) {
        CallAfter([this, paths = std::move(paths)]() mutable { OfferAndClose(std::move(paths)); });
        return true;
    }));
    Bind(wxEVT_CHAR_HOOK, &CInputMsgDialog::OnCharHook, this);
    // The screen may turn once the dialog is up, not while it is being built.
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& event) {
        event.Skip();
        EnableLayoutSwitching();
    });
}

bool CInputMsgDialog::TransferDataFromWindow() {
    if (message_edit_ != nullptr) {
        message_text_ = WithCrLfLineBreaks(message_edit_->GetValue().ToStdWstring());
    }
    return true;
}

void CInputMsgDialog::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && event.GetModifiers() == wxMOD_CONTROL) {
        AcceptAndClose();  // as "发送" does
        return;
    }
    event.Skip();
}

void CInputMsgDialog::OnSendFile(wxCommandEvent& /*event*/) {
    OfferAndClose(chooser_(this));
}

void CInputMsgDialog::OfferAndClose(std::optional<std::vector<std::wstring>> chosen) {
    files_.clear();
    if (chosen) {
        files_ = std::move(*chosen);
    }
    if (!files_.empty()) {
        files_chosen_ = true;
    }
    // Choosing files sends them at once; a cancelled chooser still confirms the dialog, so a
    // typed text goes out as a plain message.
    AcceptAndClose();
}

}  // namespace veltra
