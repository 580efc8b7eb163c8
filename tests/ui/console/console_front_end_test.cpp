#include "ui/console/console_front_end.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>

#include "engine/protocol.h"
#include "platform/utf8.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/manual_timer.h"
#include "tests/support/udp_peer.h"
#include "ui/console/console_input.h"
#include "ui/console/console_loop.h"
#include "ui/console/console_queue.h"
#include "ui/console/terminal_text.h"
#include "ui/console/text_view.h"

// A session on 127.0.0.1 in the test's own network namespace; the other systems are played from
// 127.0.0.2 and up. Events are taken from the queue and handled on the test's thread, as main()
// does.
namespace veltra {
namespace {

using namespace std::chrono_literals;
using testing::Datagram;
using testing::UdpPeer;

const std::uint32_t kSessionAddress = platform::InetAddr("127.0.0.1");

// Standard output as a reader of the console sees it: bytes arrive when the console flushes (or
// its buffer fills), and the flushes are counted. Read from another thread while written.
class FlushedOutput : public std::streambuf {
  public:
    FlushedOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
    std::string Text() {
        std::lock_guard guard(mutex_);
        return text_;
    }
    int Flushes() {
        std::lock_guard guard(mutex_);
        return flushes_;
    }

  protected:
    int sync() override {
        std::lock_guard guard(mutex_);
        ++flushes_;
        Pass();
        return 0;
    }
    int_type overflow(int_type c) override {
        std::lock_guard guard(mutex_);
        Pass();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            sputc(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }

  private:
    void Pass() {
        text_.append(pbase(), pptr());
        setp(buffer_, buffer_ + sizeof buffer_);
    }

    char buffer_[4096];
    std::mutex mutex_;
    std::string text_;
    int flushes_ = 0;
};

MessageReceived Message(const std::string& text) {
    return MessageReceived{"bob", "pc2", platform::InetAddr("127.0.0.6"), text};
}

class ConsoleFrontEndTest : public ::testing::Test {
  protected:
    ConsoleFrontEndTest()
        : settings_(MakeSettings()),
          session_(queue_, settings_, kSessionAddress),
          front_end_(session_, out_, error_, {}, time_) {}

    static Settings MakeSettings() {
        Settings settings;
        settings.user_name = L"me";
        settings.broadcast_list = L"127.0.0.2";  // so that announcements can be watched
        return settings;
    }

    // Sends a packet from address as another system would, its text as it stands (a lone CR
    // included), and handles the event it leads to.
    void Deliver(const char* user, const char* address, const char* host, std::uint32_t command,
                 const char* text = "") {
        const std::string datagram = std::to_string(PACKET_VERSION) + ":" +
                                     std::to_string(++sent_) + ":" + user + ":" + host + ":" +
                                     std::to_string(command) + ":" + text + '\0';
        UdpPeer(address, 0).Send(datagram, kSessionAddress);
        HandleNext();
    }
    // Announces user from address and waits for the answer: the peer is then in the table.
    void Announce(const char* user, const char* address, const char* host) {
        UdpPeer peer(address, MSG_PORT);
        ASSERT_TRUE(peer.AnnounceTo(kSessionAddress, user, host));
    }
    // Waits for the next events and handles them.
    void HandleNext() {
        std::vector<ConsoleEvent> batch = queue_.TakeAllWithin(2s);
        ASSERT_FALSE(batch.empty()) << "nothing came";
        for (ConsoleEvent& event : batch) {
            front_end_.Handle(std::move(event));
        }
    }
    // Handles every event that is already queued.
    void HandleQueued() {
        for (ConsoleEvent& event : queue_.TakeAllWithin(0ms)) {
            front_end_.Handle(std::move(event));
        }
    }
    bool Command(const wchar_t* line) {
        return front_end_.Handle(ConsoleInput{ParseConsoleCommand(line), false});
    }
    std::string TakeOut() {
        std::string text = out_.str();
        out_.str({});
        return text;
    }

