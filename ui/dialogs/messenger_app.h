#pragma once
// The application object: the main dialog run modally; the process ends when the dialog closes.

#include <wx/app.h>

#include <cstdint>

#include "common/settings.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra {

// Runs the main dialog modally until it closes; the process exit code. When the messenger cannot
// start on bind_address (its port is taken), says so in a message box and returns 1 without
// showing the dialog.
int RunMainDialog(const Settings& settings, std::uint32_t bind_address,
                  const MainDialogHooks& hooks);

// From now on a termination signal (SIGTERM: a shutdown or a logout; SIGHUP; SIGINT: Ctrl+C in
// the terminal that started it) and the end of the desktop session end the main dialog's run the
// way Ctrl+Q does, on the UI thread, so the peers hear the goodbye.
void EndRunOnRequest(wxApp& app);

class CMessengerApp : public wxApp {
  public:
    bool OnInit() override;
    // The modal run takes the place of the main loop, so its end is the end of the process.
    int OnRun() override;
};

}  // namespace veltra
