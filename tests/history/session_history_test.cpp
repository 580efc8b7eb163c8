// The session keeps its history in the user's data folder: what arrived, where it was stored and
// what was sent are there after a restart.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "engine/protocol.h"
#include "session/messenger_session.h"
#include "tests/history/history_support.h"
#include "tests/support/fake_peer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/udp_peer.h"

namespace veltra::testing {
namespace {

const std::uint32_t kSessionAddress = platform::InetAddr("127.0.0.1");

TEST(SessionHistory, ARestartKeepsMessagesAndTransfersWithWhereEachEntryWasStored) {
    TempFolder home;
    ScopedHome scoped_home(home.path().string());
    FakePeer server(ById({{0, Serve("hello")}, {1, Serve("")}}));  // TCP at 127.0.0.2
    UdpPeer peer("127.0.0.2", MSG_PORT);
    Settings settings;
    settings.broadcast_list = L"127.0.0.2";
    {
        RecordingSink sink;
        MessengerSession session(sink, settings, kSessionAddress);
        ASSERT_NE(peer.ReceivePacket(), nullptr);  // the announcement
        ASSERT_TRUE(peer.AnnounceTo(kSessionAddress, "bob", "pda"));
        peer.Send(Datagram(10, "bob", "pda", CMD_MESSAGE, "lunch?"), kSessionAddress);
        peer.Send(Datagram(11, "bob", "pda", CMD_MESSAGE | OPT_ATTACHMENTS, "",
                           "0:notes.txt:5:0:1\a1:gone.txt:4:0:1\a"),
                  kSessionAddress);
        ASSERT_TRUE(sink.WaitFor<FilesReceived>(1));
        session.SendText(peer.Address(), L"yes");
    }
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);
    HistoryQuery query;
    const std::vector<HistoryRow> rows = session.History(query);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].kind, HistoryKind::kMessageReceived);
    EXPECT_EQ(rows[4].text, "lunch?");
    EXPECT_EQ(rows[4].peer_name, "bob");
    EXPECT_EQ(rows[4].host, "pda");
    EXPECT_EQ(rows[4].address, "127.0.0.2");
    EXPECT_EQ(rows[3].kind, HistoryKind::kEntryReceived);
    EXPECT_EQ(rows[3].name, "notes.txt");
    EXPECT_EQ(rows[3].outcome, outcome::kStored);
    EXPECT_EQ(rows[3].stored_path, (home.path() / "Received" / "notes.txt").string());
    EXPECT_EQ(rows[2].name, "gone.txt");
    EXPECT_EQ(rows[2].reason, "not_served");
    EXPECT_EQ(rows[2].stored_path, "");
    EXPECT_EQ(rows[1].kind, HistoryKind::kBatchReceived);
    EXPECT_EQ(rows[1].count, 1);
    EXPECT_EQ(rows[0].kind, HistoryKind::kMessageSent);
    EXPECT_EQ(rows[0].text, "yes");
    EXPECT_EQ(rows[0].peer_name, "bob") << "the list's name for the address";
    EXPECT_EQ(ModeOf(home.path() / ".local/share/veltra/history.sqlite3"), 0600u);

    EXPECT_TRUE(session.ClearHistory());
    EXPECT_TRUE(session.History(query).empty());
}

// Holds the history's writer back until a reader comes, so that a row waits unwritten while the
// history is read: the reader finds it only by waiting for the writer.
class WriterHeldUntilRead {
  public:
    void Seams(HistoryOptions& options) {
        options.hold_writer = [this] {
            std::unique_lock lock(mutex_);
            writer_held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return reader_came_; });
        };
        options.reader_arrived = [this] { Release(); };
    }
    void WaitForWriterHeld() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return writer_held_; });
    }
    void Release() {
        std::lock_guard guard(mutex_);
        reader_came_ = true;
        changed_.notify_all();
    }

    struct ReleaseAtEnd {
        WriterHeldUntilRead& writer;
        ~ReleaseAtEnd() { writer.Release(); }
    };

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool writer_held_ = false;
    bool reader_came_ = false;
};

TEST(SessionHistory, ReadingFindsWhatWasSentEvenWhileTheWriterIsHeldBack) {
    TempFolder home;
    ScopedHome scoped_home(home.path().string());
    UdpPeer peer("127.0.0.2", MSG_PORT);
    WriterHeldUntilRead writer;
    HistoryOptions history;
    writer.Seams(history);
    RecordingSink sink;
    const Settings settings;
    MessengerSession session(sink, settings, kSessionAddress, std::move(history));
    // Let go whatever happens below, before the session waits for its writer to end.
    const WriterHeldUntilRead::ReleaseAtEnd release{writer};
    session.SendText(peer.Address(), L"on its way");
    writer.WaitForWriterHeld();  // the row waits in the queue, its writer held before the store

    const std::vector<HistoryRow> rows = session.History(HistoryQuery{});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, HistoryKind::kMessageSent);
    EXPECT_EQ(rows[0].text, "on its way");
}

}  // namespace
}  // namespace veltra::testing