    // The peer's inbox binds first: the session announces to it as it starts.
    UdpPeer inbox_{"127.0.0.2", MSG_PORT};
    Settings settings_;
    ConsoleQueue queue_;
    MessengerSession session_;
    std::ostringstream out_;
    std::ostringstream error_;
    testing::ManualTimer time_;
    ConsoleFrontEnd front_end_;
    std::int32_t sent_ = 0;
};

TEST_F(ConsoleFrontEndTest, SessionStartUpAnnouncesPresence) {
    auto announcement = inbox_.ReceivePacket();
    ASSERT_NE(announcement, nullptr);
    EXPECT_EQ(announcement->command, 0x01000001);
    EXPECT_STREQ(announcement->user_name, "me");
}

TEST_F(ConsoleFrontEndTest, RebuildPrintsTheCountAndTheRowsInListOrder) {
    EXPECT_TRUE(Command(L"users"));
    EXPECT_EQ(TakeOut(), "在线人数 0\n");

    Announce("alice", "127.0.0.5", "h");
    Announce("carol", "127.0.0.3", "h");
    Announce("\xd5\xc5\xc8\xfd", "127.0.0.4", "h");
    HandleQueued();
    const std::string rows =
        "在线人数 3\n  张三 (127.0.0.4|h)\n  carol (127.0.0.3|h)\n  alice (127.0.0.5|h)\n";
    EXPECT_EQ(TakeOut(), rows) << "three changes, one rebuild";

    EXPECT_TRUE(Command(L"users"));
    EXPECT_EQ(TakeOut(), rows);

    Deliver("carol", "127.0.0.3", "h", CMD_DEPART);
    EXPECT_EQ(TakeOut(), "在线人数 2\n  张三 (127.0.0.4|h)\n  alice (127.0.0.5|h)\n");
}

TEST_F(ConsoleFrontEndTest, HelpListsEveryCommandOnStandardOutput) {
    TakeOut();
    EXPECT_TRUE(Command(L"help"));
    const std::string help = TakeOut();
    EXPECT_EQ(help, CommandsHelp());
    for (const char* command :
         {"users", "msg TARGET TEXT", "offer TARGET PATH...", "refresh", "help", "quit"}) {
        EXPECT_NE(help.find("\n  " + std::string(command) + " "), std::string::npos) << command;
    }
}

TEST_F(ConsoleFrontEndTest, RefreshEmptiesTheTableAndAnnouncesAgainButKeepsTheRows) {
    ASSERT_NE(inbox_.ReceivePacket(), nullptr);  // the start-up announcement
    Announce("alice", "127.0.0.5", "h");
    HandleQueued();
    TakeOut();

    EXPECT_TRUE(Command(L"refresh"));
    auto announcement = inbox_.ReceivePacket();
    ASSERT_NE(announcement, nullptr);
    EXPECT_EQ(announcement->command, 0x01000001);
    // The rows stay until the first answer to the new announcement.
    EXPECT_TRUE(Command(L"users"));
    EXPECT_EQ(TakeOut(), "在线人数 1\n  alice (127.0.0.5|h)\n");
    Announce("bob", "127.0.0.6", "h");
    HandleNext();
    EXPECT_EQ(TakeOut(), "在线人数 1\n  bob (127.0.0.6|h)\n") << "the table was emptied";
}

TEST_F(ConsoleFrontEndTest, CancelEndsTheFileBeingReceivedAndSaysWhenNothingIs) {
    // The peer sends one chunk of the file and then nothing, until the console gives up on it.
    testing::FakePeer peer(testing::ServeThenStall(testing::Pattern(65536)));
    const std::string offer = std::to_string(PACKET_VERSION) +
                              ":7:bob:pc2:" + std::to_string(CMD_MESSAGE | OPT_ATTACHMENTS) + ":" +
                              '\0' + testing::Entry(0, "big.bin", 200000) + '\0';
    UdpPeer("127.0.0.2", 0).Send(offer, kSessionAddress);
    while (TakeOut().find("开始接收文件big.bin") == std::string::npos) {
        HandleNext();
        if (HasFatalFailure()) {
            return;
        }
    }

    EXPECT_TRUE(Command(L"cancel"));
    std::string out;
    while (out.find("==") == std::string::npos) {
        HandleNext();
        if (HasFatalFailure()) {
            return;
        }
        out += TakeOut();
    }
    EXPECT_NE(out.find("文件接收失败：已取消\n"), std::string::npos) << out;
    EXPECT_NE(out.find("==1个文件接收失败!==\n"), std::string::npos) << out;
    EXPECT_EQ(error_.str(), "");

    EXPECT_TRUE(Command(L"cancel"));
    EXPECT_EQ(error_.str(), "cancel: nothing is being received\n");
}

TEST_F(ConsoleFrontEndTest, MessageCommandSendsAPlainTextMessage) {
    ASSERT_NE(inbox_.ReceivePacket(), nullptr);
    EXPECT_TRUE(Command(L"msg 127.0.0.2 你好\\nworld"));
    std::unique_ptr<RawDatagram> datagram = inbox_.Receive();
    ASSERT_NE(datagram, nullptr);
    const std::string bytes(datagram->data, static_cast<std::size_t>(datagram->byte_count));
    // Command word 32 exactly, the text in code page 936 with a bare LF, one NUL.
    const std::string tail = ":32:\xc4\xe3\xba\xc3\nworld";
    ASSERT_GT(bytes.size(), tail.size() + 1);
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size() - 1), tail + '\0');
    EXPECT_EQ(error_.str(), "");
}

TEST_F(ConsoleFrontEndTest, MessageAndOfferGoToAUserNamedInTheList) {
    UdpPeer bob("127.0.0.3", MSG_PORT);
    ASSERT_TRUE(bob.AnnounceTo(kSessionAddress, "bob", "pc3"));
    Announce("carol", "127.0.0.4", "pc4");
    HandleQueued();
    TakeOut();
    EXPECT_TRUE(Command(L"msg bob hello"));
    std::unique_ptr<PacketRecord> message = bob.ReceivePacket();
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message->Message(), "hello");
    EXPECT_EQ(TakeOut(), "发给 bob（127.0.0.3）:\n hello\n");
    // By host name, quoted, as a whole row: the same user.
    EXPECT_TRUE(Command(L"msg \"pc3\" again"));
    message = bob.ReceivePacket();
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message->Message(), "again");
    EXPECT_TRUE(Command(L"offer \"bob (127.0.0.3|pc3)\" /no/such/file"));
    EXPECT_EQ(error_.str(), "offer: no such file or directory: /no/such/file\n")
        << "the name was found, so the offer was tried";
}

