// Writes pictures of the dialogs for the documentation: the main dialog with two users listed and
// a received message in the log, in landscape at the size it opens with (a file arriving, so that
// the progress bar shows), in portrait, maximised
// on a 1280 x 800 screen, tall, and as small as it goes; the list with the user's own row marked;
// the compose dialog for one user; the settings dialog; the log opening with the last day's
// history and the history window, over a history of invented rows; and the tray icon's menu,
// popped up as the tray host opens it.
// The worker threads' messages are posted exactly as the messenger posts them; only the network
// is left out. Run it through take_screenshots.sh.

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/text.h"
#include "event_pump.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "lan_peers.h"
#include "platform/socket.h"
#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/history_dialog.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/settings_dialog.h"
#include "ui/presentation/peer_rows.h"

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

// A part of the screen as it shows now.
wxImage ScreenArea(const wxRect& area) {
    wxBitmap bitmap(area.GetSize());
    {
        wxMemoryDC memory(bitmap);
        wxScreenDC screen;
        memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
    }
    return bitmap.ConvertToImage();
}

// The smallest rectangle, from corner on, that holds every pixel of image other than the empty
// screen's colour (that of its last pixel).
wxRect DrawnArea(const wxImage& image, const wxPoint& corner) {
    const int last_x = image.GetWidth() - 1;
    const int last_y = image.GetHeight() - 1;
    const auto empty = [&](int x, int y) {
        return image.GetRed(x, y) == image.GetRed(last_x, last_y) &&
               image.GetGreen(x, y) == image.GetGreen(last_x, last_y) &&
               image.GetBlue(x, y) == image.GetBlue(last_x, last_y);
    };
    wxRect drawn;
    for (int y = corner.y; y < image.GetHeight(); ++y) {
        for (int x = corner.x; x < image.GetWidth(); ++x) {
            if (!empty(x, y)) {
                drawn.Union(wxRect(x, y, 1, 1));
            }
        }
    }
    return drawn;
}

// The tray icon the pictures have: the menu is what they show.
class PictureTray : public TrayIcon {
  public:
    void ShowUnread(bool /*unread*/) override {}
};

// The tray icon's menu as the tray host opens it: the very menu of the main window, popped up
// over an empty part of the screen (a private X server has no tray host), with the window hidden.
bool CaptureTrayMenu(CMainDialog& dialog, const wxString& path) {
    wxMenu* menu = dialog.TrayMenu();
    if (menu == nullptr) {
        return false;
    }
    dialog.Hide();
    // A small window to open the menu from, clear of where the menu opens.
    wxFrame anchor(nullptr, wxID_ANY, "", wxPoint(0, 0), wxSize(8, 8), wxFRAME_NO_TASKBAR);
    anchor.Show();
    testing::PumpPending(400);
    const wxPoint menu_corner(16, 16);
    bool saved = false;
    bool closed = false;
    wxTimer taken;
    taken.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        // Read once: the screen read first is what later reads return.
        const wxImage open = ScreenArea(wxRect(0, 0, 480, 400));
        const wxRect drawn = DrawnArea(open, menu_corner);
        saved = !drawn.IsEmpty() && open.GetSubImage(drawn).SaveFile(path, wxBITMAP_TYPE_PNG);
        std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", path.utf8_str().data(),
                    drawn.width, drawn.height);
        wxUIActionSimulator().Char(WXK_ESCAPE);  // the menu grabs the keyboard: this closes it
    });
    // Opened by a real click, as a tray host opens it: the toolkit pops a menu up for the input
    // event that asks for it.
    anchor.Bind(wxEVT_RIGHT_DOWN, [&](wxMouseEvent&) {
        taken.StartOnce(600);
        anchor.PopupMenu(menu, anchor.ScreenToClient(menu_corner));
        closed = true;
    });
    wxUIActionSimulator click;
    click.MouseMove(anchor.ClientToScreen(wxPoint(4, 4)));
    click.MouseClick(wxMOUSE_BTN_RIGHT);
    testing::PumpUntil([&] { return closed; });
    anchor.Hide();
    return saved;
}

// The client size of a picture, for the dialog as it is built.
using ClientSize = std::function<wxSize(const CMainDialog& dialog)>;

