// The main dialog: layout switching, the list of users, the log and progress bar, and the taps
// that lead to the compose dialog. It runs a real session on 127.0.0.1 in the test's own network
// namespace; the users are played from other loopback addresses, and the events that have no
// peer behind them are posted as the worker threads post them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text.h"
#include "common/version.h"
#include "event_pump.h"
#include "lan_peers.h"
#include "main_dialog_fixture.h"
#include "platform/host_name.h"
#include "platform/path.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "tests/platform/temp_folder.h"
#include "ui/dialogs/dialog_layout.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using testing::kWatcherAddress;
using testing::MainDialogTest;
using testing::PumpUntil;
using testing::User;

TEST_F(MainDialogTest, SizesBeforeStartChangeNothingAfterwardsTheShapeChoosesTheTemplate) {
    CMainDialog dialog(settings_, platform::InetAddr(testing::kDialogAddress), Hooks());
    const wxRect portrait_log = TemplateRect(dialog, IDD_MAIN_PORTRAIT, IDC_LOG);
    ASSERT_NE(portrait_log, TemplateRect(dialog, IDD_MAIN_LANDSCAPE, IDC_LOG));
    // In landscape the bar is as wide as the log above it; in portrait it keeps margins.
    const auto bar_as_wide_as_log = [&dialog] {
        return dialog.Progress()->GetRect().x == dialog.Log()->GetRect().x &&
               dialog.Progress()->GetSize().x == dialog.Log()->GetSize().x;
    };

    // Wider than tall, but initialisation has not finished.
    dialog.SetClientSize(800, 400);
    testing::SendSizeEvent(dialog);
    EXPECT_FALSE(dialog.LayoutSwitchingEnabled());
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_PORTRAIT);
    EXPECT_EQ(dialog.Log()->GetRect(), portrait_log);

    ASSERT_FALSE(dialog.Start());
    EXPECT_TRUE(dialog.LayoutSwitchingEnabled());
    testing::SendSizeEvent(dialog);
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_LANDSCAPE);
    EXPECT_TRUE(bar_as_wide_as_log());

    dialog.SetClientSize(400, 401);
    testing::SendSizeEvent(dialog);
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_PORTRAIT);
    EXPECT_FALSE(bar_as_wide_as_log());

    // A square screen is landscape.
    dialog.SetClientSize(500, 500);
    ASSERT_EQ(dialog.GetClientSize(), wxSize(500, 500));
    testing::SendSizeEvent(dialog);
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_LANDSCAPE);
    EXPECT_TRUE(bar_as_wide_as_log());

    // At the size it opens with, the landscape template's own, every control is where it is drawn.
    dialog.SetClientSize(dialog.ConvertDialogToPixels(wxSize(320, 240)));
    testing::SendSizeEvent(dialog);
    for (const int control : {IDC_LOG, IDC_USER_LIST, IDC_PROGRESS, IDC_ABOUT, IDC_ONLINE_COUNT}) {
        EXPECT_EQ(dialog.FindWindow(control)->GetRect(),
                  TemplateRect(dialog, IDD_MAIN_LANDSCAPE, control));
    }
}

TEST_F(MainDialogTest, RowsAppearInDescendingKeyOrderWithTheirCount) {
    auto dialog = StartedDialog();
    // The table hands them out in ascending key order; GBK lead bytes sort after ASCII.
    ShowRows(*dialog,
             {{"127.0.0.11", "alice", "pc1"},
              {"127.0.0.12", "bob", "pc2"},
              {"127.0.0.19", "bob", "pc9"},
              {"127.0.0.14", WideToAnsi(L"张三"), "pc4"}},
             4);
    EXPECT_EQ(RowTexts(*dialog),
              (std::vector<std::wstring>{L"张三 (127.0.0.14|pc4)", L"bob (127.0.0.19|pc9)",
                                         L"bob (127.0.0.12|pc2)", L"alice (127.0.0.11|pc1)"}));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"4");
    EXPECT_EQ(dialog->UserList()->GetItemData(0), platform::InetAddr("127.0.0.14"));
    EXPECT_EQ(dialog->UserList()->GetItemData(3), platform::InetAddr("127.0.0.11"));

    // A refresh empties the table, but the rows stay until the first answer.
    dialog->TapUserList(-1);
    EXPECT_EQ(Announcements(), 1);
    testing::PumpPending(100);
    EXPECT_EQ(dialog->UserList()->GetItemCount(), 4);
    ShowRows(*dialog, {{"127.0.0.13", "carol", "pc3"}}, 1);
    EXPECT_EQ(RowTexts(*dialog), (std::vector<std::wstring>{L"carol (127.0.0.13|pc3)"}));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"1");

    peers_.Depart("127.0.0.13", "carol", "pc3");
    ASSERT_TRUE(PumpUntil([&] { return dialog->UserList()->GetItemCount() == 0; }));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"0");
}

