#pragma once
// The compose dialog for files handed over from outside (the file manager's "Open With", a
// second veltra): the files attached, and the list of users to pick the recipients from, any
// number of them. The list follows the main list while the dialog is open, since the files may
// come before the first peer has answered. It only collects; the main dialog offers.

#include <wx/checklst.h>
#include <wx/dialog.h>

#include <string>
#include <vector>

#include "ui/presentation/peer_rows.h"

namespace veltra {

class ComposeFilesDialog : public wxDialog {
  public:
    ComposeFilesDialog(wxWindow* parent, std::vector<std::wstring> paths,
                       const std::vector<PeerRow>& rows);

    // The users as the main list shows them now; the people picked stay picked while listed.
    void SetRows(const std::vector<PeerRow>& rows);
    // The people picked, in list order.
    std::vector<PeerRow> Recipients() const;
    const std::vector<std::wstring>& Paths() const { return paths_; }
    wxCheckListBox* RecipientList() const { return list_; }

  private:
    std::vector<std::wstring> paths_;
    std::vector<PeerRow> rows_;
    wxCheckListBox* list_ = nullptr;
};

}  // namespace veltra