TEST_F(ConsoleFrontEndTest, ANameOfNobodyOrOfSeveralComplainsWithTheCandidatesAndSendsNothing) {
    ASSERT_NE(inbox_.ReceivePacket(), nullptr);  // the start-up announcement
    EXPECT_TRUE(Command(L"msg bob hi"));
    EXPECT_EQ(error_.str(), "msg: no user or host named 'bob', and no user is known\n");
    error_.str({});

    Announce("bob", "127.0.0.3", "h");
    Announce("bob", "127.0.0.4", "h");
    Announce("ev\x1bil", "127.0.0.5", "h");
    HandleQueued();
    EXPECT_TRUE(Command(L"msg bob hi"));
    EXPECT_EQ(error_.str(),
              "msg: 'bob' names several users; give one's address or its whole row:\n"
              "  bob (127.0.0.4|h)\n"
              "  bob (127.0.0.3|h)\n");
    error_.str({});
    // Unknown: every user known, a peer's control characters shown, not obeyed.
    EXPECT_TRUE(Command(L"offer carol /no/such/file"));
    EXPECT_EQ(error_.str(),
              "offer: no user or host named 'carol'; the users known:\n"
              "  ev\\x1bil (127.0.0.5|h)\n"
              "  bob (127.0.0.4|h)\n"
              "  bob (127.0.0.3|h)\n");
    // Nothing went out: the next datagram the inbox sees is the message sent after.
    EXPECT_TRUE(Command(L"msg 127.0.0.2 after"));
    std::unique_ptr<PacketRecord> next = inbox_.ReceivePacket();
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next->Message(), "after");
}

TEST_F(ConsoleFrontEndTest, HandleForHandsOnEventsUntilTheWaitOrAQuit) {
    queue_.Post(Event{LogNotice{L"one"}});
    int handled = 0;
    const auto handle = [this, &handled](ConsoleEvent event) {
        ++handled;
        return front_end_.Handle(std::move(event));
    };
    EXPECT_TRUE(HandleFor(queue_, handle, 20ms));
    EXPECT_GE(handled, 1);
    EXPECT_NE(TakeOut().find("one\n"), std::string::npos);
    queue_.PostInput(ConsoleInput{ParseConsoleCommand(L"quit"), false});
    queue_.Post(Event{LogNotice{L"two"}});
    EXPECT_FALSE(HandleFor(queue_, handle, 10s)) << "the quit ends the wait";
    EXPECT_EQ(TakeOut().find("two"), std::string::npos);
}

