#pragma once
// The compose dialog: a typed message, or files chosen to offer, for one peer. It only collects;
// the main dialog sends after the modal run.

#include <wx/dnd.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
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
// The program's folder chooser, at the home folder: the chosen folder as the only path.
std::optional<std::vector<std::wstring>> ChooseFolderWithDialog(wxWindow* owner);

// Files and folders dropped from a file manager, at x, y of the window the target belongs to;
// what OnDropFiles answers.
using DropHandler = std::function<bool(wxCoord x, wxCoord y, std::vector<std::wstring> paths)>;

// The drop target of a window that takes files and folders from a file manager.
class OfferDropTarget : public wxFileDropTarget {
  public:
    explicit OfferDropTarget(DropHandler handler) : handler_(std::move(handler)) {}
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& names) override;

  private:
    DropHandler handler_;
};

// The edit's text with every line break as CR LF, the way the message goes to the packet builder
// (which drops the CRs again).
std::wstring WithCrLfLineBreaks(const std::wstring& text);

class CInputMsgDialog : public LayoutDialog {
  public:
    // recipient: the line above the edit that says who the message is for.
    explicit CInputMsgDialog(wxWindow* parent, FileChooser chooser = ChooseFilesWithDialog,
                             const std::wstring& recipient = {},
                             FileChooser folder_chooser = ChooseFolderWithDialog);

    // Filled when the dialog is confirmed ("发送", the end of a chooser, or a drop).
    const std::wstring& MessageText() const { return message_text_; }
    const std::vector<std::wstring>& Files() const { return files_; }
    bool FilesChosen() const { return files_chosen_; }

    wxTextCtrl* MessageEdit() const { return message_edit_; }
    wxStaticText* RecipientLabel() const { return recipient_; }

    bool TransferDataFromWindow() override;

  private:
    // Ctrl+Return sends; Escape is the dialog's own: "取消".
    void OnCharHook(wxKeyEvent& event);
    void OnSendFile(wxCommandEvent& event);
    // Files chosen or dropped are sent at once.
    void OfferAndClose(std::optional<std::vector<std::wstring>> chosen);

    wxTextCtrl* message_edit_ = nullptr;
    wxStaticText* recipient_ = nullptr;
    std::wstring message_text_;
    std::vector<std::wstring> files_;
    bool files_chosen_ = false;
    FileChooser chooser_;
    FileChooser folder_chooser_;
};

}  // namespace veltra
