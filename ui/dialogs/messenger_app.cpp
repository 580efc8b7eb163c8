#include "ui/dialogs/messenger_app.h"

#include <wx/evtloop.h>

#include <csignal>
#include <iostream>
#include <optional>

#include "common/settings_file.h"
#include "platform/control_socket.h"
#include "platform/utf8.h"
#include "ui/control/control_server.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

// A signal's handler has nothing to go by but the windows there are.
void EndMainDialogRun() {
    for (wxWindow* window : wxTopLevelWindows) {
        if (auto* dialog = dynamic_cast<CMainDialog*>(window)) {
            dialog->EndProgram();
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
                  const MainDialogHooks& hooks, const AppOptions& options,
                  const std::vector<std::string>& settings_problems) {
    CMainDialog dialog(settings, bind_address, hooks);
    dialog.ReportSettingsProblems(settings_problems);
    if (const std::optional<std::system_error> error = dialog.Start()) {
        hooks.show_message(nullptr, EngineStartFailedText(*error), kMainCaption);
        return 1;
    }
    // The user's running instance from now on; gone before the window is.
    std::unique_ptr<ControlServer> control;
    try {
        control = ControlServer::Start(
            [&dialog](std::shared_ptr<ControlCall> call) {
                dialog.CallAfter([&dialog, call] { dialog.TakeControlCall(call); });
            },
            platform::ControlFolder());
    } catch (const std::system_error& error) {
        std::cerr << "veltra: no control socket: " << error.what() << '\n';
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
    if (!options.files.empty()) {
        std::vector<std::wstring> files;
        for (const std::string& file : options.files) {
            files.push_back(platform::Utf8ToWide(file));
        }
        dialog.CallAfter([&dialog, files] { dialog.ComposeFiles(files); });
    }
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
    // The owner's name and the user's file, before any thread runs.
    settings_problems_ = LoadSettingsFile(ProcessSettings());
    for (const std::string& problem : settings_problems_) {
        std::cerr << "veltra: " << problem << '\n';
    }
    EndRunOnRequest(*this);
    return true;
}

int CMessengerApp::OnRun() {
    return RunMainDialog(ProcessSettings(), kEveryLocalAddress, DefaultMainDialogHooks(), options_,
                         settings_problems_);
}

}  // namespace veltra
