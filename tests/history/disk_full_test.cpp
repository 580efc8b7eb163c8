// The disk under the history fills up: history writes stop with one notice, and transfers go on.
// The history lives on a small tmpfs mounted in a mount namespace of this test's own.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "engine/protocol.h"
#include "history/history_recorder.h"
#include "session/messenger_session.h"
#include "tests/history/history_support.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/udp_peer.h"

namespace veltra::testing {
namespace {

const std::uint32_t kSessionAddress = platform::InetAddr("127.0.0.1");

class HistoryDiskFull : public ::testing::Test {
  protected:
    // Before any thread exists: a process with threads cannot take a mount namespace of its own.
    static void SetUpTestSuite() {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "no mount namespace of our own";
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    }
    HistoryDiskFull() : scoped_home_(home_.path().string()) {
        fs::create_directories(Disk());
        mounted_ = mount("tmpfs", Disk().c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~HistoryDiskFull() override {
        if (mounted_) {
            umount2(Disk().c_str(), MNT_DETACH);
        }
    }
    fs::path Disk() const { return home_.path() / "small"; }
    // Takes every byte left on the small disk.
    void Fill() const {
        std::ofstream filler(Disk() / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) {
            filler.flush();
        }
    }

    TempFolder home_;
    ScopedHome scoped_home_;
    bool mounted_ = false;
};

TEST_F(HistoryDiskFull, HistoryWritesStopWithOneNoticeAndTheTransferGoesOn) {
    ASSERT_TRUE(mounted_);
    FakePeer server(Serve(Pattern(300000)));  // larger than the whole small disk
    UdpPeer peer("127.0.0.2", MSG_PORT);
    Settings settings;
    RecordingSink sink;
    HistoryOptions history;
    history.file = platform::Path::FromHost((Disk() / "history.sqlite3").string());
    MessengerSession session(sink, settings, kSessionAddress, history);
    peer.Send(Datagram(1, "bob", "pda", CMD_MESSAGE, "kept"), kSessionAddress);
    HistoryQuery kept;
    kept.text = "kept";
    for (int wait = 0; wait < 500 && session.History(kept).empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(session.History(kept).size(), 1u) << "the first message was never written";
    Fill();

    // Messages of a kilobyte each until the history's log needs room that is not there.
    const std::string text(1000, 'm');
    int number = 2;
    for (; number < 600 && sink.Count<LogNotice>() == 0; ++number) {
        peer.Send(Datagram(number, "bob", "pda", CMD_MESSAGE, text.c_str()), kSessionAddress);
        ASSERT_TRUE(sink.WaitFor<MessageReceived>(static_cast<std::size_t>(number)));
    }
    ASSERT_TRUE(sink.WaitFor<LogNotice>(1)) << "the full disk was never told";
    EXPECT_EQ(sink.Notices(), std::vector<std::wstring>{kHistoryDiskFull});

    peer.Send(
        Datagram(number, "bob", "pda", CMD_MESSAGE | OPT_ATTACHMENTS, "", "0:big.bin:493e0:0:1\a"),
        kSessionAddress);
    ASSERT_TRUE(sink.WaitFor<FilesReceived>(1));
    EXPECT_EQ(sink.Outcomes(), std::vector<FileOutcome>{FileOutcome::kStored});
    EXPECT_EQ(ReadFile(home_.path() / "Received" / "big.bin"), Pattern(300000));
    peer.Send(Datagram(number + 1, "bob", "pda", CMD_MESSAGE, "later"), kSessionAddress);
    ASSERT_TRUE(sink.WaitFor<MessageReceived>(static_cast<std::size_t>(number)));
    session.Shutdown();
    EXPECT_EQ(sink.Notices(), std::vector<std::wstring>{kHistoryDiskFull})
        << "the full disk was told more than once";
    EXPECT_EQ(session.History(kept).size(), 1u) << "what was written before is still there";
}

}  // namespace
}  // namespace veltra::testing
