// The main window as a desktop user drives it: keys and the list's context menu (refresh,
// compose on Return, the end of the program on Ctrl+Q, SIGTERM or a logout; Escape and Return no
// longer end the window), the received folder, drops, the selection across rebuilds, and notices.

#include <gtest/gtest.h>
#include <wx/evtloop.h>
#include <wx/timer.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "main_dialog_fixture.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/udp_peer.h"
#include "ui/dialogs/messenger_app.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using testing::User;

constexpr const char* kAlice = "127.0.0.11";
constexpr const char* kBob = "127.0.0.12";

void PressKey(wxWindow& window, int key, int modifiers = wxMOD_NONE) {
    wxKeyEvent press(wxEVT_CHAR_HOOK);
    press.m_keyCode = key;
    press.m_controlDown = (modifiers & wxMOD_CONTROL) != 0;
    press.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(press);
}

class MainDialogKeysTest : public testing::MainDialogTest {
  protected:
    void SetUp() override {
        dialog_ = StartedDialog();
        ShowRows(*dialog_, {{kAlice, "alice", "pc1"}, {kBob, "bob", "pc2"}}, 2);
    }
    void TearDown() override { dialog_->ShutdownMessenger(); }

    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(MainDialogKeysTest, F5AndTheMenusRefreshAskEveryPeerAgain) {
    PressKey(*dialog_, WXK_F5);
    EXPECT_EQ(Announcements(), 1);

    const std::unique_ptr<wxMenu> menu = dialog_->ListContextMenu();
    ASSERT_NE(menu->FindItem(IDM_REFRESH), nullptr);
    EXPECT_EQ(menu->GetLabelText(IDM_REFRESH), L"刷新");
    EXPECT_EQ(menu->GetLabelText(IDM_OPEN_RECEIVED_FOLDER), L"打开接收文件夹");
    wxCommandEvent chosen(wxEVT_MENU, IDM_REFRESH);
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(Announcements(), 1);
    EXPECT_EQ(compose_runs_, 0);
}

TEST_F(MainDialogKeysTest, ReturnOnASelectedRowComposesToThatUser) {
    PressKey(*dialog_, WXK_RETURN);  // nothing selected: nothing happens
    testing::PumpPending();
    EXPECT_EQ(compose_runs_, 0);

    dialog_->UserList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    script_ = {L"by key", wxID_OK, std::nullopt};
    PressKey(*dialog_, WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return compose_runs_ == 1; }));
    EXPECT_EQ(peers_.Texts(kAlice), std::vector<std::wstring>{L"by key"});  // rows: bob, alice
}

TEST_F(MainDialogKeysTest, EscapeAndReturnKeepTheWindowCtrlQEndsIt) {
    constexpr int kStillRunning = 4242;
    bool modal_after_keys = false;
    testing::WhenModal(*dialog_, [&] {
        PressKey(*dialog_, WXK_ESCAPE);
        PressKey(*dialog_, WXK_RETURN);
        testing::PumpPending();
        modal_after_keys = dialog_->IsModal();
        PressKey(*dialog_, 'Q', wxMOD_CONTROL);
        // Should Ctrl+Q not end the run, the test must still end.
        dialog_->CallAfter([this] {
            if (dialog_->IsModal()) {
                dialog_->EndModal(kStillRunning);
            }
        });
    });
    EXPECT_NE(dialog_->ShowModal(), kStillRunning);
    EXPECT_TRUE(modal_after_keys);
    // The messenger has ended with the window: a refresh sends nothing.
    dialog_->RefreshUsers();
    EXPECT_EQ(Announcements(300), 0);
}

// Whether the session said its goodbye to the watcher (the settings' list) since the last look.
bool SaidGoodbye(testing::LanPeers& peers) {
    for (const auto& packet : peers.Received(testing::kWatcherAddress)) {
        if (CommandNumber(packet->command) == CMD_DEPART) {
            return true;
        }
    }
    return false;
}

