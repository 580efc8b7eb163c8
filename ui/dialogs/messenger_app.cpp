#include "ui/dialogs/messenger_app.h"

#include <optional>

#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {

int RunMainDialog(const Settings& settings, std::uint32_t bind_address,
                  const MainDialogHooks& hooks) {
    CMainDialog dialog(settings, bind_address, hooks);
    if (const std::optional<std::system_error> error = dialog.Start()) {
        hooks.show_message(nullptr, EngineStartFailedText(*error), kMainCaption);
        return 1;
    }
    dialog.ShowModal();
    return 0;
}

bool CMessengerApp::OnInit() {
    // main answered the command line before the toolkit started (app_options.h), so the
    // toolkit's own option parsing is left out.
    SetAppName("veltra");
    LoadDialogResources();
    ProcessSettings();  // reads the owner's name before any thread runs
    return true;
}

int CMessengerApp::OnRun() {
    return RunMainDialog(ProcessSettings(), kEveryLocalAddress, DefaultMainDialogHooks());
}

}  // namespace veltra