// The instance hears its own announcement (here through the list, which names its address): that
// row is marked, and writing to it works as to any other.
TEST_F(MainDialogTest, ItsOwnRowIsMarkedAndTakesMessagesAsAnyOther) {
    settings_.user_name = L"王伟";
    settings_.broadcast_list += L";" + AnsiToWide(testing::kDialogAddress);
    auto dialog = StartedDialog();
    ShowRows(*dialog, {{"127.0.0.11", "alice", "pc1"}}, 2);
    const std::wstring own = L"王伟 (127.0.0.1|" + AnsiToWide(platform::HostName()) + L")";
    EXPECT_EQ(RowTexts(*dialog),
              (std::vector<std::wstring>{own + L"（本机）", L"alice (127.0.0.11|pc1)"}));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"2");

    script_ = {L"给自己", wxID_OK, std::nullopt};
    dialog->TapUserList(0);
    ASSERT_TRUE(testing::PumpUntil([&] {
        return dialog->Log()->GetValue().ToStdWstring().find(L"给自己") != std::wstring::npos;
    }));
    dialog->ShutdownMessenger();
}

// The session posts one notice for a burst of changes until the dialog takes the table, and the
// dialog rebuilds once per notice: the burst costs one rebuild, which shows all of it.
TEST_F(MainDialogTest, ABurstOfPeerChangesCostsOneRebuild) {
    auto dialog = StartedDialog();
    for (int i = 0; i < 5; ++i) {
        // Appended, not "p" + ...: GCC 12 at -O3 warns a false -Wrestrict on the latter.
        std::string address = "127.0.0.";
        address += std::to_string(30 + i);
        std::string user = "p";
        user += std::to_string(i);
        ASSERT_TRUE(peers_.Announce(address.c_str(), user, "pc"));
    }
    ASSERT_TRUE(PumpUntil([&] { return dialog->UserListRebuilds() > 0; }));
    testing::PumpPending(100);
    EXPECT_EQ(dialog->UserListRebuilds(), 1U);
    EXPECT_EQ(dialog->UserList()->GetItemCount(), 5);
}