// Ends every modal run left, innermost first, should the request under test not end them.
class RunGuard {
  public:
    static constexpr int kStillRunning = 4242;
    RunGuard() {
        timer_.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            for (auto window = wxTopLevelWindows.rbegin(); window != wxTopLevelWindows.rend();
                 ++window) {
                auto* dialog = dynamic_cast<wxDialog*>(*window);
                if (dialog != nullptr && dialog->IsModal()) {
                    dialog->EndModal(kStillRunning);
                    return;
                }
            }
        });
        timer_.Start(5000);
    }

  private:
    wxTimer timer_;
};

// SIGTERM comes while the compose dialog runs inside the main dialog's run: the messenger says
// its goodbye, the compose dialog ends without sending, then the main dialog's run.
TEST_F(MainDialogKeysTest, ATerminationSignalEndsTheRunFromInsideComposeWithAGoodbye) {
    EndRunOnRequest(*wxTheApp);
    int compose_result = 0;
    answer_compose_ = [&compose_result](CInputMsgDialog& compose) {
        compose.MessageEdit()->SetValue(L"never sent");
        testing::WhenModal(compose, [] { std::raise(SIGTERM); });
        compose_result = compose.ShowModal();
        return compose_result;
    };
    testing::WhenModal(*dialog_, [this] { dialog_->TapUserList(0); });
    const RunGuard guard;
    EXPECT_EQ(dialog_->ShowModal(), wxID_CANCEL);
    EXPECT_EQ(compose_result, wxID_CANCEL);
    EXPECT_TRUE(SaidGoodbye(peers_));
    EXPECT_TRUE(peers_.Texts(kBob, 300).empty());
}

// The desktop session ends (a logout): the same end, with the same goodbye.
TEST_F(MainDialogKeysTest, TheEndOfTheDesktopSessionEndsTheRunWithAGoodbye) {
    EndRunOnRequest(*wxTheApp);
    testing::WhenModal(*dialog_, [] {
        wxCloseEvent end(wxEVT_END_SESSION);
        end.SetEventObject(wxTheApp);
        end.SetCanVeto(false);
        wxTheApp->ProcessEvent(end);
    });
    const RunGuard guard;
    EXPECT_EQ(dialog_->ShowModal(), wxID_CANCEL);
    EXPECT_TRUE(SaidGoodbye(peers_));
}

TEST_F(MainDialogKeysTest, TheMenuOpensTheReceivedFolderAndCreatesItFirst) {
    testing::TempFolder home;
    const std::filesystem::path folder = home.path() / "received";
    settings_.received_folder = platform::Path(folder.wstring() + L"/");
    wxCommandEvent chosen(wxEVT_MENU, IDM_OPEN_RECEIVED_FOLDER);
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(opened_folders_, std::vector<std::wstring>{folder.wstring() + L"/"});
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(dialog_->Log()->IsEmpty());

    folder_opens_ = false;  // no file manager: the log says so
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    EXPECT_EQ(dialog_->Log()->GetValue(), L"无法打开接收文件夹\r\n");
}

bool CancelEnabled(const CMainDialog& dialog) {
    const std::unique_ptr<wxMenu> menu = dialog.ListContextMenu();
    EXPECT_EQ(menu->GetLabelText(IDM_CANCEL_RECEIVING), L"取消接收");
    return menu->IsEnabled(IDM_CANCEL_RECEIVING);
}

