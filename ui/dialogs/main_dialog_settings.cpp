// The main window's settings: the dialog that edits them, the file they are saved to, and the
// running messenger that takes them at once.

#include <system_error>

#include "common/settings_file.h"
#include "platform/utf8.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra {

void CMainDialog::EditSettings() {
    // The file as it is now, so that an empty name stays empty (the account's) when saved again.
    const SettingsFileValues current = ReadSettingsFile().values;
    SettingsDialog dialog(this, current.name.value_or(L""),
                          current.broadcast.value_or(settings_.broadcast_list),
                          EffectiveUserName(L""));
    if (hooks_.run_settings(dialog) != wxID_OK) {
        return;
    }
    try {
        SaveSettingsFile(dialog.Name(), dialog.Broadcast());
    } catch (const std::system_error& error) {
        // This run takes them all the same: the user asked for them.
        hooks_.show_message(this, kCannotSaveSettingsText + platform::Utf8ToWide(error.what()),
                            kSettingsCaption);
    }
    if (session_) {
        session_->ChangeIdentity(dialog.Name(), dialog.Broadcast());
    }
}

void CMainDialog::ReportSettingsProblems(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) {
        AppendToLog(kSettingsFileProblemText + platform::Utf8ToWide(problem) + L"\r\n");
    }
}

}  // namespace veltra
