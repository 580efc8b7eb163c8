#include "ui/console/json_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/socket.h"
#include "platform/utf8.h"

namespace veltra {
namespace {

using Json = nlohmann::json;

class JsonViewTest : public ::testing::Test {
  protected:
    // Every line written so far, each parsed on its own; a line that is not JSON fails the test.
    std::vector<Json> Lines() {
        std::istringstream in(out_.str());
        out_.str({});
        std::vector<Json> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(Json::parse(line));
            EXPECT_TRUE(lines.back().is_object());
            EXPECT_EQ(nlohmann::ordered_json::parse(line).begin().key(), "event") << line;
        }
        return lines;
    }
    std::ostringstream out_;
    JsonView events_{out_};
};

TEST_F(JsonViewTest, PeerTextArrivesAsUtf8WithBareLineFeedsWhateverItHolds) {
    MessageReceived message;
    message.user_name = "\xd5\xc5\xc8\xfd";  // 张三 in code page 936
    message.host_name = "pc\"2";
    message.source_address = platform::InetAddr("10.0.0.2");
    message.text = "one\r\ntwo\x1b[2J\n\"}{\"event\":\"forged\"";
    events_.Message(message);
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Json({{"event", "message"},
                              {"sender", "张三"},
                              {"host", "pc\"2"},
                              {"address", "10.0.0.2"},
                              {"text", "one\ntwo\x1b[2J\n\"}{\"event\":\"forged\""}}));
}

TEST_F(JsonViewTest, ASentMessageIsReportedWithItsRecipient) {
    events_.MessageSent(L"张三", platform::InetAddr("10.0.0.2"), L"one\r\ntwo");
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Json({{"event", "message_sent"},
                              {"recipient", "张三"},
                              {"address", "10.0.0.2"},
                              {"text", "one\ntwo"}}));
}

TEST_F(JsonViewTest, PeersComeInListOrderWithTheirCount) {
    auto peer = [](const char* user, const char* address) {
        return OnlinePeer{std::string(user) + " (" + address + "|h)", platform::InetAddr(address),
                          user, "h"};
    };
    events_.Peers(BuildPeerRows({peer("alice", "10.0.0.3"), peer("bob", "10.0.0.1")}));
    events_.Peers({});
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["count"], 2);
    EXPECT_EQ(lines[0]["peers"][0],
              Json({{"user", "bob"}, {"host", "h"}, {"address", "10.0.0.1"}}));
    EXPECT_EQ(lines[0]["peers"][1]["user"], "alice");
    EXPECT_EQ(lines[1], Json({{"event", "peers"}, {"count", 0}, {"peers", Json::array()}}));
}

TEST_F(JsonViewTest, AFilesEventsWithProgressAtMostFourTimesASecondAndTheLast) {
    events_.FileStart(FileStarted{"\xce\xc4.txt", 1000}, 5000);
    for (std::uint32_t now = 5000; now <= 6000; now += 50) {  // a chunk every 50 ms
        events_.Progress((now - 5000) * 999 / 1000, now);
    }
    events_.Progress(1000, 6010);  // the last chunk, soon after the one before
    events_.FileEnd(FileDone{"\xce\xc4.txt", 1000, 1000, FileOutcome::kStored});
    const std::vector<Json> lines = Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), Json({{"event", "file_started"}, {"name", "文.txt"}, {"size", 1000}}));
    EXPECT_EQ(lines.back(), Json({{"event", "done"}, {"name", "文.txt"}, {"size", 1000}}));
    const std::vector<Json> progress(lines.begin() + 1, lines.end() - 1);
    // One second of chunks: the first, then one per 250 ms, then the one that completes the file.
    ASSERT_EQ(progress.size(), 6u);
    EXPECT_EQ(progress[0]["received"], 0);
    EXPECT_EQ(progress[1]["received"], 249);
    EXPECT_EQ(progress[5], Json({{"event", "progress"},
                                 {"name", "文.txt"},
                                 {"received", 1000},
                                 {"size", 1000},
                                 {"bytes_per_second", 990}}));
}

TEST_F(JsonViewTest, FailuresBatchesAndNoticesSayWhat) {
    events_.FileEnd(FileDone{"a", 10, 4, FileOutcome::kDiskFull});
    events_.BatchEnd({0, 1});
    events_.Notice(L"输出跟不上，部分日志已丢弃");
    events_.Complaint("unknown command: fly");
    events_.FileEnd(FileDone{"gone", 10, 0, FileOutcome::kNotServed});
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], Json({{"event", "failed"},
                              {"name", "a"},
                              {"size", 10},
                              {"received", 4},
                              {"reason", "disk_full"}}));
    EXPECT_EQ(lines[1], Json({{"event", "batch"}, {"count", 0}, {"failed", 1}}));
    EXPECT_EQ(lines[2]["text"], "输出跟不上，部分日志已丢弃");
    EXPECT_EQ(lines[3], Json({{"event", "error"}, {"text", "unknown command: fly"}}));
    EXPECT_EQ(lines[4]["reason"], "not_served");
}