TEST_F(MainDialogKeysTest, TheMenuCancelsTheBatchBeingReceivedAndIsEnabledOnlyThen) {
    testing::TempFolder home;
    settings_.received_folder = platform::Path((home.path() / "received").wstring() + L"/");
    EXPECT_FALSE(CancelEnabled(*dialog_));
    // The peer sends one chunk of the file and then nothing: only a cancel ends it soon.
    testing::FakePeer sender(testing::ServeThenStall(testing::Pattern(65536)));
    const std::string offer = std::to_string(PACKET_VERSION) +
                              ":7:bob:pc2:" + std::to_string(CMD_MESSAGE | OPT_ATTACHMENTS) + ":" +
                              '\0' + testing::Entry(0, "big.bin", 200000) + '\0';
    testing::UdpPeer(testing::kPeerAddress, 0)
        .Send(offer, platform::InetAddr(testing::kDialogAddress));
    const auto log_has = [&](const wchar_t* text) {
        return dialog_->Log()->GetValue().ToStdWstring().find(text) != std::wstring::npos;
    };
    ASSERT_TRUE(testing::PumpUntil([&] { return log_has(L"开始接收文件big.bin"); }));
    EXPECT_TRUE(CancelEnabled(*dialog_));

    wxCommandEvent chosen(wxEVT_MENU, IDM_CANCEL_RECEIVING);
    dialog_->GetEventHandler()->ProcessEvent(chosen);
    ASSERT_TRUE(testing::PumpUntil([&] { return log_has(L"==1个文件接收失败!==\r\n"); }));
    EXPECT_TRUE(log_has(L"文件接收失败：已取消\r\n"));
    EXPECT_FALSE(CancelEnabled(*dialog_));
    EXPECT_TRUE(std::filesystem::is_empty(home.path() / "received"));
}

// The names offered to address since the last look.
std::string OfferedTo(testing::LanPeers& peers, const char* address, int first_ms = 2000) {
    std::string offered;
    for (const auto& packet : peers.Received(address, first_ms)) {
        if ((static_cast<std::uint32_t>(packet->command) & OPT_ATTACHMENTS) != 0) {
            offered += packet->Extension();
        }
    }
    return offered;
}

TEST_F(MainDialogKeysTest, DropsOnARowOfferToItsUserOrToEverySelectedUser) {
    testing::TempFolder folder;
    std::ofstream(folder.path() / "a.txt") << "a";
    std::filesystem::create_directory(folder.path() / "album");
    wxArrayString dropped;
    dropped.Add((folder.path() / "a.txt").wstring());
    dropped.Add((folder.path() / "album").wstring());

    dialog_->Show();
    wxListCtrl& list = *dialog_->UserList();
    ASSERT_TRUE(testing::PumpUntil([&] { return list.IsShownOnScreen(); }));
    auto* target = dynamic_cast<wxFileDropTarget*>(list.GetDropTarget());
    ASSERT_NE(target, nullptr);
    wxWindow* rows = list.GetChildren().empty() ? &list : list.GetChildren().back();
    for (wxWindow* child : list.GetChildren()) {
        if (child->GetPosition().y > rows->GetPosition().y) {
            rows = child;
        }
    }
    auto middle_of = [&](long item) {  // in the coordinates of the window of the rows
        wxRect rect;
        EXPECT_TRUE(list.GetItemRect(item, rect));
        return rect.GetTop() + rect.GetHeight() / 2 - (rows == &list ? 0 : rows->GetPosition().y);
    };

    EXPECT_TRUE(target->OnDropFiles(5, middle_of(1), dropped));  // rows: bob, alice
    testing::PumpPending();
    std::string offered = OfferedTo(peers_, kAlice);
    EXPECT_NE(offered.find(":a.txt:"), std::string::npos) << offered;
    EXPECT_NE(offered.find(":album:"), std::string::npos) << offered;
    EXPECT_EQ(OfferedTo(peers_, kBob, 100), "");

    // Both selected, dropped on one of them: one offer each.
    list.SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    list.SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    EXPECT_TRUE(target->OnDropFiles(5, middle_of(0), dropped));
    testing::PumpPending();
    EXPECT_NE(OfferedTo(peers_, kAlice).find(":a.txt:"), std::string::npos);
    EXPECT_NE(OfferedTo(peers_, kBob).find(":a.txt:"), std::string::npos);

    // Below the rows there is no one to offer to.
    wxRect last;
    ASSERT_TRUE(list.GetItemRect(1, last));
    EXPECT_FALSE(target->OnDropFiles(5, middle_of(1) + last.GetHeight() * 3, dropped));
    testing::PumpPending();
    EXPECT_EQ(OfferedTo(peers_, kAlice, 200) + OfferedTo(peers_, kBob, 100), "");
    EXPECT_EQ(compose_runs_, 0);
    dialog_->Hide();
}

