// veltra: the dialogs. The command line is answered before the toolkit starts, so that --help
// and --version need no display and an unknown option is not left to the toolkit.

#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"
#include "ui/control/control_client.h"
#include "ui/dialogs/app_options.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/messenger_app.h"

wxIMPLEMENT_APP_NO_MAIN(veltra::CMessengerApp);

namespace {

// How long the running instance may take to answer show or compose.
constexpr std::chrono::seconds kInstanceWait{10};

// The running instance's working folder is not ours: files go by their absolute paths.
void MakeAbsolute(std::vector<std::string>& files) {
    for (std::string& file : files) {
        std::error_code ignored;
        const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
        if (!absolute.empty()) {
            file = absolute.string();
        }
    }
}

// A message box before the toolkit's application exists: GTK's own.
void ShowMessage(const std::wstring& text) {
    const std::string utf8 = veltra::platform::WideToUtf8(text);
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                            GTK_BUTTONS_OK, "%s", utf8.c_str());
    gtk_window_set_title(GTK_WINDOW(box),
                         veltra::platform::WideToUtf8(veltra::kMainCaption).c_str());
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

// The user's running instance raises its window, or opens compose with the files: its exit
// status, or nothing when none runs and this process is to become it.
std::optional<int> HandToRunningInstance(const veltra::AppOptions& options) {
    veltra::ControlRequest request;
    request.command =
        options.files.empty() ? veltra::ControlCommand::kShow : veltra::ControlCommand::kCompose;
    request.paths = options.files;
    std::optional<veltra::ControlExchange> exchange = veltra::ControlExchange::Ask(request);
    if (!exchange) {
        return std::nullopt;
    }
    const std::optional<veltra::ControlReply> reply = exchange->Next(kInstanceWait);
    if (!reply || reply->kind != veltra::ControlReply::Kind::kDone) {
        std::cerr << "veltra: the running instance did not answer\n";
        return 1;
    }
    if (reply->error == veltra::kNoWindowError) {
        std::cerr << "veltra: " << reply->error << '\n';
        ShowMessage(veltra::kConsoleRunsText);
    } else if (!reply->error.empty()) {
        std::cerr << "veltra: " << reply->error << '\n';
    }
    return reply->status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    veltra::AppOptions options;
    if (const std::optional<int> status =
            veltra::AnswerCommandLine(args, std::cout, std::cerr, options)) {
        return *status;
    }
    MakeAbsolute(options.files);
    // Asked first, and said plainly: without a display the toolkit would end the process with
    // a signal of its own.
    if (!gtk_init_check(&argc, &argv)) {
        std::cerr << "veltra: cannot open the display (is DISPLAY or WAYLAND_DISPLAY set?); "
                     "veltra-console runs without one\n";
        return 1;
    }
    // One instance per user: a second one hands its work to the first, which owns the port. An
    // autostart finding Veltra running leaves it as it is.
    if (options.start_hidden && options.files.empty()) {
        if (veltra::InstanceRuns()) {
            return 0;
        }
    } else if (const std::optional<int> status = HandToRunningInstance(options)) {
        return *status;
    }
    // The toolkit takes the application object over and deletes it when it ends.
    wxApp::SetInstance(std::make_unique<veltra::CMessengerApp>(options).release());
    return wxEntry(argc, argv);
}
