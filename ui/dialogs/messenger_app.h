#pragma once
// The application object: the main window and the program's run, which ends when the program
// ends (quit, or the window closed with no tray), not when the window is hidden.

#include <wx/app.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/settings.h"
#include "ui/dialogs/app_options.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra {

// Runs the main window until the program ends; the process exit code. The window opens unless
// options ask to start hidden and the tray has the icon. When the messenger cannot start on
// bind_address (its port is taken), says so in a message box and returns 1 without showing the
// window. The problems of the settings file read at start go to the log.
int RunMainDialog(const Settings& settings, std::uint32_t bind_address,
                  const MainDialogHooks& hooks, const AppOptions& options = {},
                  const std::vector<std::string>& settings_problems = {});

// From now on a termination signal (SIGTERM: a shutdown or a logout; SIGHUP; SIGINT: Ctrl+C in
// the terminal that started it) and the end of the desktop session end the main dialog's run the
// way Ctrl+Q does, on the UI thread, so the peers hear the goodbye.
void EndRunOnRequest(wxApp& app);

class CMessengerApp : public wxApp {
  public:
    explicit CMessengerApp(AppOptions options = {}) : options_(options) {}

    bool OnInit() override;
    // The main window's run takes the place of the main loop, so its end is the end of the
    // process.
    int OnRun() override;

  private:
    AppOptions options_;
    std::vector<std::string> settings_problems_;
};

}  // namespace veltra
