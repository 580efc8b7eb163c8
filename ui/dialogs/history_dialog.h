#pragma once
// The history window "历史记录": the messages and transfers kept, newest first, searched by text
// and by peer as the user types; a received entry's stored path in its row, and its folder shown
// in the file manager; and the whole history cleared after a confirmation.

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/presentation/history_entries.h"
#include "ui/presentation/history_list.h"

namespace veltra {

// What the window does through the session and the desktop; the main dialog gives its own.
struct HistoryDialogParts {
    HistoryReader read;           // newest first
    std::function<bool()> clear;  // false when the history could not be cleared
    // Shows a folder (host path) in the desktop's file manager; false when it could not.
    std::function<bool(const std::wstring& folder)> open_folder;
    // Asks text with yes and no; true for yes.
    std::function<bool(wxWindow* parent, const std::wstring& text)> confirm;
};

class HistoryDialog : public wxDialog {
  public:
    HistoryDialog(wxWindow* parent, HistoryDialogParts parts);

    // Reads the rows that the search fields ask for again.
    void Search();
    // "打开所在文件夹": the folder of the selected row's stored entry; nothing without one.
    void OpenFolder();
    // "清除历史记录": asks, then clears and lists nothing.
    void ClearHistory();

    wxTextCtrl* TextField() const { return text_; }
    wxTextCtrl* PeerField() const { return peer_; }
    wxListCtrl* List() const { return list_; }
    wxButton* OpenFolderButton() const { return open_folder_; }
    const std::vector<HistoryListRow>& Rows() const { return rows_; }
    // The line under the list: how many rows it shows, or why it shows none.
    std::wstring Status() const;

  private:
    // The row selected, if any.
    const HistoryListRow* Selected() const;
    void SelectionChanged();

    HistoryDialogParts parts_;
    std::vector<HistoryListRow> rows_;
    wxTextCtrl* text_ = nullptr;
    wxTextCtrl* peer_ = nullptr;
    wxListCtrl* list_ = nullptr;
    wxStaticText* status_ = nullptr;
    wxButton* open_folder_ = nullptr;
    wxButton* clear_ = nullptr;
};

}  // namespace veltra