TEST_F(ConsoleFrontEndTest, MalformedLinesComplainOnceAndSendNothing) {
    ASSERT_NE(inbox_.ReceivePacket(), nullptr);
    EXPECT_TRUE(Command(L"msg 127.0.0.256 hi"));
    EXPECT_TRUE(Command(L"msg 127.0.0.2"));
    EXPECT_TRUE(Command(L"fly away"));
    EXPECT_TRUE(Command(L""));
    EXPECT_TRUE(Command(L"msg 127.0.0.2 after"));
    std::istringstream complaints(error_.str());
    int lines = 0;
    for (std::string line; std::getline(complaints, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, 3);
    auto first = inbox_.ReceivePacket();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->Message(), "after");
    // Only the message sent is told: an address nobody listed stands for its user.
    EXPECT_EQ(out_.str(), "发给 127.0.0.2（127.0.0.2）:\n after\n");
}

TEST_F(ConsoleFrontEndTest, LogEntriesArePrintedWithBareLineFeeds) {
    Deliver("bob", "127.0.0.6", "pc2", CMD_MESSAGE, "one\ntwo");
    // Every line of the text is indented, so none can pass for a line of the console's own.
    EXPECT_EQ(TakeOut(), "bob (127.0.0.6|pc2):\n one\n two\n");

    const std::string name = "\xce\xc4.txt";
    front_end_.Handle(Event{FileStarted{name, 400}});
    time_.Advance(100ms);
    front_end_.Handle(Event{FileProgress{100}});
    front_end_.Handle(Event{FileDone{name, 400, 400, FileOutcome::kStored}});
    front_end_.Handle(Event{FileDone{name, 400, 0, FileOutcome::kConnectionLost}});
    front_end_.Handle(Event{FilesReceived{0}});
    front_end_.Handle(Event{FilesReceived{2, 1}});
    front_end_.Handle(Event{FilesReceived{0, 3}});
    front_end_.Handle(Event{LogNotice{L"通知"}});
    std::istringstream log(TakeOut());
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "开始接收文件文.txt");
    // 100 bytes in 100 ms by the front end's clock.
    const std::string& rate = lines[1];
    EXPECT_EQ(rate, "0.98K/S 25.00%");
    const std::size_t unit = rate.find("/S ");
    ASSERT_NE(unit, std::string::npos) << rate;
    EXPECT_NE(std::string("BKMG").find(rate[unit - 1]), std::string::npos) << rate;
    EXPECT_EQ(rate.substr(unit - 4, 1), ".") << rate;
    EXPECT_EQ(rate.substr(unit + 3), "25.00%");
    EXPECT_EQ(lines[2], "文件传输完毕");
    EXPECT_EQ(lines[3], "文件接收失败：连接中断");
    EXPECT_EQ(lines[4], "==收到2个文件!==");
    EXPECT_EQ(lines[5], "==1个文件接收失败!==");
    EXPECT_EQ(lines[6], "==3个文件接收失败!==");
    EXPECT_EQ(lines[7], "通知");
}

TEST_F(ConsoleFrontEndTest, PeerTextCannotDriveOrForgeTheConsole) {
    // Names and text with escape sequences, a lone CR and line breaks that try to forge lines.
    Deliver("ev\x1b[2Jil", "127.0.0.6", "h\nost", CMD_MESSAGE,
            "hi\n==\xca\xd5\xb5\xbd"
            "42\xb8\xf6\xce\xc4\xbc\xfe!==\rX\x1b[31m");
    EXPECT_EQ(TakeOut(),
              "ev\\x1b[2Jil (127.0.0.6|h\\x0aost):\n hi\n ==收到42个文件!==\\x0dX\\x1b[31m\n");

    Deliver("x\n\xd4\xda\xcf\xdf\xc8\xcb\xca\xfd 0", "127.0.0.5", "h", CMD_ANNOUNCE_REPLY);
    EXPECT_EQ(TakeOut(), "在线人数 1\n  x\\x0a在线人数 0 (127.0.0.5|h)\n");

    front_end_.Handle(Event{FileStarted{"a\nb\x1b\x7f.txt", 0}});
    front_end_.Handle(Event{LogNotice{L"x\u009by"}});  // a C1 control: CSI to some terminals
    EXPECT_EQ(TakeOut(), "开始接收文件a\\x0ab\\x1b\\x7f.txt\nx\\x9by\n");
}

