#include "ui/dialogs/settings_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>

#include "common/settings_file.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

// Leading and trailing blanks are nobody's name and no host.
std::wstring Trimmed(const wxString& text) {
    wxString copy = text;
    return copy.Trim(true).Trim(false).ToStdWstring();
}

}  // namespace

SettingsDialog::SettingsDialog(wxWindow* parent, const std::wstring& name,
                               const std::wstring& broadcast, const std::wstring& account_name)
    : wxDialog(parent, wxID_ANY, kSettingsCaption) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    const auto label = [this, column](const wchar_t* text) {
        column->Add(new wxStaticText(this, wxID_ANY, text), 0, wxLEFT | wxRIGHT | wxTOP, 8);
    };
    label(kSettingsNameLabel);
    name_ = new wxTextCtrl(this, wxID_ANY, name);
    name_->SetHint(account_name);
    column->Add(name_, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    refusal_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    refusal_->SetForegroundColour(*wxRED);
    column->Add(refusal_, 0, wxLEFT | wxRIGHT, 8);
    label(kSettingsBroadcastLabel);
    broadcast_ = new wxTextCtrl(this, wxID_ANY, broadcast);
    column->Add(broadcast_, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    // Labelled here: the toolkit's stock labels follow the locale, and the dialogs speak Chinese
    // whatever it is.
    auto* buttons = new wxStdDialogButtonSizer();
    buttons->AddButton(new wxButton(this, wxID_OK, kSettingsSaveCaption));
    buttons->AddButton(new wxButton(this, wxID_CANCEL, kSettingsCancelCaption));
    buttons->Realize();
    column->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(column);
    SetSize(FromDIP(wxSize(320, -1)).GetWidth(), GetSize().GetHeight());
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent& /*event*/) {
            if (TryAccept()) {
                EndModal(wxID_OK);
            }
        },
        wxID_OK);
    name_->SetFocus();
}

bool SettingsDialog::TryAccept() {
    const NameFault fault = CheckUserName(Name());
    refusal_->SetLabel(NameRefusalText(fault));
    Layout();
    return fault == NameFault::kNone;
}

std::wstring SettingsDialog::Name() const {
    return Trimmed(name_->GetValue());
}

std::wstring SettingsDialog::Broadcast() const {
    return Trimmed(broadcast_->GetValue());
}

std::wstring SettingsDialog::Refusal() const {
    return refusal_->GetLabel().ToStdWstring();
}

}  // namespace veltra
