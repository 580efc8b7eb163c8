// The main dialog: layout switching, the list of users, the log and progress bar, and the taps
// that lead to the compose dialog, driven through the messages the worker threads post.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text.h"
#include "engine/window_messages.h"
#include "event_pump.h"
#include "fake_backend.h"
#include "platform/socket.h"
#include "test_records.h"
#include "ui/dialogs/dialog_layout.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using testing::BackendRecord;
using testing::MakePeer;
using testing::PumpUntil;

struct ShownMessage {
    wxWindow* parent;
    std::wstring text;
    std::wstring caption;
};

// How the test answers the compose dialog: what is typed, which button ends it, and what the
// file chooser hands back.
struct ComposeScript {
    std::wstring typed;
    int button = wxID_OK;
    std::optional<std::vector<std::wstring>> chosen;
};

class MainDialogTest : public ::testing::Test {
  protected:
    MainDialogHooks Hooks() {
        MainDialogHooks hooks;
        hooks.run_compose = [this](CInputMsgDialog& compose) {
            ++compose_runs_;
            testing::WhenModal(compose, [this, &compose] {
                compose.MessageEdit()->SetValue(script_.typed);
                testing::ClickButton(compose, script_.button);
            });
            return compose.ShowModal();
        };
        hooks.choose_files = [this](wxWindow*) { return script_.chosen; };
        hooks.show_message = [this](wxWindow* parent, const std::wstring& text,
                                    const std::wstring& caption) {
            shown_.push_back({parent, text, caption});
        };
        hooks.play_sound = [this] { ++sounds_; };
        hooks.tick_ms = [this] { return now_ms_; };
        return hooks;
    }

    std::unique_ptr<CMainDialog> StartedDialog() {
        auto dialog =
            std::make_unique<CMainDialog>(settings_, testing::FakeBackendFactory(record_), Hooks());
        EXPECT_FALSE(dialog->Start());
        return dialog;
    }

    // Posts from a thread of its own, as the engine's threads do, and waits until all arrived.
    static void PostFromWorker(CMainDialog& dialog, std::vector<platform::WindowMessage> messages) {
        std::thread worker([&dialog, &messages] {
            for (platform::WindowMessage& message : messages) {
                dialog.PostMessage(std::move(message));
            }
        });
        worker.join();
    }

    static platform::WindowMessage FileMessage(unsigned id, const std::wstring& name,
                                               std::uint64_t size, std::int64_t received = 0) {
        auto payload = std::make_unique<FileEventPayload>();
        payload->name = WideToAnsi(name);
        payload->size = size;
        return platform::WindowMessage{id, 0, received, std::move(payload)};
    }

    static platform::WindowMessage PeersChanged() {
        return platform::WindowMessage{WM_PEERS_CHANGED, 0, 0, nullptr};
    }

    void ShowRows(CMainDialog& dialog, std::vector<PeerEntry> peers) {
        record_.peers = std::move(peers);
        const std::size_t before = dialog.UserListRebuilds();
        std::vector<platform::WindowMessage> messages;
        messages.push_back(PeersChanged());
        PostFromWorker(dialog, std::move(messages));
        ASSERT_TRUE(PumpUntil([&] { return dialog.UserListRebuilds() > before; }));
    }

    static std::vector<std::wstring> RowTexts(const CMainDialog& dialog) {
        std::vector<std::wstring> texts;
        for (int row = 0; row < dialog.UserList()->GetItemCount(); ++row) {
            texts.push_back(dialog.UserList()->GetItemText(row).ToStdWstring());
        }
        return texts;
    }

    static wxRect TemplateRect(const wxWindow& dialog, int template_id, int control_id) {
        const std::optional<DialogTemplate> layout = LoadDialogTemplate(template_id);
        for (const TemplateItem& item : layout->items) {
            if (item.id == control_id) {
                return DialogUnitsToPixels(dialog, item.rect);
            }
        }
        return {};
    }

    Settings settings_;
    BackendRecord record_;
    ComposeScript script_;
    int compose_runs_ = 0;
    std::vector<ShownMessage> shown_;
    int sounds_ = 0;
    std::uint32_t now_ms_ = 0;
};

