// The main window's history: the last day of it at the top of the log, and the history window.

#include <wx/settings.h>

#include <utility>
#include <vector>

#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/presentation/history_entries.h"

namespace veltra {

void CMainDialog::ShowHistoryInLog() {
    if (!session_) {
        return;
    }
    const std::wstring text = HistoryLogText(
        LastHistoryDay([this](const HistoryQuery& query) { return session_->History(query); }));
    if (text.empty()) {
        return;
    }
    // Grey, so that what is new stands apart from what was before.
    log_->SetDefaultStyle(wxTextAttr(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT)));
    log_->AppendText(text);
    log_->SetDefaultStyle(wxTextAttr());  // the control's own colours again
    history_log_end_ = log_->GetLastPosition();
}

void CMainDialog::ShowHistory() {
    if (!session_) {
        return;
    }
    HistoryDialogParts parts;
    parts.read = [this](const HistoryQuery& query) {
        return session_ ? session_->History(query) : std::vector<HistoryRow>{};
    };
    parts.clear = [this] { return session_ && session_->ClearHistory(); };
    parts.open_folder = hooks_.open_folder;
    parts.confirm = [this](wxWindow* parent, const std::wstring& text) {
        return hooks_.confirm(parent, text, kClearHistoryCaption);
    };
    HistoryDialog dialog(this, std::move(parts));
    hooks_.run_history(dialog);
}

}  // namespace veltra
