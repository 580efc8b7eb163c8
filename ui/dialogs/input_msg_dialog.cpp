#include "ui/dialogs/input_msg_dialog.h"

#include <wx/filedlg.h>
#include <wx/xrc/xmlres.h>

#include <utility>

#include "platform/device_path.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

// The compose template's own size: the dialog is its screen.
const wxSize kComposeClientSize(250, 150);

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

CInputMsgDialog::CInputMsgDialog(wxWindow* parent, FileChooser chooser)
    : LayoutDialog(IDD_COMPOSE_PORTRAIT, IDD_COMPOSE_LANDSCAPE), chooser_(std::move(chooser)) {
    const bool created = CreateFromTemplate(parent, kComposeClientSize);
    wxASSERT_MSG(created, "compose dialog template missing");
    message_edit_ = created ? XRCCTRL(*this, "IDC_MESSAGE_TEXT", wxTextCtrl) : nullptr;
    Bind(wxEVT_BUTTON, &CInputMsgDialog::OnSendFile, this, IDC_SEND_FILE);
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

void CInputMsgDialog::OnSendFile(wxCommandEvent& /*event*/) {
    files_.clear();
    if (std::optional<std::vector<std::wstring>> chosen = chooser_(this)) {
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
