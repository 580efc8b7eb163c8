// Log growth in the dialog's own control: N progress entries (10,000, 50,000, 100,000) appended
// with AppendText to a multi-line read-only wxTextCtrl, as the main dialog's log does, each run
// into an empty control, the control shown and the pending events handled at the end. Needs a
// display: run it under tests/ui/dialogs/with_display.sh (Xvfb). A run that passes the time
// limit ends the series, so the benchmark stays bounded even if the control is slow.
//   wx_log_bench [LIMIT_SECONDS]   (default 120 per run)
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/presentation/log_entries.h"

namespace {

class LogBenchApp : public wxApp {
  public:
    // The time limit is the only argument: the toolkit's own option parsing is not wanted.
    bool OnInit() override { return true; }

    // Runs the series and ends the application without entering its event loop.
    int OnRun() override {
        const double limit = argc > 1 ? std::atof(argv[1].utf8_str()) : 120.0;
        auto* frame = new wxFrame(nullptr, wxID_ANY, "log");  // owned by the toolkit
        auto* log = new wxTextCtrl(frame, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                   wxSize(480, 320), wxTE_MULTILINE | wxTE_READONLY);
        frame->Show();
        Yield();
        std::printf("%8s %12s %14s\n", "entries", "seconds", "us per entry");
        for (const int entries : {10000, 50000, 100000}) {
            log->Clear();
            Yield();
            veltra::TransferProgress progress;
            const std::uint64_t size = std::uint64_t{1} << 30;
            progress.Start(size, 0);
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < entries; ++i) {
                const std::uint64_t received = (static_cast<std::uint64_t>(i) + 1) * 65536 % size;
                log->AppendText(
                    progress.Progress(received, static_cast<std::uint32_t>(i + 1)).entry);
            }
            Yield();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%8d %12.3f %14.2f\n", entries, seconds, seconds * 1e6 / entries);
            std::fflush(stdout);
            if (seconds > limit) {
                std::printf("stopped: the run took longer than %.0f s\n", limit);
                break;
            }
        }
        frame->Destroy();
        return 0;
    }

  private:
    void Yield() {
        for (int i = 0; i < 10 && Pending(); ++i) {
            Dispatch();
        }
        wxYield();
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(LogBenchApp);

int main(int argc, char** argv) {
    return wxEntry(argc, argv);
}
