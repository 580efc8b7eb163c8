#include "ui/dialogs/messenger_app.h"

#include <csignal>
#include <optional>

#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

// A signal's handler has nothing to go by but the windows there are.
void EndMainDialogRun() {
    for (wxWindow* window : wxTopLevelWindows) {
        if (auto* dialog = dynamic_cast<CMainDialog*>(window)) {
            dialog->EndRun();
        }
    }
}

// The toolkit calls it on the UI thread, after the signal has come: any call may be made here.
void EndOnSignal(int /*signal*/) {
    EndMainDialogRun();
}

}  // namespace

void EndRunOnRequest(wxApp& app) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        app.SetSignalHandler(signal, EndOnSignal);
    }
    app.Bind(wxEVT_END_SESSION, [](wxCloseEvent& /*event*/) { EndMainDialogRun(); });
}

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
    EndRunOnRequest(*this);
    return true;
}

int CMessengerApp::OnRun() {
    return RunMainDialog(ProcessSettings(), kEveryLocalAddress, DefaultMainDialogHooks());
}

}  // namespace veltra
