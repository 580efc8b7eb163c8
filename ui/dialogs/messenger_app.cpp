#include "ui/dialogs/messenger_app.h"

#include <wx/evtloop.h>

#include <optional>

#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {

int RunMainDialog(const Settings& settings, std::uint32_t bind_address,
                  const MainDialogHooks& hooks, const AppOptions& options) {
    CMainDialog dialog(settings, bind_address, hooks);
    if (const std::optional<std::system_error> error = dialog.Start()) {
        hooks.show_message(nullptr, EngineStartFailedText(*error), kMainCaption);
        return 1;
    }
    wxGUIEventLoop loop;
    bool running = false;
    bool ended = false;
    dialog.SetEndAction([&] {
        ended = true;
        if (running) {
            // From inside the loop, or from a dialog's loop within it, which ends first.
            loop.ScheduleExit();
        }
    });
    dialog.ShowAtStart(options.start_hidden);
    if (!ended) {
        running = true;
        loop.Run();
    }
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
    return RunMainDialog(ProcessSettings(), kEveryLocalAddress, DefaultMainDialogHooks(), options_);
}

}  // namespace veltra
