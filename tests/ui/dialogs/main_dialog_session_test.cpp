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

#include <sys/socket.h>

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
        hooks.run_compose_files = [this](ComposeFilesDialog& compose) {
            ++compose_files_runs_;
            return answer_files_ ? answer_files_(compose) : wxID_CANCEL;
        };
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
    // Answers the compose dialog of files handed over (without running it); cancelled when unset.
    std::function<int(ComposeFilesDialog&)> answer_files_;
    int compose_files_runs_ = 0;
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

// A request as the control socket hands it over, and the asker's end of the connection.
struct AskedCall {
    std::shared_ptr<ControlCall> call;
    std::optional<platform::ControlConnection> asker;
};

AskedCall Ask(const std::string& line) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ControlRequestParse parse = ParseControlRequest(line);
    EXPECT_TRUE(parse.request) << parse.error;
    return {std::make_shared<ControlCall>(
                std::move(*parse.request),
                platform::ControlConnection(platform::OwnedDescriptor(ends[0]))),
            platform::ControlConnection(platform::OwnedDescriptor(ends[1]))};
}

// The replies up to the end, pumping the dialog's events meanwhile (an entry's fetch comes as
// one); what came when the replies stop coming for ten seconds.
std::vector<std::string> RepliesOf(AskedCall& asked) {
    std::vector<std::string> replies;
    for (int round = 0; round < 500; ++round) {
        testing::PumpPending(20);
        while (const std::optional<std::string> line =
                   asked.asker->ReadLine(1 << 16, std::chrono::milliseconds(1))) {
            replies.push_back(*line);
            if (line->rfind(R"({"event":"done")", 0) == 0) {
                return replies;
            }
        }
    }
    return replies;
}

TEST_F(MainDialogWithSession, FilesHandedOverAreOfferedToTheRecipientsPicked) {
    const std::filesystem::path source = home_.path() / "outbox" / "from the file manager.bin";
    std::filesystem::create_directories(source.parent_path());
    std::ofstream(source, std::ios::binary) << std::string(90000, 'f');

    answer_files_ = [&](ComposeFilesDialog& compose) {
        EXPECT_EQ(compose.Paths(), std::vector<std::wstring>{source.wstring()});
        EXPECT_EQ(compose.RecipientList()->GetCount(), 1u);
        EXPECT_EQ(compose.RecipientList()->GetString(0).ToStdWstring(), PeerHeader());
        EXPECT_TRUE(compose.Recipients().empty()) << "nobody is picked for the user";
        compose.RecipientList()->Check(0);
        return wxID_OK;
    };
    dialog_->ComposeFiles({source.wstring()});
    EXPECT_EQ(compose_files_runs_, 1);
    ASSERT_TRUE(peer_sink_.WaitFor<FilesReceived>(1, std::chrono::seconds(10)));
    EXPECT_EQ(testing::ReadFile(home_.path() / "Received" / "from the file manager.bin"),
              std::string(90000, 'f'));

    // Cancelled, or sent to nobody: nothing goes out.
    answer_files_ = [](ComposeFilesDialog&) { return wxID_OK; };
    dialog_->ComposeFiles({source.wstring()});
    answer_files_ = {};
    dialog_->ComposeFiles({source.wstring()});
    EXPECT_EQ(compose_files_runs_, 3);
    testing::PumpPending(500);
    EXPECT_EQ(FilesReceivedBy(peer_sink_), 1);
}

TEST_F(MainDialogWithSession, RequestsThroughTheControlSocketAreServedAndLoggedAsTheUsersOwn) {
    const std::filesystem::path source = home_.path() / "outbox" / "script.bin";
    std::filesystem::create_directories(source.parent_path());
    std::ofstream(source, std::ios::binary) << std::string(70000, 's');

    AskedCall send = Ask(R"({"command":"send","target":"127.0.0.2","paths":[")" + source.string() +
                         R"(","/nowhere/gone"]})");
    dialog_->TakeControlCall(send.call);
    const std::string entry = R"("to":"127.0.0.2","name":"script.bin","kind":"file","size":70000,)"
                              R"("path":")" +
                              source.string() + R"("})";
    EXPECT_EQ(RepliesOf(send),
              (std::vector<std::string>{
                  R"({"event":"error","text":"offer: no such file or directory: /nowhere/gone"})",
                  R"({"event":"offered",)" + entry, R"({"event":"sent",)" + entry,
                  R"({"event":"done","status":1})"}));
    EXPECT_EQ(testing::ReadFile(home_.path() / "Received" / "script.bin"), std::string(70000, 's'));

    AskedCall message = Ask(R"({"command":"message","target":"127.0.0.2","text":"from a script"})");
    dialog_->TakeControlCall(message.call);
    EXPECT_EQ(RepliesOf(message).back(), R"({"event":"done","status":0})");
    ASSERT_TRUE(peer_sink_.WaitFor<MessageReceived>(1));
    EXPECT_NE(dialog_->Log()->GetValue().ToStdWstring().find(
                  L"发给 对方（127.0.0.2）:\r\n from a script\r\n"),
              std::wstring::npos)
        << "logged as when the user sends it";
    EXPECT_NE(dialog_->Log()->GetValue().ToStdWstring().find(L"已发送文件script.bin"),
              std::wstring::npos);

    AskedCall list = Ask(R"({"command":"list"})");
    dialog_->TakeControlCall(list.call);
    EXPECT_EQ(RepliesOf(list),
              (std::vector<std::string>{
                  R"({"user":"对方","host":")" + OwnHostName() +
                      R"x(","address":"127.0.0.2","row":"对方 (127.0.0.2|)x" + OwnHostName() +
                      R"x()"})x",
                  R"({"event":"done","status":0})"}));

    AskedCall by_name = Ask(R"({"command":"message","target":"对方","text":"by name"})");
    dialog_->TakeControlCall(by_name.call);
    EXPECT_EQ(RepliesOf(by_name).back(), R"({"event":"done","status":0})");
    ASSERT_TRUE(peer_sink_.WaitFor<MessageReceived>(2)) << "a name the list shows is its row's";

    AskedCall nobody = Ask(R"({"command":"message","target":"somebody","text":"x"})");
    dialog_->TakeControlCall(nobody.call);
    EXPECT_EQ(RepliesOf(nobody),
              (std::vector<std::string>{
                  R"x({"event":"done","status":2,"error":"no user or host named 'somebody'; )x"
                  R"x(the users known:\n  对方 (127.0.0.2|)x" +
                  OwnHostName() + R"x()"})x"}));

    dialog_->Hide();
    AskedCall show = Ask(R"({"command":"show"})");
    dialog_->TakeControlCall(show.call);
    EXPECT_EQ(RepliesOf(show), std::vector<std::string>{R"({"event":"done","status":0})"});
    EXPECT_TRUE(dialog_->IsShown());

    answer_files_ = [&](ComposeFilesDialog& compose) {
        EXPECT_EQ(compose.Paths(), std::vector<std::wstring>{source.wstring()});
        return wxID_CANCEL;
    };
    AskedCall compose = Ask(R"({"command":"compose","paths":[")" + source.string() + R"("]})");
    dialog_->TakeControlCall(compose.call);
    EXPECT_EQ(RepliesOf(compose), std::vector<std::string>{R"({"event":"done","status":0})"});
    ASSERT_TRUE(testing::PumpUntil([&] { return compose_files_runs_ == 1; }));
}

}  // namespace
}  // namespace veltra
