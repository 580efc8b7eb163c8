#pragma once
// The settings dialog "设置": the user name that every datagram carries (empty: the account's)
// and the further hosts an announcement goes to. It only edits; the main dialog saves the file
// and hands the values to the running messenger.

#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>

namespace veltra {

class SettingsDialog : public wxDialog {
  public:
    // name and broadcast as the file has them; account_name shows in an empty name field.
    SettingsDialog(wxWindow* parent, const std::wstring& name, const std::wstring& broadcast,
                   const std::wstring& account_name);

    // The OK button: true when the name can go on the wire; otherwise the dialog says why below
    // the field and stays open.
    bool TryAccept();

    std::wstring Name() const;
    std::wstring Broadcast() const;
    wxTextCtrl* NameField() const { return name_; }
    wxTextCtrl* BroadcastField() const { return broadcast_; }
    // Empty while nothing is refused.
    std::wstring Refusal() const;

  private:
    wxTextCtrl* name_ = nullptr;
    wxTextCtrl* broadcast_ = nullptr;
    wxStaticText* refusal_ = nullptr;
};

}  // namespace veltra
