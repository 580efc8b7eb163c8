#include "ui/dialogs/compose_files_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "platform/path.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

// The files by the names the peers will see, one a line.
std::wstring FileNames(const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const std::wstring& path : paths) {
        names += (names.empty() ? L"" : L"\n") + platform::Path(path).FileName();
    }
    return names;
}

}  // namespace

ComposeFilesDialog::ComposeFilesDialog(wxWindow* parent, std::vector<std::wstring> paths,
                                       const std::vector<PeerRow>& rows)
    : wxDialog(parent, wxID_ANY, kComposeFilesCaption, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      paths_(std::move(paths)) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, kComposeFilesLabel), 0, wxLEFT | wxRIGHT | wxTOP,
                8);
    column->Add(new wxStaticText(this, wxID_ANY, FileNames(paths_)), 0, wxLEFT | wxRIGHT, 16);
    column->Add(new wxStaticText(this, wxID_ANY, kComposeRecipientsLabel), 0,
                wxLEFT | wxRIGHT | wxTOP, 8);
    list_ = new wxCheckListBox(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(-1, 160)));
    column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    // Labelled here, as the other dialogs: they speak Chinese whatever the locale.
    auto* buttons = new wxStdDialogButtonSizer();
    auto* send = new wxButton(this, wxID_OK, kComposeSendCaption);
    buttons->AddButton(send);
    buttons->AddButton(new wxButton(this, wxID_CANCEL, kSettingsCancelCaption));
    buttons->Realize();
    column->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(column);
    SetSize(FromDIP(wxSize(320, -1)).GetWidth(), GetSize().GetHeight());
    // Nobody picked, nothing to send.
    send->Bind(wxEVT_UPDATE_UI,
               [this](wxUpdateUIEvent& event) { event.Enable(!Recipients().empty()); });
    SetRows(rows);
}

void ComposeFilesDialog::SetRows(const std::vector<PeerRow>& rows) {
    const std::vector<PeerRow> picked = Recipients();
    rows_ = rows;
    list_->Clear();
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        list_->Append(rows_[row].text);
    }
    for (const PeerRow& person : picked) {
        if (const std::optional<std::size_t> row = RowOfPerson(rows_, person)) {
            list_->Check(static_cast<unsigned>(*row));
        }
    }
}

std::vector<PeerRow> ComposeFilesDialog::Recipients() const {
    std::vector<PeerRow> picked;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (list_->IsChecked(static_cast<unsigned>(row))) {
            picked.push_back(rows_[row]);
        }
    }
    return picked;
}

}  // namespace veltra