TEST_F(MainDialogTest, MessagesAndTransfersLandInTheLogWithTheirExactText) {
    auto dialog = StartedDialog();
    std::vector<Event> messages;
    messages.push_back(MessageReceived{WideToAnsi(L"张三"), "pc1",
                                       platform::InetAddr("192.168.1.5"),
                                       WideToAnsi(L"你好\r\nworld")});
    PostFromWorker(*dialog, std::move(messages));
    std::wstring expected = L"张三 (192.168.1.5|pc1):\r\n 你好\r\nworld\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);

    // 2,000,000 bytes: a quarter after 400 ms, all of it after 1000 ms.
    now_ms_ = 5000;
    messages.clear();
    messages.push_back(FileStarted{WideToAnsi(L"报告.txt"), 2000000});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"开始接收文件报告.txt\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Progress()->GetValue(), 0);

    now_ms_ = 5400;
    messages.clear();
    messages.push_back(FileProgress{500000});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"1.19M/S 25.00%\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Progress()->GetValue(), 25);

    // 100 ms later: the bar moves, the log waits for its next quarter second.
    now_ms_ = 5500;
    messages.clear();
    messages.push_back(FileProgress{1000000});
    PostFromWorker(*dialog, std::move(messages));
    ASSERT_TRUE(PumpUntil([&] { return dialog->Progress()->GetValue() == 50; }));

    now_ms_ = 5600;  // the last chunk writes its line at once
    messages.clear();
    messages.push_back(FileProgress{2000000});
    messages.push_back(FileDone{WideToAnsi(L"报告.txt"), 2000000, 2000000, FileOutcome::kStored});
    messages.push_back(FilesReceived{0});
    messages.push_back(FilesReceived{-2});
    messages.push_back(FilesReceived{3});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"3.18M/S 100.00%\r\n文件传输完毕\r\n==收到3个文件!==\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    testing::PumpPending();
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);
    // At 100 % the bar is full and the finished entry leaves it there.
    EXPECT_EQ(dialog->Progress()->GetValue(), 100);
    // One sound, for the one batch that brought files.
    EXPECT_EQ(sounds_, 1);

    // A file that could not be stored says so, and why.
    messages.clear();
    messages.push_back(FileStarted{WideToAnsi(L"大.iso"), 9000});
    messages.push_back(FileDone{WideToAnsi(L"大.iso"), 9000, 0, FileOutcome::kDiskFull});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"开始接收文件大.iso\r\n文件接收失败：磁盘已满\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);
    // What became of the entries this side offered.
    messages.clear();
    messages.push_back(
        OfferServed{0, platform::InetAddr("192.168.1.5"), WideToAnsi(L"笔记.txt"), false, true});
    messages.push_back(OfferServed{1, platform::InetAddr("192.168.1.5"), "photos", true, true});
    messages.push_back(OfferServed{2, platform::InetAddr("192.168.1.5"), "big.iso", false, false});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"已发送文件笔记.txt\r\n已发送文件夹photos\r\n发送失败big.iso\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);
}

TEST_F(MainDialogTest, NoSoundWhenTheSettingIsOff) {
    settings_.play_sound_on_receive = false;
    auto dialog = StartedDialog();
    std::vector<Event> messages;
    messages.push_back(FilesReceived{2});
    PostFromWorker(*dialog, std::move(messages));
    ASSERT_TRUE(PumpUntil([&] { return !dialog->Log()->IsEmpty(); }));
    EXPECT_EQ(dialog->Log()->GetValue(), L"==收到2个文件!==\r\n");
    EXPECT_EQ(sounds_, 0);
}

TEST_F(MainDialogTest, ShutdownStopsTheMessengerAndLaterMessagesAreDropped) {
    auto dialog = StartedDialog();
    dialog->Close();
    // The port is free again: the session has closed its sockets.
    platform::Socket port = platform::Socket::Udp();
    EXPECT_TRUE(
        port.Bind(platform::MakeEndpoint(platform::InetAddr(testing::kDialogAddress), MSG_PORT)));
    // Nothing answers a peer any more.
    EXPECT_FALSE(peers_.Announce("127.0.0.11", "alice", "pc1"));

    std::vector<Event> messages;
    messages.push_back(FilesReceived{1});
    messages.push_back(PeersChanged{});
    PostFromWorker(*dialog, std::move(messages));
    testing::PumpPending(100);
    EXPECT_TRUE(dialog->Log()->IsEmpty());
    EXPECT_EQ(dialog->UserListRebuilds(), 0U);

    dialog->ShutdownMessenger();
    dialog->TapUserList(0);
    dialog->TapUserList(-1);
    EXPECT_EQ(compose_runs_, 0);
}

class ComposeExitTest : public MainDialogTest {
  protected:
    void SetUp() override {
        dialog_ = StartedDialog();
        ShowRows(*dialog_, {{kAlice, "alice", "pc1"}, {kBob, "bob", "pc2"}}, 2);
    }
    void TearDown() override { dialog_->ShutdownMessenger(); }