TEST(TerminalText, OnlyControlCharactersChange) {
    EXPECT_EQ(TerminalText(L"普通 text\\x41 ~"), L"普通 text\\x41 ~");
    EXPECT_EQ(TerminalText(L"\t\x1f\u0080\u009f\u00a0"), L"\\x09\\x1f\\x80\\x9f\u00a0");
    EXPECT_EQ(TerminalText(L"a\r\nb"), L"a\\x0d\\x0ab");
    EXPECT_EQ(TerminalText(L"a\r\nb\n\r\r\n", true), L"a\r\n b\\x0a\\x0d\r\n ");
}

// A file's line is built in UTF-8 without the wide copy: it must read as TerminalText encoded.
TEST(TerminalText, TheUtf8FormIsTheWideFormEncoded) {
    std::string out = "开始";
    AppendTerminalUtf8(out, L"文件\t名\x1b[31m\u0085 \u00a0\u007f.txt\x0a");
    EXPECT_EQ(out, "开始文件\\x09名\\x1b[31m\\x85 \u00a0\\x7f.txt\\x0a");
    for (const std::wstring& text :
         {std::wstring(), std::wstring(L"普通 text"), std::wstring(L"\x01\x1f\u0080\u009f"),
          std::wstring(L"末尾\r"), std::wstring(1, static_cast<wchar_t>(0xDC80 + 0xE9)),
          std::wstring(L"a\r\nb\x7f\u4e2d\U0001F600")}) {
        std::string appended = "x";
        AppendTerminalUtf8(appended, text);
        // Built by appending: GCC 12 at -O3 warns falsely on a literal + string temporary.
        std::string expected = "x";
        expected += platform::WideToUtf8(TerminalText(text));
        EXPECT_EQ(appended, expected);
    }
}

TEST(TextView, WithoutListsOnlyTheUsersCommandPrintsTheList) {
    std::ostringstream out;
    TextView view(out, false);
    const std::vector<PeerRow> rows = {
        PeerRow{L"bob (10.0.0.1|h)", platform::InetAddr("10.0.0.1"), L"bob", L"h"}};
    view.Ready();
    view.Peers(rows);
    EXPECT_EQ(out.str(), "") << "one-shot sending prints neither ready nor the lists";
    view.Users(rows);
    EXPECT_EQ(out.str(), "在线人数 1\n  bob (10.0.0.1|h)\n");
}

TEST(TextView, EachEndOfAnOfferHasALineOfItsOwnAndOfferingWritesNone) {
    std::ostringstream out;
    TextView view(out, true);
    const TrackedOffer offer{OfferedEntry{1, platform::Path(L"/tmp/a\x1b.txt"), false, 3},
                             platform::InetAddr("10.0.0.2")};
    view.Offered(offer);
    view.Complaint("offer: no such file or directory: /tmp/b");  // standard error has it
    view.Sent(offer);
    view.SendFailed(offer, SendFailure::kServing);
    view.SendFailed(offer, SendFailure::kNotFetched);
    EXPECT_EQ(out.str(), "已发送文件a\\x1b.txt\n发送失败a\\x1b.txt\n对方未接收a\\x1b.txt\n");
}

// 2026-12-09 13:05 UTC, and a minute more for each step.
constexpr std::int64_t kHistoryStartMs = 1796821500000;

HistoryRow Row(int minute, HistoryKind kind, std::string outcome = {}, std::string reason = {}) {
    HistoryRow row;
    row.time_ms = kHistoryStartMs + minute * 60000;
    row.kind = kind;
    row.peer_name = "bob";
    row.address = "10.0.0.5";
    row.host = "pc2";
    row.outcome = std::move(outcome);
    row.reason = std::move(reason);
    return row;
}

