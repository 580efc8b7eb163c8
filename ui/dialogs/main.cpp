// veltra: the dialogs. The command line is answered before the toolkit starts, so that --help
// and --version need no display and an unknown option is not left to the toolkit.

#include <gtk/gtk.h>

#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "ui/dialogs/app_options.h"
#include "ui/dialogs/messenger_app.h"

wxIMPLEMENT_APP_NO_MAIN(veltra::CMessengerApp);

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    veltra::AppOptions options;
    if (const std::optional<int> status =
            veltra::AnswerCommandLine(args, std::cout, std::cerr, options)) {
        return *status;
    }
    // Asked first, and said plainly: without a display the toolkit would end the process with
    // a signal of its own.
    if (!gtk_init_check(&argc, &argv)) {
        std::cerr << "veltra: cannot open the display (is DISPLAY or WAYLAND_DISPLAY set?); "
                     "veltra-console runs without one\n";
        return 1;
    }
    // The toolkit takes the application object over and deletes it when it ends.
    wxApp::SetInstance(std::make_unique<veltra::CMessengerApp>(options).release());
    return wxEntry(argc, argv);
}