// A main dialog with two users listed (and rows in all, its own among them when it hears
// itself) and one message received; with receiving, a file from that user has come 60 % of its
// way.
std::unique_ptr<CMainDialog> ShowMainDialog(const Settings& settings, testing::LanPeers& peers,
                                            const ClientSize& client_size, int rows = 2,
                                            bool receiving = false) {
    MainDialogHooks hooks = DefaultMainDialogHooks();
    hooks.play_sound = [] {};
    // A clock that moves by a second each time the dialog reads it, so the rate is a round one.
    hooks.tick_ms = [now = std::uint32_t{0}]() mutable { return now += 1000; };
    // A private X server has no desktop to notify. The pictures show the log, not the notice.
    hooks.notify = [](wxTopLevelWindow&, const ArrivalNotice&) {};
    hooks.create_tray = [](wxMenu&, int) { return std::make_unique<PictureTray>(); };
    auto dialog =
        std::make_unique<CMainDialog>(settings, platform::InetAddr(testing::kDialogAddress), hooks);
    if (dialog->Start()) {
        return nullptr;
    }
    // Sized before it is shown: the first size event after the start picks the layout.
    dialog->SetClientSize(client_size(*dialog));
    dialog->Move(0, 0);
    dialog->Show();

    // Two users on loopback addresses of the program's own network namespace.
    peers.Announce("127.0.0.17", WideToAnsi(L"李华"), "lihua-laptop");
    peers.Announce("127.0.0.23", WideToAnsi(L"小明"), "xiaoming-pc");
    dialog->Post(MessageReceived{WideToAnsi(L"李华"), "lihua-laptop",
                                 platform::InetAddr("127.0.0.17"),
                                 WideToAnsi(L"晚上一起吃饭吗？\r\n七点，老地方。")});
    if (receiving) {
        dialog->Post(BatchStarted{WideToAnsi(L"李华"), platform::InetAddr("127.0.0.17")});
        dialog->Post(FileStarted{WideToAnsi(L"照片.zip"), 5000000});
        dialog->Post(FileProgress{3000000});
    }
    testing::PumpUntil([&] {
        return dialog->UserList()->GetItemCount() == rows &&
               (!receiving || dialog->Progress()->GetValue() == 60);
    });
    return dialog;
}

// A history of invented rows, on one day, in the history file the dialogs open.
void KeepInventedHistory() {
    HistoryStore store(*DefaultHistoryFile());
    const std::int64_t day = 1796688000000;  // 2026-12-08 00:00 UTC
    const auto at = [day](int hour, int minute) {
        return day + (static_cast<std::int64_t>(hour) * 60 + minute) * 60000;
    };
    const auto row = [](HistoryKind kind, std::int64_t time, const char* peer, const char* address,
                        const char* host) {
        HistoryRow kept;
        kept.kind = kind;
        kept.time_ms = time;
        kept.peer_name = peer;
        kept.address = address;
        kept.host = host;
        return kept;
    };
    HistoryRow morning =
        row(HistoryKind::kMessageReceived, at(9, 14), "李华", "127.0.0.17", "lihua-laptop");
    morning.text = "早上好！季度报表发你了。";
    HistoryRow entry =
        row(HistoryKind::kEntryReceived, at(9, 15), "李华", "127.0.0.17", "lihua-laptop");
    entry.name = "季度报表.xlsx";
    entry.size = 48213;
    entry.outcome = std::string(outcome::kStored);
    entry.stored_path = "/home/wangwei/Received/季度报表.xlsx";
    HistoryRow batch =
        row(HistoryKind::kBatchReceived, at(9, 15), "李华", "127.0.0.17", "lihua-laptop");
    batch.count = 1;
    HistoryRow thanks =
        row(HistoryKind::kMessageSent, at(9, 20), "李华", "127.0.0.17", "lihua-laptop");
    thanks.text = "收到，谢谢！";
    HistoryRow photos =
        row(HistoryKind::kEntryReceived, at(13, 2), "小明", "127.0.0.23", "xiaoming-pc");
    photos.name = "团建照片";
    photos.folder = true;
    photos.outcome = std::string(outcome::kStored);
    photos.stored_path = "/home/wangwei/Received/团建照片";
    HistoryRow lost =
        row(HistoryKind::kEntryReceived, at(13, 3), "小明", "127.0.0.23", "xiaoming-pc");
    lost.name = "视频.mp4";
    lost.outcome = std::string(outcome::kFailed);
    lost.reason = "connection_lost";
    HistoryRow offered =
        row(HistoryKind::kEntryOffered, at(16, 40), "小明", "127.0.0.23", "xiaoming-pc");
    offered.name = "会议纪要.docx";
    offered.outcome = std::string(outcome::kSent);
    offered.stored_path = "/home/wangwei/文档/会议纪要.docx";
    HistoryStore::Batch written = store.Begin();
    for (const HistoryRow& kept : {morning, entry, batch, thanks, photos, lost, offered}) {
        written.Append(kept);
    }
    written.Commit();
}

struct MainPicture {
    const char* file;
    ClientSize client_size;
    bool receiving = false;
};

const MainPicture kMainPictures[] = {
    // The 320 x 240 dialog units it opens with.
    {"/main-landscape.png", [](const CMainDialog& dialog) { return dialog.GetClientSize(); }, true},
    // As wide as the templates' widest control, and taller than wide.
    {"/main-portrait.png",
     [](const CMainDialog& dialog) {
         const int width = dialog.ConvertDialogToPixels(wxSize(320, 0)).x;
         return wxSize(width, width + width / 8);
     }},
    {"/main-maximised.png", [](const CMainDialog&) { return wxSize(1280, 800); }},
    {"/main-tall.png", [](const CMainDialog&) { return wxSize(540, 1000); }},
    {"/main-small.png", [](const CMainDialog& dialog) { return dialog.GetMinClientSize(); }},
};

