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
#include "engine/window_messages.h"
#include "event_pump.h"
#include "fake_backend.h"
#include "test_records.h"
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

void Post(CMainDialog& dialog, platform::WindowMessage message) {
    dialog.PostMessage(std::move(message));
}

// A main dialog with two users listed and one message received. Portrait: as wide as the
// templates' widest control, and taller than wide; else the 320 x 240 dialog units it opens with.
std::unique_ptr<CMainDialog> ShowMainDialog(const Settings& settings,
                                            testing::BackendRecord& record, bool portrait) {
    MainDialogHooks hooks = DefaultMainDialogHooks();
    hooks.play_sound = [] {};
    auto dialog =
        std::make_unique<CMainDialog>(settings, testing::FakeBackendFactory(record), hooks);
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

    Post(*dialog, {WM_PEERS_CHANGED, 0, 0, nullptr});
    Post(*dialog, {WM_MESSAGE_RECEIVED, 0, 0,
                   testing::MakeMessage(WideToAnsi(L"李华"), "192.168.1.17", "lihua-laptop",
                                        WideToAnsi(L"晚上一起吃饭吗？\r\n七点，老地方。"))});
    testing::PumpUntil([&] { return dialog->UserList()->GetItemCount() == 2; });
    return dialog;
}

int TakeScreenshots(const wxString& folder) {
    LoadDialogResources();
    testing::BackendRecord record;
    // Ascending key order, as the peer table hands it out: bytes of code page 936, where
    // 李 (C0 EE) sorts before 小 (D0 A1).
    record.peers = {testing::MakePeer(WideToAnsi(L"李华"), "192.168.1.17", "lihua-laptop"),
                    testing::MakePeer(WideToAnsi(L"小明"), "192.168.1.23", "xiaoming-pc")};
    const Settings settings;
    bool ok = true;
    for (const bool portrait : {false, true}) {
        auto dialog = ShowMainDialog(settings, record, portrait);
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