TEST_F(MainDialogTest, SizesBeforeStartChangeNothingAfterwardsTheShapeChoosesTheTemplate) {
    CMainDialog dialog(settings_, testing::FakeBackendFactory(record_), Hooks());
    const wxRect portrait_log = TemplateRect(dialog, IDD_MAIN_PORTRAIT, IDC_LOG);
    const wxRect landscape_log = TemplateRect(dialog, IDD_MAIN_LANDSCAPE, IDC_LOG);
    ASSERT_NE(portrait_log, landscape_log);

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
    EXPECT_EQ(dialog.Log()->GetRect(), landscape_log);

    dialog.SetClientSize(400, 401);
    testing::SendSizeEvent(dialog);
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_PORTRAIT);
    EXPECT_EQ(dialog.Log()->GetRect(), portrait_log);
    EXPECT_EQ(dialog.Progress()->GetRect(), TemplateRect(dialog, IDD_MAIN_PORTRAIT, IDC_PROGRESS));

    // A square screen is landscape.
    dialog.SetClientSize(500, 500);
    ASSERT_EQ(dialog.GetClientSize(), wxSize(500, 500));
    testing::SendSizeEvent(dialog);
    EXPECT_EQ(dialog.CurrentLayout(), IDD_MAIN_LANDSCAPE);
    EXPECT_EQ(dialog.Log()->GetRect(), landscape_log);
    EXPECT_EQ(dialog.UserList()->GetRect(),
              TemplateRect(dialog, IDD_MAIN_LANDSCAPE, IDC_USER_LIST));
}

TEST_F(MainDialogTest, RowsAppearInDescendingKeyOrderWithTheirCount) {
    auto dialog = StartedDialog();
    // The snapshot comes in ascending key order; GBK lead bytes sort after ASCII.
    ShowRows(*dialog, {MakePeer("alice", "10.0.0.1", "pc1"), MakePeer("bob", "10.0.0.2", "pc2"),
                       MakePeer("bob", "10.0.0.9", "pc9"),
                       MakePeer(WideToAnsi(L"张三"), "10.0.0.4", "pc4")});
    EXPECT_EQ(RowTexts(*dialog),
              (std::vector<std::wstring>{L"张三 (10.0.0.4|pc4)", L"bob (10.0.0.9|pc9)",
                                         L"bob (10.0.0.2|pc2)", L"alice (10.0.0.1|pc1)"}));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"4");
    EXPECT_EQ(dialog->UserList()->GetItemData(0), platform::InetAddr("10.0.0.4"));
    EXPECT_EQ(dialog->UserList()->GetItemData(3), platform::InetAddr("10.0.0.1"));

    ShowRows(*dialog, {MakePeer("carol", "10.0.0.3", "pc3")});
    EXPECT_EQ(RowTexts(*dialog), (std::vector<std::wstring>{L"carol (10.0.0.3|pc3)"}));
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"1");

    ShowRows(*dialog, {});
    EXPECT_EQ(dialog->UserList()->GetItemCount(), 0);
    EXPECT_EQ(dialog->OnlineCount()->GetValue(), L"0");
}

TEST_F(MainDialogTest, ABurstOfPeerChangesCostsOneRebuild) {
    auto dialog = StartedDialog();
    record_.peers = {MakePeer("alice", "10.0.0.1", "pc1")};
    std::vector<platform::WindowMessage> burst;
    for (int i = 0; i < 5; ++i) {
        burst.push_back(PeersChanged());
    }
    PostFromWorker(*dialog, std::move(burst));
    ASSERT_TRUE(PumpUntil([&] { return dialog->UserListRebuilds() > 0; }));
    testing::PumpPending(100);
    EXPECT_EQ(dialog->UserListRebuilds(), 1U);
    EXPECT_EQ(record_.snapshots, 1);
    EXPECT_EQ(dialog->UserList()->GetItemCount(), 1);
}