    static constexpr const char* kAlice = "127.0.0.11";
    static constexpr const char* kBob = "127.0.0.12";
    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(ComposeExitTest, SendTextGoesToTheTappedRowsAddressWithCrLfLineBreaks) {
    script_ = {L"第一行\n第二行", wxID_OK, std::nullopt};
    dialog_->TapUserList(1);  // rows read bob, alice
    EXPECT_EQ(compose_runs_, 1);
    EXPECT_EQ(peers_.Texts(kAlice), std::vector<std::wstring>{L"第一行\r\n第二行"});
    EXPECT_TRUE(peers_.Received(kBob, 100).empty());
}

TEST_F(ComposeExitTest, SendFilesOffersThemInChooserOrderAndDropsTheText) {
    testing::TempFolder folder;
    std::vector<std::wstring> files;
    for (const char* name : {"c.txt", "a.rar", "b"}) {
        std::ofstream(folder.path() / name) << name;
        files.push_back((folder.path() / name).wstring());
    }
    script_ = {L"not sent", IDC_SEND_FILE, files};
    dialog_->TapUserList(0);
    std::string offered;
    for (const auto& packet : peers_.Received(kBob)) {
        if ((static_cast<std::uint32_t>(packet->command) & OPT_ATTACHMENTS) != 0) {
            offered += packet->Extension();
        } else {
            EXPECT_NE(CommandNumber(packet->command), CMD_MESSAGE) << "a text went out";
        }
    }
    const std::size_t c = offered.find(":c.txt:");
    const std::size_t a = offered.find(":a.rar:");
    const std::size_t b = offered.find(":b:");
    ASSERT_NE(b, std::string::npos) << offered;
    EXPECT_LT(c, a) << offered;
    EXPECT_LT(a, b) << offered;
    EXPECT_TRUE(peers_.Received(kAlice, 100).empty());
}

TEST_F(ComposeExitTest, PathsLeftOutOfTheOffersAreShownOnceInOneBox) {
    testing::TempFolder folder;
    std::ofstream(folder.path() / "c.txt") << "c";
    ASSERT_EQ(mkfifo((folder.path() / "pipe").c_str(), 0600), 0);
    script_ = {L"", IDC_SEND_FILE,
               std::vector<std::wstring>{(folder.path() / "gone.txt").wstring(),
                                         (folder.path() / "c.txt").wstring(),
                                         (folder.path() / "pipe").wstring()}};
    dialog_->ComposeTo({{L"alice", platform::InetAddr(kAlice), L"alice"},
                        {L"bob", platform::InetAddr(kBob), L"bob"}});
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, L"无法发送：gone.txt（文件不存在）、pipe（无法读取）");
    EXPECT_EQ(shown_[0].caption, kMainCaption);
    EXPECT_EQ(shown_[0].parent, dialog_.get());
    for (const char* address : {kAlice, kBob}) {
        std::string offered;
        for (const auto& packet : peers_.Received(address)) {
            if ((static_cast<std::uint32_t>(packet->command) & OPT_ATTACHMENTS) != 0) {
                offered += packet->Extension();
            }
        }
        EXPECT_NE(offered.find(":c.txt:"), std::string::npos) << address;
    }
}

TEST_F(ComposeExitTest, CancelSendsNothing) {
    script_ = {L"typed", wxID_CANCEL, std::nullopt};
    dialog_->TapUserList(0);
    EXPECT_EQ(compose_runs_, 1);
    EXPECT_TRUE(peers_.Received(kBob, 200).empty());
}

TEST_F(ComposeExitTest, EmptyTextSendsNothing) {
    script_ = {L"", wxID_OK, std::nullopt};
    dialog_->TapUserList(0);
    EXPECT_TRUE(peers_.Received(kBob, 200).empty());
}

TEST_F(ComposeExitTest, CancelledChooserSendsTheTypedTextAsAMessage) {
    script_ = {L"typed first", IDC_SEND_FILE, std::nullopt};
    dialog_->TapUserList(0);
    EXPECT_EQ(peers_.Texts(kBob), std::vector<std::wstring>{L"typed first"});
}

