// Writes pictures of the dialogs for the documentation: the main dialog in portrait and in
// landscape with two users listed and a received message in the log, and the compose dialog.
// The worker threads' messages are posted exactly as the messenger posts them; only the network
// is left out. Run it through take_screenshots.sh.

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/text.h"
#include "event_pump.h"
#include "lan_peers.h"
#include "platform/socket.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/main_dialog.h"

namespace veltra {
namespace {

// The client area as the screen shows it.
bool Capture(wxWindow& window, const wxString& path) {
    window.Raise();
    window.Refresh();
    window.Update();
    testing::PumpPending(400);
    const wxSize size = window.GetClientSize();
    wxBitmap bitmap(size);
    {
        // Read from the window itself: a screen DC would leave the display frozen for the
        // windows shown after it.
        wxMemoryDC memory(bitmap);
        wxClientDC client(&window);
        memory.Blit(0, 0, size.x, size.y, &client, 0, 0);
    }
    const bool saved = bitmap.ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG);
    std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", path.utf8_str().data(), size.x,
                size.y);
    return saved;
}

// A main dialog with two users listed and one message received. Portrait: as wide as the
// templates' widest control, and taller than wide; else the 320 x 240 dialog units it opens with.
std::unique_ptr<CMainDialog> ShowMainDialog(const Settings& settings, testing::LanPeers& peers,
                                            bool portrait) {
    MainDialogHooks hooks = DefaultMainDialogHooks();
    hooks.play_sound = [] {};
    // A private X server has no window manager: the window is never active, and the toolkit
    // cannot set an urgency hint on it. The pictures show the log, not the notice.
    hooks.notify = [](wxTopLevelWindow&, const ArrivalNotice&) {};
    auto dialog =
        std::make_unique<CMainDialog>(settings, platform::InetAddr(testing::kDialogAddress), hooks);
    if (dialog->Start()) {
        return nullptr;
    }
    // Sized before it is shown: the first size event after the start picks the layout.
    if (portrait) {
        const int width = dialog->ConvertDialogToPixels(wxSize(320, 0)).x;
        dialog->SetClientSize(width, width + width / 8);
    }
    dialog->Move(0, 0);
    dialog->Show();

    // Two users on loopback addresses of the program's own network namespace.
    peers.Announce("127.0.0.17", WideToAnsi(L"李华"), "lihua-laptop");
    peers.Announce("127.0.0.23", WideToAnsi(L"小明"), "xiaoming-pc");
    dialog->Post(MessageReceived{WideToAnsi(L"李华"), "lihua-laptop",
                                 platform::InetAddr("127.0.0.17"),
                                 WideToAnsi(L"晚上一起吃饭吗？\r\n七点，老地方。")});
    testing::PumpUntil([&] { return dialog->UserList()->GetItemCount() == 2; });
    return dialog;
}

int TakeScreenshots(const wxString& folder) {
    LoadDialogResources();
    testing::LanPeers peers;
    Settings settings;
    settings.broadcast_list = AnsiToWide(testing::kWatcherAddress);
    bool ok = true;
    for (const bool portrait : {false, true}) {
        auto dialog = ShowMainDialog(settings, peers, portrait);
        if (!dialog) {
            return 1;
        }
        const wxString name = portrait ? "/main-portrait.png" : "/main-landscape.png";
        ok = Capture(*dialog, folder + name) && ok;
        dialog->ShutdownMessenger();
        dialog->Hide();
    }
    {
        CInputMsgDialog compose(nullptr, [](wxWindow*) { return std::nullopt; });
        compose.Move(0, 0);
        compose.MessageEdit()->SetValue(L"好的，七点见！\n我带上照片。");
        compose.Show();
        ok = Capture(compose, folder + "/compose.png") && ok;
        compose.Hide();
    }
    return ok ? 0 : 1;
}

class ScreenshotApp : public wxApp {
  public:
    bool OnInit() override { return true; }
    int OnRun() override { return TakeScreenshots(argc > 1 ? argv[1] : wxString(".")); }
};

}  // namespace
}  // namespace veltra

wxIMPLEMENT_APP(veltra::ScreenshotApp);