TEST_F(MainDialogTest, MessagesAndTransfersLandInTheLogWithTheirExactText) {
    auto dialog = StartedDialog();
    std::vector<platform::WindowMessage> messages;
    messages.push_back({WM_MESSAGE_RECEIVED, 0, 0,
                        testing::MakeMessage(WideToAnsi(L"张三"), "192.168.1.5", "pc1",
                                             WideToAnsi(L"你好\r\nworld"))});
    PostFromWorker(*dialog, std::move(messages));
    std::wstring expected = L"张三 (192.168.1.5|pc1):\r\n 你好\r\nworld\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);

    // 2,000,000 bytes: a quarter after 400 ms, all of it after 1000 ms.
    now_ms_ = 5000;
    messages.clear();
    messages.push_back(FileMessage(WM_FILE_STARTED, L"报告.txt", 2000000));
    PostFromWorker(*dialog, std::move(messages));
    expected += L"开始接收文件报告.txt\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Progress()->GetValue(), 0);

    now_ms_ = 5400;
    messages.clear();
    messages.push_back(FileMessage(WM_FILE_PROGRESS, L"报告.txt", 2000000, 500000));
    PostFromWorker(*dialog, std::move(messages));
    expected += L"1.19M/S 25.00%\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Progress()->GetValue(), 25);

    now_ms_ = 6000;
    messages.clear();
    messages.push_back(FileMessage(WM_FILE_PROGRESS, L"报告.txt", 2000000, 2000000));
    messages.push_back(FileMessage(WM_FILE_DONE, L"报告.txt", 2000000));
    messages.push_back({WM_FILES_RECEIVED, 0, 0, nullptr});
    messages.push_back({WM_FILES_RECEIVED, -2, 0, nullptr});
    messages.push_back({WM_FILES_RECEIVED, 3, 0, nullptr});
    PostFromWorker(*dialog, std::move(messages));
    expected += L"1.91M/S 100.00%\r\n文件传输完毕\r\n==收到3个文件!==\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    testing::PumpPending();
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);
    // At 100 % the bar is full and the finished entry leaves it there.
    EXPECT_EQ(dialog->Progress()->GetValue(), 100);
    // One sound, for the one batch that brought files.
    EXPECT_EQ(sounds_, 1);

    // A file that could not be stored says so, and why.
    messages.clear();
    messages.push_back(FileMessage(WM_FILE_STARTED, L"大.iso", 9000));
    platform::WindowMessage failed = FileMessage(WM_FILE_DONE, L"大.iso", 9000);
    static_cast<FileEventPayload&>(*failed.payload).outcome = FileOutcome::kDiskFull;
    messages.push_back(std::move(failed));
    PostFromWorker(*dialog, std::move(messages));
    expected += L"开始接收文件大.iso\r\n文件接收失败：磁盘已满\r\n";
    ASSERT_TRUE(PumpUntil([&] { return dialog->Log()->GetValue().length() >= expected.size(); }));
    EXPECT_EQ(dialog->Log()->GetValue().ToStdWstring(), expected);
}

TEST_F(MainDialogTest, NoSoundWhenTheSettingIsOff) {
    settings_.play_sound_on_receive = false;
    auto dialog = StartedDialog();
    std::vector<platform::WindowMessage> messages;
    messages.push_back({WM_FILES_RECEIVED, 2, 0, nullptr});
    PostFromWorker(*dialog, std::move(messages));
    ASSERT_TRUE(PumpUntil([&] { return !dialog->Log()->IsEmpty(); }));
    EXPECT_EQ(dialog->Log()->GetValue(), L"==收到2个文件!==\r\n");
    EXPECT_EQ(sounds_, 0);
}

TEST_F(MainDialogTest, ShutdownStopsTheMessengerAndLaterMessagesAreDropped) {
    auto dialog = StartedDialog();
    dialog->Close();
    EXPECT_EQ(record_.shutdowns, 1);
    EXPECT_TRUE(record_.destroyed);

    std::vector<platform::WindowMessage> messages;
    messages.push_back({WM_FILES_RECEIVED, 1, 0, nullptr});
    messages.push_back(PeersChanged());
    PostFromWorker(*dialog, std::move(messages));
    testing::PumpPending(100);
    EXPECT_TRUE(dialog->Log()->IsEmpty());
    EXPECT_EQ(dialog->UserListRebuilds(), 0U);

    dialog->ShutdownMessenger();
    EXPECT_EQ(record_.shutdowns, 1);
}

class ComposeExitTest : public MainDialogTest {
  protected:
    void SetUp() override {
        dialog_ = StartedDialog();
        ShowRows(*dialog_,
                 {MakePeer("alice", "10.0.0.1", "pc1"), MakePeer("bob", "10.0.0.2", "pc2")});
    }
    std::unique_ptr<CMainDialog> dialog_;
    const std::uint32_t alice_ = platform::InetAddr("10.0.0.1");
    const std::uint32_t bob_ = platform::InetAddr("10.0.0.2");
};