TEST_F(ComposeExitTest, TapBelowTheRowsRefreshesAndOpensNoDialog) {
    dialog_->TapUserList(-1);
    EXPECT_EQ(Announcements(), 1);
    EXPECT_EQ(compose_runs_, 0);
    testing::PumpPending(100);
    EXPECT_EQ(dialog_->UserList()->GetItemCount(), 2);
}

TEST_F(ComposeExitTest, ClicksOnTheListMapToRowsAcrossTheirWholeWidthAndBelowToRefresh) {
    dialog_->Show();
    wxListCtrl& list = *dialog_->UserList();
    ASSERT_TRUE(PumpUntil([&] { return list.IsShownOnScreen(); }));
    testing::PumpPending(100);

    // The rows live in the child below the column header.
    wxWindow* rows = nullptr;
    wxWindow* header = nullptr;
    for (wxWindow* child : list.GetChildren()) {
        if (rows == nullptr || child->GetPosition().y > rows->GetPosition().y) {
            header = rows;
            rows = child;
        } else {
            header = child;
        }
    }
    ASSERT_NE(rows, nullptr);
    auto click = [&](wxWindow& target, int x, int y, int modifiers = wxMOD_NONE) {
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetPosition(wxPoint(x, y));
        up.SetControlDown((modifiers & wxMOD_CONTROL) != 0);
        up.SetShiftDown((modifiers & wxMOD_SHIFT) != 0);
        up.SetEventObject(&target);
        target.GetEventHandler()->ProcessEvent(up);
        testing::PumpPending();
    };
    wxRect second;
    ASSERT_TRUE(list.GetItemRect(1, second));
    const int second_y = second.GetTop() + second.GetHeight() / 2 - rows->GetPosition().y;

    script_ = {L"to alice", wxID_OK, std::nullopt};
    click(*rows, 5, second_y);
    // Right of the 200-pixel column is still the row.
    click(*rows, 300, second_y);
    EXPECT_EQ(peers_.Texts(kAlice), (std::vector<std::wstring>{L"to alice", L"to alice"}));
    // A click that adds to the selection composes nothing.
    click(*rows, 5, second_y, wxMOD_CONTROL);
    click(*rows, 5, second_y, wxMOD_SHIFT);
    EXPECT_EQ(compose_runs_, 2);

    click(*rows, 5, second.GetBottom() + second.GetHeight() * 2 - rows->GetPosition().y);
    EXPECT_EQ(Announcements(), 1);
    EXPECT_EQ(compose_runs_, 2);

    if (header != nullptr) {
        click(*header, 5, 5);
        EXPECT_EQ(Announcements(200), 0);
        EXPECT_EQ(compose_runs_, 2);
    }
    dialog_->Hide();
}

TEST_F(MainDialogTest, AboutButtonShowsTheAboutTextInABoxCaptionedAbout) {
    auto dialog = StartedDialog();
    testing::ClickButton(*dialog, IDC_ABOUT);
    testing::ClickButton(*dialog, IDC_ABOUT);
    ASSERT_EQ(shown_.size(), 2U);
    EXPECT_EQ(shown_[0].parent, dialog.get());
    EXPECT_EQ(shown_[0].caption, L"关于");
    const std::wstring& text = shown_[0].text;
    EXPECT_EQ(text, AboutText(dialog->ReceivedFolder()));

    EXPECT_TRUE(text.starts_with(L"Veltra 版本" + platform::Utf8ToWide(kVersion) +
                                 L"\r\n基于原作者的Veltra协议开发\r\n"));
    EXPECT_NE(text.find(L"\r\n与原作者Veltra兼容\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\n2008年1月\r\n"), std::wstring::npos);
    EXPECT_TRUE(text.ends_with(L"\r\n\r\n点击用户名发送文件或者消息\r\n接收文件保存在" +
                               platform::Utf8ToWide(platform::HomeFolder()) + L"/Received/目录下"));
    std::size_t breaks = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
         at = text.find(L"\r\n", at + 2)) {
        ++breaks;
    }
    EXPECT_EQ(breaks, 8U);  // nine lines
    EXPECT_EQ(ForDisplay(text).find(L'\r'), std::wstring::npos);
}

}  // namespace
}  // namespace veltra