// Return with several rows selected: one compose dialog naming all, the text to each.
TEST_F(MainDialogKeysTest, ReturnWithSeveralSelectedRowsComposesToEach) {
    dialog_->UserList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    dialog_->UserList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    std::wstring shown_recipient;
    answer_compose_ = [&](CInputMsgDialog& compose) {
        shown_recipient = compose.RecipientLabel()->GetLabelText().ToStdWstring();
        compose.MessageEdit()->SetValue(L"to both");
        compose.TransferDataFromWindow();
        return wxID_OK;
    };
    PressKey(*dialog_, WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return compose_runs_ == 1; }));
    EXPECT_EQ(shown_recipient, L"发给：bob（127.0.0.12）、alice（127.0.0.11）");
    EXPECT_EQ(peers_.Texts(kAlice), std::vector<std::wstring>{L"to both"});
    EXPECT_EQ(peers_.Texts(kBob), std::vector<std::wstring>{L"to both"});
}

TEST_F(MainDialogKeysTest, ArrivalsNoticedOnlyWhileTheWindowIsNotActiveAndBatchesNameTheirSender) {
    std::vector<Event> events;
    events.push_back(MessageReceived{"bob", "pc2", platform::InetAddr(kBob), "hi\r\nthere"});
    PostFromWorker(*dialog_, std::move(events));
    ASSERT_TRUE(testing::PumpUntil([&] { return !dialog_->Log()->IsEmpty(); }));
    EXPECT_TRUE(notices_.empty());

    window_active_ = false;
    dialog_->Log()->Clear();
    events.clear();
    events.push_back(MessageReceived{"bob", "pc2", platform::InetAddr(kBob), "hi\r\nthere"});
    events.push_back(BatchStarted{"alice", platform::InetAddr(kAlice)});
    events.push_back(FileStarted{"a.txt", 1});
    events.push_back(FileProgress{1});
    events.push_back(FileDone{"a.txt", 1, 1, FileOutcome::kStored});
    events.push_back(FilesReceived{1});
    PostFromWorker(*dialog_, std::move(events));
    ASSERT_TRUE(testing::PumpUntil([&] { return notices_.size() == 2; }));
    EXPECT_EQ(notices_[0].title, L"bob");
    EXPECT_EQ(notices_[0].body, L"hi");
    EXPECT_EQ(notices_[1].title, L"alice");
    EXPECT_EQ(notices_[1].body, L"收到1个文件");
    const std::wstring log = dialog_->Log()->GetValue().ToStdWstring();
    EXPECT_NE(log.find(L"\r\n来自 alice（127.0.0.11）:\r\n开始接收文件a.txt\r\n"),
              std::wstring::npos)
        << log;
}

