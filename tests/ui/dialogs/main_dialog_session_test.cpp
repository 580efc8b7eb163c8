// The main dialog over a real messenger session on 127.0.0.1, with a second messenger on
// 127.0.0.2 as the peer (both inside the test's own network namespace, both storing received
// files under a temporary home folder).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "event_pump.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "session/messenger_session.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/recording_sink.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

// The texts the peer's session has received.
std::vector<std::string> Texts(testing::RecordingSink& sink) {
    std::vector<std::string> texts;
    for (const MessageReceived& message : sink.Of<MessageReceived>()) {
        texts.push_back(message.text);
    }
    return texts;
}

// The files of the batches the peer's session has finished.
int FilesReceivedBy(testing::RecordingSink& sink) {
    int files = 0;
    for (const FilesReceived& batch : sink.Of<FilesReceived>()) {
        files += batch.count;
    }
    return files;
}

// The name this machine's sessions give as their host.
std::string OwnHostName() {
    char name[1024] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

class MainDialogWithSession : public ::testing::Test {
  protected:
    void SetUp() override {
        peer_settings_.user_name = L"对方";
        peer_settings_.broadcast_list = L"127.0.0.1";  // lo carries no broadcast

        MainDialogHooks hooks = DefaultMainDialogHooks();
        hooks.run_compose = [this](CInputMsgDialog& compose) {
            testing::WhenModal(compose, [this, &compose] {
                compose.MessageEdit()->SetValue(typed_);
                testing::ClickButton(compose, button_);
            });
            return compose.ShowModal();
        };
        hooks.choose_files = [this](wxWindow*) { return chosen_; };
        hooks.play_sound = [this] { ++sounds_; };
        dialog_ = std::make_unique<CMainDialog>(settings_, own_address_, hooks);
        ASSERT_FALSE(dialog_->Start());
        peer_ = std::make_unique<MessengerSession>(peer_sink_, peer_settings_, peer_address_);
        // The peer announced itself to 127.0.0.1.
        ASSERT_TRUE(testing::PumpUntil([&] { return dialog_->UserList()->GetItemCount() == 1; }));
    }

    void TearDown() override {
        dialog_->ShutdownMessenger();
        peer_->Shutdown();
    }

    std::wstring PeerHeader() const {
        return L"对方 (127.0.0.2|" + AnsiToWide(OwnHostName()) + L")";
    }

    testing::TempFolder home_;
    testing::ScopedHome scoped_home_{home_.path().string()};
    const std::uint32_t own_address_ = platform::InetAddr("127.0.0.1");
    const std::uint32_t peer_address_ = platform::InetAddr("127.0.0.2");
    Settings settings_;
    Settings peer_settings_;
    std::wstring typed_;
    int button_ = wxID_OK;
    std::optional<std::vector<std::wstring>> chosen_;
    int sounds_ = 0;
    testing::RecordingSink peer_sink_;
    std::unique_ptr<CMainDialog> dialog_;
    std::unique_ptr<MessengerSession> peer_;
};

TEST_F(MainDialogWithSession, PeerIsListedAndTextsTravelBothWays) {
    EXPECT_EQ(dialog_->UserList()->GetItemText(0).ToStdWstring(), PeerHeader());
    EXPECT_EQ(dialog_->OnlineCount()->GetValue(), L"1");

    typed_ = L"你好\nthere";
    dialog_->TapUserList(0);
    ASSERT_TRUE(peer_sink_.WaitFor<MessageReceived>(1));
    const std::vector<std::string> texts = Texts(peer_sink_);
    ASSERT_EQ(texts.size(), 1U);
    // The dialog hands over CR LF; the packet builder drops the CRs and the peer's parser puts
    // them back, so the text arrives as typed.
    EXPECT_EQ(texts[0], WideToAnsi(L"你好\r\nthere"));

    // The sender's log keeps what was sent, indented as a received message is.
    const std::wstring sent = L"发给 对方（127.0.0.2）:\r\n 你好\r\nthere\r\n";
    EXPECT_EQ(dialog_->Log()->GetValue().ToStdWstring(), sent);

    peer_->SendText(own_address_, L"回复");
    const std::wstring expected = sent + PeerHeader() + L":\r\n 回复\r\n";
    ASSERT_TRUE(testing::PumpUntil([&] { return dialog_->Log()->GetValue() != sent; }));
    EXPECT_EQ(dialog_->Log()->GetValue().ToStdWstring(), expected);
}

TEST_F(MainDialogWithSession, ChosenFilesAreOfferedToTheTappedPeer) {
    const std::filesystem::path source = home_.path() / "outbox" / "plan.bin";
    std::filesystem::create_directories(source.parent_path());
    std::ofstream(source, std::ios::binary) << std::string(70000, 'p');

    typed_ = L"dropped with the files";
    button_ = IDC_SEND_FILE;
    chosen_ = std::vector<std::wstring>{source.wstring()};
    dialog_->TapUserList(0);

    ASSERT_TRUE(peer_sink_.WaitFor<FilesReceived>(1, std::chrono::seconds(10)));
    EXPECT_EQ(FilesReceivedBy(peer_sink_), 1);
    EXPECT_EQ(testing::ReadFile(home_.path() / "Received" / "plan.bin"), std::string(70000, 'p'));
    EXPECT_TRUE(Texts(peer_sink_).empty());
}

TEST_F(MainDialogWithSession, ReceivedFileIsLoggedFromStartToFinishWithTheBarFull) {
    // Named in UTF-8 on disk, in code page 936 on the wire, in wide text in the log.
    const std::string name = platform::WideToUtf8(L"报告.bin");
    const std::filesystem::path source = home_.path() / "outbox" / name;
    std::filesystem::create_directories(source.parent_path());
    std::ofstream(source, std::ios::binary) << std::string(300000, 'r');

    peer_->OfferFiles(own_address_, {platform::Path::FromHost(source.string())});
    const std::wstring received = L"==收到1个文件!==\r\n";
    ASSERT_TRUE(testing::PumpUntil(
        [&] { return dialog_->Log()->GetValue().ToStdWstring().ends_with(received); }, 10000));

    const std::wstring log = dialog_->Log()->GetValue().ToStdWstring();
    EXPECT_TRUE(log.starts_with(L"来自 对方（127.0.0.2）:\r\n开始接收文件报告.bin\r\n")) << log;
    EXPECT_TRUE(log.ends_with(L" 100.00%\r\n文件传输完毕\r\n" + received)) << log;
    EXPECT_EQ(dialog_->Progress()->GetValue(), 100);
    EXPECT_EQ(sounds_, 1);
    EXPECT_EQ(testing::ReadFile(home_.path() / "Received" / name), std::string(300000, 'r'));
}

}  // namespace
}  // namespace veltra
