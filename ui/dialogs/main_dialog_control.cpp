// The main window's part in the requests that come through the control socket, and the compose
// dialog of files handed over from outside.

#include <utility>

#include "platform/utf8.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra {

void CMainDialog::TakeControlCall(const std::shared_ptr<ControlCall>& call) {
    if (!desk_ || shut_down_) {
        return;  // the asker hears the connection close
    }
    if (desk_->Handle(call, rows_)) {
        return;
    }
    const ControlRequest& request = call->Request();
    if (request.command == ControlCommand::kShow) {
        ShowWindow();
        call->Reply(DoneReply(0));
        return;
    }
    std::vector<std::wstring> paths;
    for (const std::string& path : request.paths) {
        paths.push_back(platform::Utf8ToWide(path));
    }
    // The asker is done once the dialog is up; the dialog runs modally after this handler.
    call->Reply(DoneReply(0));
    CallAfter([this, paths = std::move(paths)] { ComposeFiles(paths); });
}

void CMainDialog::ComposeFiles(const std::vector<std::wstring>& paths) {
    if (!session_ || paths.empty()) {
        return;
    }
    ComposeFilesDialog compose(this, paths, rows_);
    compose_files_ = &compose;
    const int result = hooks_.run_compose_files(compose);
    compose_files_ = nullptr;
    const std::vector<PeerRow> recipients = compose.Recipients();
    if (result != wxID_OK || !session_ || recipients.empty()) {
        return;
    }
    OfferTo(recipients, compose.Paths());
}

}  // namespace veltra
