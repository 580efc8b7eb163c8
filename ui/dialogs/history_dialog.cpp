#include "ui/dialogs/history_dialog.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include <utility>

#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

enum Column { kTimeColumn, kTextColumn, kPathColumn };

wxTextCtrl* SearchField(wxWindow* parent, wxSizer& row, const wchar_t* label, const wchar_t* hint) {
    row.Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    auto* field = new wxTextCtrl(parent, wxID_ANY);
    field->SetHint(hint);
    row.Add(field, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    return field;
}

}  // namespace

HistoryDialog::HistoryDialog(wxWindow* parent, HistoryDialogParts parts)
    : wxDialog(parent, wxID_ANY, kHistoryCaption, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      parts_(std::move(parts)) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* search = new wxBoxSizer(wxHORIZONTAL);
    text_ = SearchField(this, *search, kHistoryTextLabel, kHistoryTextHint);
    peer_ = SearchField(this, *search, kHistoryPeerLabel, kHistoryPeerHint);
    column->Add(search, 0, wxEXPAND | wxALL, 8);

    list_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(760, 360)),
                           wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    list_->InsertColumn(kTimeColumn, kHistoryTimeColumn, wxLIST_FORMAT_LEFT, FromDIP(140));
    list_->InsertColumn(kTextColumn, kHistoryTextColumn, wxLIST_FORMAT_LEFT, FromDIP(380));
    list_->InsertColumn(kPathColumn, kHistoryPathColumn, wxLIST_FORMAT_LEFT, FromDIP(220));
    column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    status_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    column->Add(status_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 8);

    // Labelled here: the dialogs speak Chinese whatever the locale.
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    open_folder_ = new wxButton(this, wxID_ANY, kOpenContainingFolderCaption);
    clear_ = new wxButton(this, wxID_ANY, kClearHistoryCaption);
    buttons->Add(open_folder_, 0, wxRIGHT, 8);
    buttons->Add(clear_, 0);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CANCEL, kHistoryCloseCaption), 0);
    column->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(column);
    SetEscapeId(wxID_CANCEL);

    text_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Search(); });
    peer_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Search(); });
    open_folder_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFolder(); });
    clear_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ClearHistory(); });
    list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { SelectionChanged(); });
    list_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) { SelectionChanged(); });
    list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { OpenFolder(); });
    Search();
    text_->SetFocus();
}

void HistoryDialog::Search() {
    const HistoryQuery query =
        HistoryWindowQuery(text_->GetValue().ToStdWstring(), peer_->GetValue().ToStdWstring());
    rows_.clear();
    for (const HistoryRow& row : parts_.read(query)) {
        rows_.push_back(ListRowOf(row));
    }
    list_->Freeze();
    list_->DeleteAllItems();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const long item = list_->InsertItem(static_cast<long>(i), rows_[i].time);
        list_->SetItem(item, kTextColumn, rows_[i].text);
        list_->SetItem(item, kPathColumn, rows_[i].stored_path);
    }
    list_->Thaw();
    if (!rows_.empty()) {
        status_->SetLabel(HistoryCountText(rows_.size(), rows_.size() >= query.limit));
    } else {
        const bool searched = !query.text.empty() || !query.peer.empty();
        status_->SetLabel(searched ? kNothingFoundText : kNoHistoryText);
    }
    SelectionChanged();
}

const HistoryListRow* HistoryDialog::Selected() const {
    const long item = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (item < 0 || static_cast<std::size_t>(item) >= rows_.size()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(item)];
}

void HistoryDialog::SelectionChanged() {
    const HistoryListRow* row = Selected();
    open_folder_->Enable(row != nullptr && row->folder.has_value());
}

void HistoryDialog::OpenFolder() {
    const HistoryListRow* row = Selected();
    if (row == nullptr || !row->folder) {
        return;
    }
    if (!parts_.open_folder(*row->folder)) {
        status_->SetLabel(kCannotOpenContainingFolderText);
    }
}

void HistoryDialog::ClearHistory() {
    if (!parts_.confirm(this, kClearHistoryQuestion)) {
        return;
    }
    const bool cleared = parts_.clear();
    Search();
    status_->SetLabel(cleared ? kHistoryClearedText : kCannotClearHistoryText);
}

std::wstring HistoryDialog::Status() const {
    return status_->GetLabel().ToStdWstring();
}

}  // namespace veltra