TEST_F(JsonViewTest, EveryFailureHasAReasonOfItsOwnName) {
    const std::vector<std::pair<FileOutcome, std::string>> reasons = {
        {FileOutcome::kConnectionLost, "connection_lost"},
        {FileOutcome::kUnreachable, "unreachable"},
        {FileOutcome::kDiskFull, "disk_full"},
        {FileOutcome::kCannotCreate, "cannot_create"},
        {FileOutcome::kWriteFailed, "write_failed"},
        {FileOutcome::kNameRefused, "name_refused"},
        {FileOutcome::kPathTooLong, "path_too_long"},
        {FileOutcome::kNotServed, "not_served"},
        {FileOutcome::kCancelled, "cancelled"},
    };
    for (const auto& [outcome, reason] : reasons) {
        events_.FileEnd(FileDone{"a", 1, 0, outcome});
        const std::vector<Json> lines = Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["event"], "failed") << reason;
        EXPECT_EQ(lines[0]["reason"], reason);
    }
}

TEST_F(JsonViewTest, OfferEventsNameTheEntryAndAPathThatIsNotUtf8StaysJson) {
    TrackedOffer offer{OfferedEntry{3, platform::Path(L"/home/u/Trip/"), true, 0},
                       platform::InetAddr("10.0.0.9")};
    events_.Offered(offer);
    events_.SendFailed(offer, SendFailure::kNotFetched);
    // A file name holding a byte that is not UTF-8, kept through the wide form as our paths are.
    offer.entry = OfferedEntry{4, platform::Path::FromHost("/tmp/\xff.bin"), false, 5};
    events_.Sent(offer);
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], Json({{"event", "offered"},
                              {"to", "10.0.0.9"},
                              {"name", "Trip"},
                              {"kind", "folder"},
                              {"size", 0},
                              {"path", "/home/u/Trip/"}}));
    EXPECT_EQ(lines[1]["event"], "send_failed");
    EXPECT_EQ(lines[1]["reason"], "not_fetched");
    EXPECT_EQ(lines[2]["event"], "sent");
    EXPECT_EQ(lines[2]["name"], "\xef\xbf\xbd.bin");  // U+FFFD
    EXPECT_EQ(lines[2]["kind"], "file");
}

TEST_F(JsonViewTest, TheUsersCommandPrintsTheListAsTheTextViewDoes) {
    // Not an event: what the command has always written in this mode.
    events_.Users({PeerRow{L"bob (10.0.0.1|h)", platform::InetAddr("10.0.0.1"), L"bob", L"h"}});
    EXPECT_EQ(out_.str(), "在线人数 1\n  bob (10.0.0.1|h)\n");
}

TEST_F(JsonViewTest, EachHistoryRowIsOneObjectWithTheFieldsOfItsKind) {
    setenv("TZ", "UTC0", 1);  // so that the time reads the same everywhere
    tzset();
    HistoryRow message;
    message.time_ms = 1796821500000;  // 2026-12-09 13:05:00 UTC
    message.kind = HistoryKind::kMessageSent;
    message.peer_name = "张三";
    message.address = "10.0.0.5";
    message.host = "pc2";
    message.text = "one\ntwo";
    HistoryRow entry = message;
    entry.kind = HistoryKind::kEntryReceived;
    entry.text.clear();
    entry.name = "docs";
    entry.folder = true;
    entry.size = 1234;
    entry.outcome = "failed";
    entry.reason = "disk_full";
    entry.stored_path = "/home/u/Received/docs";
    HistoryRow batch = message;
    batch.kind = HistoryKind::kBatchReceived;
    batch.text.clear();
    batch.count = 3;
    batch.failed = 1;

    events_.History({message, entry, batch});
    const std::vector<Json> lines = Lines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0], Json::parse(R"({"event":"history","time":"2026-12-09T13:05:00+00:00",
        "kind":"message_sent","peer":"张三","address":"10.0.0.5","host":"pc2",
        "text":"one\ntwo"})"));
    EXPECT_EQ(lines[1], Json::parse(R"({"event":"history","time":"2026-12-09T13:05:00+00:00",
        "kind":"entry_received","peer":"张三","address":"10.0.0.5","host":"pc2","name":"docs",
        "entry":"folder","size":1234,"outcome":"failed","reason":"disk_full",
        "path":"/home/u/Received/docs"})"));
    EXPECT_EQ(lines[2], Json::parse(R"({"event":"history","time":"2026-12-09T13:05:00+00:00",
        "kind":"batch_received","peer":"张三","address":"10.0.0.5","host":"pc2","count":3,
        "failed":1})"));
}

}  // namespace
}  // namespace veltra