TEST_F(MainDialogKeysTest, AFailureAsksForAttentionOncePerBatchAndTheBatchCountsFailures) {
    const auto failed = [](const char* name) {
        return std::vector<Event>{FileStarted{name, 9},
                                  FileDone{name, 9, 0, FileOutcome::kDiskFull}};
    };
    const auto post = [&](std::vector<Event> events, std::size_t log_length) {
        PostFromWorker(*dialog_, std::move(events));
        ASSERT_TRUE(
            testing::PumpUntil([&] { return dialog_->Log()->GetValue().length() >= log_length; }));
    };
    // While the user looks at the window, a failure is in the log only.
    dialog_->Log()->Clear();
    std::vector<Event> events = failed("a.bin");
    events.insert(events.begin(), BatchStarted{"alice", platform::InetAddr(kAlice)});
    std::wstring expected =
        L"来自 alice（127.0.0.11）:\r\n开始接收文件a.bin\r\n"
        L"文件接收失败：磁盘已满\r\n";
    post(std::move(events), expected.size());
    EXPECT_TRUE(notices_.empty());

    // The first failure while the window is not active asks; the next ones of the batch do not.
    window_active_ = false;
    events = failed("b<i>.bin");
    for (Event& event : failed("c.bin")) {
        events.push_back(std::move(event));
    }
    events.push_back(FilesReceived{0, 3});
    expected +=
        L"开始接收文件b<i>.bin\r\n文件接收失败：磁盘已满\r\n"
        L"开始接收文件c.bin\r\n文件接收失败：磁盘已满\r\n==3个文件接收失败!==\r\n";
    post(std::move(events), expected.size());
    testing::PumpPending();
    EXPECT_EQ(dialog_->Log()->GetValue().ToStdWstring(), expected);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].title, L"alice");
    EXPECT_EQ(notices_[0].body, L"接收失败：b&lt;i&gt;.bin（磁盘已满）");
    EXPECT_EQ(sounds_, 0) << "no file arrived";

    // The next batch asks again, and its files are news of their own.
    events = {BatchStarted{"bob", platform::InetAddr(kBob)}, FileStarted{"d.txt", 1},
              FileDone{"d.txt", 1, 0, FileOutcome::kConnectionLost}, FilesReceived{1, 1}};
    expected +=
        L"来自 bob（127.0.0.12）:\r\n开始接收文件d.txt\r\n文件接收失败：连接中断\r\n"
        L"==收到1个文件!==\r\n==1个文件接收失败!==\r\n";
    post(std::move(events), expected.size());
    testing::PumpPending();
    EXPECT_EQ(dialog_->Log()->GetValue().ToStdWstring(), expected);
    ASSERT_EQ(notices_.size(), 3u);
    EXPECT_EQ(notices_[1].title, L"bob");
    EXPECT_EQ(notices_[1].body, L"接收失败：d.txt（连接中断）");
    EXPECT_EQ(notices_[2].body, L"收到1个文件");
}

// The toolkit lets the running event loop handle what is pending before it sets the hint; with
// no loop running (a program's start, this test's own calls) it would crash.
TEST_F(MainDialogKeysTest, AttentionIsAskedOnlyOfAShownWindowWhileAnEventLoopRuns) {
    EXPECT_FALSE(RequestAttention(*dialog_));  // never shown
    dialog_->Show();
    ASSERT_TRUE(testing::PumpUntil([&] { return dialog_->IsShownOnScreen(); }));
    EXPECT_FALSE(RequestAttention(*dialog_));

    bool requested = false;
    wxGUIEventLoop loop;
    dialog_->CallAfter([&] {
        requested = RequestAttention(*dialog_);
        loop.Exit();
    });
    loop.Run();
    EXPECT_TRUE(requested);
    dialog_->Hide();
}

// A user who joins just before the tap moves the rows: the selection, and so the compose dialog,
// stay with the person.
TEST_F(MainDialogKeysTest, SelectionFollowsThePersonAcrossARebuildAndComposeNamesThem) {
    dialog_->UserList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // alice
    ShowRows(*dialog_, {{"127.0.0.13", "carol", "pc3"}}, 3);  // carol, bob, alice
    wxListCtrl& list = *dialog_->UserList();
    EXPECT_EQ(list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 2);
    EXPECT_EQ(list.GetSelectedItemCount(), 1);

    std::wstring shown_recipient;
    answer_compose_ = [&](CInputMsgDialog& compose) {
        shown_recipient = compose.RecipientLabel()->GetLabelText().ToStdWstring();
        return wxID_CANCEL;
    };
    PressKey(*dialog_, WXK_RETURN);
    ASSERT_TRUE(testing::PumpUntil([&] { return !shown_recipient.empty(); }));
    EXPECT_EQ(shown_recipient, L"发给：alice（127.0.0.11）");
}

}  // namespace
}  // namespace veltra