// The console's history in a fixed time zone, so that the dates read the same everywhere.
class HistoryTextTest : public ::testing::Test {
  protected:
    HistoryTextTest() {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
};

TEST_F(HistoryTextTest, EveryKindOfRowReadsAsTheLogWithItsDateInFront) {
    std::vector<HistoryRow> rows;
    rows.push_back(Row(0, HistoryKind::kMessageReceived));
    rows.back().text = "hello\nagain";
    rows.push_back(Row(1, HistoryKind::kMessageSent));
    rows.back().peer_name = "张三";
    rows.back().text = "one\ntwo";
    rows.push_back(Row(2, HistoryKind::kEntryReceived, "stored"));
    rows.back().name = "a.txt";
    rows.back().stored_path = "/home/u/Received/a.txt";
    rows.push_back(Row(2, HistoryKind::kEntryReceived, "failed", "connection_lost"));
    rows.back().name = "docs";
    rows.back().folder = true;
    rows.push_back(Row(3, HistoryKind::kBatchReceived));
    rows.back().count = 1;
    rows.back().failed = 1;
    rows.push_back(Row(4, HistoryKind::kEntryOffered, "sent"));
    rows.back().name = "b.txt";
    rows.push_back(Row(4, HistoryKind::kEntryOffered, "offered"));
    rows.back().name = "pics";
    rows.back().folder = true;
    rows.push_back(Row(5, HistoryKind::kEntryOffered, "send_failed", "connection"));
    rows.back().name = "c.bin";
    rows.push_back(Row(5, HistoryKind::kEntryOffered, "not_offered", "no_such_file"));
    rows.back().name = "gone.txt";
    rows.push_back(Row(60 * 24, HistoryKind::kMessageReceived));
    rows.back().peer_name = "ev\x1b[2Jil";
    rows.back().text = "x\x1by";

    std::ostringstream out;
    TextView(out, false).History(rows);
    EXPECT_EQ(out.str(),
              "2026-12-09 13:05 bob (10.0.0.5|pc2):\n hello\n again\n"
              "2026-12-09 13:06 发给 张三（10.0.0.5）:\n one\n two\n"
              "2026-12-09 13:07 来自 bob（10.0.0.5）: 文件a.txt 已存于 /home/u/Received/a.txt\n"
              "2026-12-09 13:07 来自 bob（10.0.0.5）: 文件夹docs 接收失败：连接中断\n"
              "2026-12-09 13:08 ==收到1个文件!==\n==1个文件接收失败!==\n"
              "2026-12-09 13:09 发给 bob（10.0.0.5）: 已发送文件b.txt\n"
              "2026-12-09 13:09 发给 bob（10.0.0.5）: 已提供文件夹pics\n"
              "2026-12-09 13:10 发给 bob（10.0.0.5）: 发送失败c.bin\n"
              "2026-12-09 13:10 发给 bob（10.0.0.5）: 未能提供gone.txt：文件不存在\n"
              "2026-12-10 13:05 ev\\x1b[2Jil (10.0.0.5|pc2):\n x\\x1by\n");
}

// Lines of text with the date and time in front of each line that has them made "DATE".
// A plain scan: std::regex trips GCC 12's -Wmaybe-uninitialized in the sanitizer builds.
std::string Undated(const std::string& text) {
    constexpr std::string_view kShape = "dddd-dd-dd dd:dd ";
    const auto dated = [&](std::size_t at) {
        if (text.size() - at < kShape.size()) {
            return false;
        }
        for (std::size_t i = 0; i < kShape.size(); ++i) {
            const char c = text[at + i];
            if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) {
                return false;
            }
        }
        return true;
    };
    std::string undated;
    for (std::size_t at = 0; at < text.size();) {
        if (dated(at)) {
            undated += "DATE ";
            at += kShape.size();
        }
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        undated.append(text, at, next - at);
        at = next;
    }
    return undated;
}