// The dialogs' history in a folder of the pictures' own, empty at first: the pictures show what
// they keep there, never the user's.
class PictureDataFolder {
  public:
    PictureDataFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "veltra-pictures-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("XDG_DATA_HOME", path_.c_str(), 1);
        }
    }
    PictureDataFolder(const PictureDataFolder&) = delete;
    PictureDataFolder& operator=(const PictureDataFolder&) = delete;
    ~PictureDataFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    bool Made() const { return !path_.empty(); }

  private:
    std::string path_;
};

int TakeScreenshots(const wxString& folder) {
    LoadDialogResources();
    const PictureDataFolder data;
    if (!data.Made()) {
        return 1;
    }
    testing::LanPeers peers;
    Settings settings;
    settings.broadcast_list = AnsiToWide(testing::kWatcherAddress);
    bool ok = true;
    for (const MainPicture& picture : kMainPictures) {
        auto dialog = ShowMainDialog(settings, peers, picture.client_size, 2, picture.receiving);
        if (!dialog) {
            return 1;
        }
        ok = Capture(*dialog, folder + picture.file) && ok;
        dialog->ShutdownMessenger();
        dialog->Hide();
    }
    {
        // The list names the dialog's own address, so it hears itself: the row of this user on
        // this host (take_screenshots.sh names it) is marked.
        Settings own = settings;
        own.user_name = L"王伟";
        own.broadcast_list += L";" + AnsiToWide(testing::kDialogAddress);
        auto dialog = ShowMainDialog(own, peers, kMainPictures[0].client_size, 3);
        if (!dialog) {
            return 1;
        }
        ok = Capture(*dialog, folder + "/main-own-row.png") && ok;
        dialog->ShutdownMessenger();
        dialog->Hide();
    }
    {
        // An invented user: the picture program sends nothing to anyone.
        const PeerRow recipient{L"张三 (192.168.1.20|zhangsan-pc)",
                                platform::InetAddr("192.168.1.20"), L"张三"};
        CInputMsgDialog compose(
            nullptr, [](wxWindow*) { return std::nullopt; }, RecipientLine({recipient}));
        compose.Move(0, 0);
        compose.MessageEdit()->SetValue(L"好的，七点见！\n我带上照片。");
        compose.Show();
        ok = Capture(compose, folder + "/compose.png") && ok;
        compose.Hide();
    }
    {
        // Files from the file manager, the recipients being picked (invented users again).
        const std::vector<PeerRow> rows{
            {L"张三 (192.168.1.20|zhangsan-pc)", platform::InetAddr("192.168.1.20"), L"张三"},
            {L"李四 (192.168.1.23|lisi-laptop)", platform::InetAddr("192.168.1.23"), L"李四"},
            {L"王伟 (192.168.1.7|wangwei-pc)（本机）", platform::InetAddr("192.168.1.7"), L"王伟"}};
        ComposeFilesDialog compose(nullptr, {L"/home/wangwei/照片/聚会.jpg", L"/home/wangwei/报告"},
                                   rows);
        compose.RecipientList()->Check(0);
        compose.RecipientList()->Check(1);
        compose.Move(0, 0);
        compose.Show();
        ok = Capture(compose, folder + "/compose-files.png") && ok;
        compose.Hide();
    }
    {
        SettingsDialog edit(nullptr, L"王伟", L"10.1.2.3;10.1.9.255", L"wangwei");
        edit.Move(0, 0);
        edit.Show();
        ok = Capture(edit, folder + "/settings.png") && ok;
        edit.Hide();
    }
    KeepInventedHistory();
    {
        auto dialog = ShowMainDialog(settings, peers, kMainPictures[0].client_size);
        if (!dialog) {
            return 1;
        }
        ok = Capture(*dialog, folder + "/main-history.png") && ok;
        dialog->ShutdownMessenger();
        dialog->Hide();
    }
    {
        HistoryStore store(*DefaultHistoryFile());
        HistoryDialogParts parts;
        parts.read = [&store](const HistoryQuery& query) { return store.Read(query); };
        parts.clear = [] { return false; };
        parts.open_folder = [](const std::wstring&) { return true; };
        parts.confirm = [](wxWindow*, const std::wstring&) { return false; };
        HistoryDialog history(nullptr, std::move(parts));
        history.Move(0, 0);
        history.Show();
        // The received photos selected: their folder can be opened.
        history.List()->SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        ok = Capture(history, folder + "/history.png") && ok;
        history.Hide();
    }
    {
        // Last: reading the screen itself leaves it frozen for the windows shown after it.
        auto dialog = ShowMainDialog(settings, peers, kMainPictures[0].client_size);
        if (!dialog) {
            return 1;
        }
        ok = CaptureTrayMenu(*dialog, folder + "/tray-menu.png") && ok;
        dialog->ShutdownMessenger();
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