TEST_F(ComposeExitTest, SendTextGoesToTheTappedRowsAddressWithCrLfLineBreaks) {
    script_ = {L"第一行\n第二行", wxID_OK, std::nullopt};
    dialog_->TapUserList(1);  // rows read bob, alice
    EXPECT_EQ(compose_runs_, 1);
    ASSERT_EQ(record_.texts.size(), 1U);
    EXPECT_EQ(record_.texts[0].first, alice_);
    EXPECT_EQ(record_.texts[0].second, L"第一行\r\n第二行");
    EXPECT_TRUE(record_.offers.empty());
}

TEST_F(ComposeExitTest, SendFilesOffersThemInChooserOrderAndDropsTheText) {
    const std::vector<std::wstring> files{L"/home/u/c.txt", L"/home/u/a.rar", L"/home/u/b"};
    script_ = {L"not sent", IDC_SEND_FILE, files};
    dialog_->TapUserList(0);
    ASSERT_EQ(record_.offers.size(), 1U);
    EXPECT_EQ(record_.offers[0].first, bob_);
    EXPECT_EQ(record_.offers[0].second, files);
    EXPECT_TRUE(record_.texts.empty());
}

TEST_F(ComposeExitTest, CancelSendsNothing) {
    script_ = {L"typed", wxID_CANCEL, std::nullopt};
    dialog_->TapUserList(0);
    EXPECT_EQ(compose_runs_, 1);
    EXPECT_TRUE(record_.texts.empty());
    EXPECT_TRUE(record_.offers.empty());
}

TEST_F(ComposeExitTest, EmptyTextSendsNothing) {
    script_ = {L"", wxID_OK, std::nullopt};
    dialog_->TapUserList(0);
    EXPECT_TRUE(record_.texts.empty());
    EXPECT_TRUE(record_.offers.empty());
}

TEST_F(ComposeExitTest, CancelledChooserSendsTheTypedTextAsAMessage) {
    script_ = {L"typed first", IDC_SEND_FILE, std::nullopt};
    dialog_->TapUserList(0);
    ASSERT_EQ(record_.texts.size(), 1U);
    EXPECT_EQ(record_.texts[0], std::make_pair(bob_, std::wstring(L"typed first")));
    EXPECT_TRUE(record_.offers.empty());
}

TEST_F(ComposeExitTest, TapBelowTheRowsRefreshesAndOpensNoDialog) {
    dialog_->TapUserList(-1);
    EXPECT_EQ(record_.refreshes, 1);
    EXPECT_EQ(compose_runs_, 0);
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
    auto click = [&](wxWindow& target, int x, int y) {
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetPosition(wxPoint(x, y));
        up.SetEventObject(&target);
        target.GetEventHandler()->ProcessEvent(up);
        testing::PumpPending();
    };
    wxRect second;
    ASSERT_TRUE(list.GetItemRect(1, second));
    const int second_y = second.GetTop() + second.GetHeight() / 2 - rows->GetPosition().y;

    script_ = {L"to alice", wxID_OK, std::nullopt};
    click(*rows, 5, second_y);
    ASSERT_EQ(record_.texts.size(), 1U);
    EXPECT_EQ(record_.texts[0].first, alice_);

    // Right of the 200-pixel column is still the row.
    click(*rows, 300, second_y);
    ASSERT_EQ(record_.texts.size(), 2U);
    EXPECT_EQ(record_.texts[1].first, alice_);

    click(*rows, 5, second.GetBottom() + second.GetHeight() * 2 - rows->GetPosition().y);
    EXPECT_EQ(record_.refreshes, 1);
    EXPECT_EQ(compose_runs_, 2);

    if (header != nullptr) {
        click(*header, 5, 5);
        EXPECT_EQ(record_.refreshes, 1);
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
    EXPECT_EQ(shown_[0].text, AboutText());

    const std::wstring& text = AboutText();
    EXPECT_TRUE(text.starts_with(L"Veltra For Windows Mobile\r\n版本0.02\r\n"));
    EXPECT_NE(text.find(L"\r\n与原作者Veltra兼容\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\n2008年1月\r\n"), std::wstring::npos);
    EXPECT_TRUE(text.ends_with(
        L"\r\n\r\n点击用户名发送文件或者消息\r\n接收文件保存在\\Storage Card\\Received\\目录下"));
    std::size_t breaks = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
         at = text.find(L"\r\n", at + 2)) {
        ++breaks;
    }
    EXPECT_EQ(breaks, 9U);  // ten lines
    EXPECT_EQ(ForDisplay(text).find(L'\r'), std::wstring::npos);
}

}  // namespace
}  // namespace veltra
