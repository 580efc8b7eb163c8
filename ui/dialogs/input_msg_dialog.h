#pragma once
// The compose dialog: a typed message, or files chosen to offer, for one peer. It only collects;
// the main dialog sends after the modal run.

#include <wx/textctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs/layout_dialog.h"

namespace veltra {

// The filter of the file chooser: all files, and RAR archives.
inline constexpr wchar_t kSendFileFilter[] = L"All Files (*.*)|*.*|WINRAR File (*.rar)|*.rar";

// Runs a file chooser owned by owner: the chosen paths in the chooser's order, or nothing when the
// user cancels.
using FileChooser = std::function<std::optional<std::vector<std::wstring>>(wxWindow* owner)>;

// The program's chooser: a multiple-selection open dialog at the home folder ("\Storage Card").
std::optional<std::vector<std::wstring>> ChooseFilesWithDialog(wxWindow* owner);

// The edit's text with every line break as CR LF, the way the message goes to the packet builder
// (which drops the CRs again).
std::wstring WithCrLfLineBreaks(const std::wstring& text);

class CInputMsgDialog : public LayoutDialog {
  public:
    explicit CInputMsgDialog(wxWindow* parent, FileChooser chooser = ChooseFilesWithDialog);

    // Filled when the dialog is confirmed ("发送", or the end of the file chooser).
    const std::wstring& MessageText() const { return message_text_; }
    const std::vector<std::wstring>& Files() const { return files_; }
    bool FilesChosen() const { return files_chosen_; }

    wxTextCtrl* MessageEdit() const { return message_edit_; }

    bool TransferDataFromWindow() override;

  private:
    void OnSendFile(wxCommandEvent& event);

    wxTextCtrl* message_edit_ = nullptr;
    std::wstring message_text_;
    std::vector<std::wstring> files_;
    bool files_chosen_ = false;
    FileChooser chooser_;
};

}  // namespace veltra