TEST_F(ConsoleFrontEndTest, HistoryPrintsTheNewestRowsOldestFirstAndClearLeavesNone) {
    Announce("bob", "127.0.0.6", "pc2");
    HandleQueued();
    TakeOut();
    EXPECT_TRUE(Command(L"history --clear"));  // what earlier tests kept
    EXPECT_EQ(TakeOut(), "历史记录已清除\n");
    EXPECT_TRUE(Command(L"msg 127.0.0.6 first"));
    Deliver("bob", "127.0.0.6", "pc2", CMD_MESSAGE, "second");
    EXPECT_TRUE(Command(L"msg 127.0.0.6 third"));
    TakeOut();

    EXPECT_TRUE(Command(L"history"));
    EXPECT_EQ(Undated(TakeOut()),
              "DATE 发给 bob（127.0.0.6）:\n first\n"
              "DATE bob (127.0.0.6|pc2):\n second\n"
              "DATE 发给 bob（127.0.0.6）:\n third\n");
    EXPECT_TRUE(Command(L"history 2"));
    EXPECT_EQ(Undated(TakeOut()),
              "DATE bob (127.0.0.6|pc2):\n second\n"
              "DATE 发给 bob（127.0.0.6）:\n third\n");

    EXPECT_TRUE(Command(L"history --clear"));
    EXPECT_EQ(TakeOut(), "历史记录已清除\n");
    EXPECT_TRUE(Command(L"history"));
    EXPECT_EQ(TakeOut(), "");
    EXPECT_TRUE(session_.History({}).empty());
    EXPECT_EQ(error_.str(), "");
}

TEST_F(ConsoleFrontEndTest, QuitAndEndOfInputEndTheLoop) {
    EXPECT_FALSE(Command(L"quit"));
    EXPECT_FALSE(front_end_.Handle(ConsoleInput{{}, true}));
    session_.Shutdown();
    // A notice that was still queued finds the session shut down and prints nothing.
    front_end_.Handle(Event{PeersChanged{}});
    EXPECT_EQ(out_.str(), "");
    EXPECT_FALSE(session_.TakePeers().has_value());
}

TEST_F(ConsoleFrontEndTest, OutputIsFlushedOncePerBatchAndBeforeEachWait) {
    FlushedOutput output;
    std::ostream out(&output);
    ConsoleFrontEnd front_end(session_, out, error_);
    for (int i = 0; i < 5; ++i) {
        queue_.Post(Message(std::to_string(i)));
    }
    queue_.PostInput(ConsoleInput{ParseConsoleCommand(L"quit"), false});
    EXPECT_EQ(RunConsole(queue_, front_end), 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(output.Text().find(":\n " + std::to_string(i) + "\n"), std::string::npos) << i;
    }
    EXPECT_EQ(output.Flushes(), 2) << "once before taking the batch, once at the end";

    // A script waiting for a line sees it while the console waits for the next event.
    std::thread console([&] { RunConsole(queue_, front_end); });
    queue_.Post(Message("late"));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (output.Text().find(" late\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    queue_.PostInput(ConsoleInput{ParseConsoleCommand(L"quit"), false});
    console.join();
    EXPECT_NE(output.Text().find(" late\n"), std::string::npos);
}

TEST(ConsoleInputReader, QueuesEachLineAndStopsAfterQuit) {
    ConsoleQueue queue;
    std::istringstream input("users\nbogus\n\nquit\nmsg 1.2.3.4 never read\n");
    ReadConsoleInput(input, queue);
    std::vector<ConsoleParse::Outcome> outcomes;
    for (const ConsoleEvent& event : queue.TakeAllWithin(0ms)) {
        outcomes.push_back(std::get<ConsoleInput>(event).parse.outcome);
    }
    using Outcome = ConsoleParse::Outcome;
    EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::kCommand, Outcome::kError, Outcome::kBlank,
                                              Outcome::kCommand}));
    std::string rest;
    std::getline(input, rest);
    EXPECT_EQ(rest, "msg 1.2.3.4 never read");
}

TEST(ConsoleInputReader, EndOfInputIsQueued) {
    ConsoleQueue queue;
    std::istringstream input("users");  // a last line without its line end still counts
    ReadConsoleInput(input, queue);
    const std::vector<ConsoleEvent> queued = queue.TakeAllWithin(0ms);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(std::get<ConsoleInput>(queued[0]).parse.command.kind, ConsoleCommandKind::kUsers);
    EXPECT_TRUE(std::get<ConsoleInput>(queued[1]).end_of_input);
}

}  // namespace
}  // namespace veltra
