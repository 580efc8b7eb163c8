#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/protocol.h"
#include "platform/utf8.h"
#include "tests/serving/serving_support.h"
#include "tests/support/udp_peer.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_loop.h"
#include "ui/console/console_queue.h"

// What the console does with its own offers: paths that do not exist, the lines that say what
// became of each entry, and the wait for them after the end of input. A session on 127.0.0.1 in
// the test's network namespace; the peer fetches from 127.0.0.2.
namespace veltra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::WriteFile;

class ConsoleOffersTest : public ::testing::Test {
  protected:
    ConsoleOffersTest() : settings_(MakeSettings()), session_(queue_, settings_, Local()) {
        // The start-up announcement; what comes next is what the offers sent.
        EXPECT_NE(inbox_.ReceivePacket(), nullptr);
    }
    static std::uint32_t Local() { return platform::InetAddr("127.0.0.1"); }
    static Settings MakeSettings() {
        Settings settings;
        settings.user_name = L"me";
        settings.broadcast_list = L"127.0.0.2";
        return settings;
    }

    ConsoleFrontEnd& FrontEnd(ConsoleMode mode = {}) {
        return front_end_.emplace(session_, out_, error_, mode);
    }
    std::wstring Path(const char* name) const { return (temp_.path() / name).wstring(); }
    void Offer(const std::string& line) {
        FrontEnd().Handle(ConsoleInput{ParseConsoleCommand(platform::Utf8ToWide(line)), false});
    }
    // The peer fetches an entry, as its download would; false once the console stops.
    std::string FetchFile(std::int32_t id, const char* from = "127.0.0.2") {
        return testing::Fetch(testing::FileRequest(std::to_string(id)), from);
    }
    // Handles every event queued within a moment; what the last Handle said.
    bool HandleWaiting() {
        bool going_on = true;
        for (auto batch = queue_.TakeAllWithin(300ms); !batch.empty();
             batch = queue_.TakeAllWithin(300ms)) {
            for (ConsoleEvent& event : batch) {
                going_on = front_end_->Handle(std::move(event));
            }
        }
        return going_on;
    }
    std::string TakeOut() {
        std::string text = out_.str();
        out_.str({});
        return text;
    }
    std::vector<std::string> ErrorLines() const {
        std::istringstream in(error_.str());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    testing::UdpPeer inbox_{"127.0.0.2", MSG_PORT};
    testing::TempFolder temp_;
    Settings settings_;
    ConsoleQueue queue_;
    MessengerSession session_;
    std::ostringstream out_;
    std::ostringstream error_;
    std::optional<ConsoleFrontEnd> front_end_;
};

TEST_F(ConsoleOffersTest, AMissingPathIsNamedAndTheOthersAreStillOffered) {
    WriteFile(temp_.path() / "here.txt", "here");
    FrontEnd();
    Offer("offer 127.0.0.2 \"" + temp_.path().string() + "/gone.txt\" \"" + temp_.path().string() +
          "/here.txt\"");
    ASSERT_EQ(ErrorLines().size(), 1u);
    EXPECT_NE(ErrorLines()[0].find("gone.txt"), std::string::npos) << ErrorLines()[0];
    ASSERT_NE(inbox_.ReceivePacket(), nullptr);  // the no-op before the offer
    const auto offer = inbox_.ReceivePacket();
    ASSERT_NE(offer, nullptr);
    const std::string list = offer->Extension();
    EXPECT_EQ(list.find("0:here.txt:04:"), 0u) << list;
    EXPECT_EQ(list.find("gone"), std::string::npos);

    // Nothing exists: one line, and nothing at all is sent.
    Offer("offer 127.0.0.2 " + temp_.path().string() + "/none");
    EXPECT_EQ(ErrorLines().size(), 2u);
    EXPECT_EQ(inbox_.Receive(700), nullptr);
    EXPECT_EQ(out_.str(), "");
}

TEST_F(ConsoleOffersTest, EachPathNotListedGetsItsReason) {
    const std::string name(200, 'n');
    WriteFile(temp_.path() / name, "x");
    ASSERT_EQ(mkfifo((temp_.path() / "pipe").c_str(), 0600), 0);
    // More entries than one offer's datagram holds, after one missing and one that cannot be read.
    std::vector<std::wstring> paths = {Path("gone"), Path("pipe")};
    paths.insert(paths.end(), 100, Path(name.c_str()));
    FrontEnd().Offer(inbox_.Address(), paths);
    const std::vector<std::string> lines = ErrorLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "offer: no such file or directory: " + (temp_.path() / "gone").string());
    EXPECT_EQ(lines[1], "offer: cannot offer: " + (temp_.path() / "pipe").string());
    EXPECT_EQ(lines.back(), "offer: no room left in the offer: " + (temp_.path() / name).string());
    EXPECT_LT(lines.size(), paths.size()) << "some entries fit";
}

TEST_F(ConsoleOffersTest, EachFetchIsToldAndTheLastOneAfterTheEndOfInputEndsTheRun) {
    WriteFile(temp_.path() / "a.txt", "content");
    fs::create_directories(temp_.path() / "Trip");
    WriteFile(temp_.path() / "Trip" / "b.txt", "b");
    ConsoleFrontEnd& front_end = FrontEnd();
    front_end.Offer(inbox_.Address(), {Path("a.txt"), Path("Trip")});
    EXPECT_TRUE(front_end.Handle(ConsoleInput{{}, true})) << "an offer waits for its fetch";
    EXPECT_TRUE(front_end.LingerLeft().has_value());

    EXPECT_EQ(FetchFile(0, "127.0.0.3"), "");  // not for this peer: nothing to tell
    EXPECT_EQ(FetchFile(0), "content");
    EXPECT_TRUE(HandleWaiting());
    EXPECT_EQ(TakeOut(), "已发送文件a.txt\n");

    testing::Fetch(testing::DirectoryRequest("1"), "127.0.0.2");
    EXPECT_FALSE(HandleWaiting()) << "the last fetch ends the wait";
    EXPECT_EQ(TakeOut(), "已发送文件夹Trip\n");
    EXPECT_EQ(front_end.ExitStatus(), 0);
}

TEST_F(ConsoleOffersTest, TheEndOfInputWithNothingOfferedEndsAtOnce) {
    EXPECT_FALSE(FrontEnd().Handle(ConsoleInput{{}, true}));
    EXPECT_EQ(front_end_->ExitStatus(), 0);
}

TEST_F(ConsoleOffersTest, AFailureIsToldAndWhatIsLeftIsGivenUpWhenTheLingerHasPassed) {
    WriteFile(temp_.path() / "soon gone.txt", "x");
    WriteFile(temp_.path() / "left.txt", "y");
    ConsoleMode mode;
    mode.linger = 200ms;
    ConsoleFrontEnd& front_end = FrontEnd(mode);
    front_end.Offer(inbox_.Address(), {Path("soon gone.txt"), Path("left.txt")});
    fs::remove(temp_.path() / "soon gone.txt");
    FetchFile(0);
    EXPECT_TRUE(HandleWaiting());
    EXPECT_EQ(TakeOut(), "发送失败soon gone.txt\n");
    EXPECT_EQ(front_end.ExitStatus(), 0) << "a failure alone is no reason to fail the run";

    queue_.PostInput(ConsoleInput{{}, true});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunConsole(queue_, front_end), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(TakeOut(), "对方未接收left.txt\n");
}

TEST_F(ConsoleOffersTest, StrictRunsFailOnAFailedEntryOrAMissingPath) {
    WriteFile(temp_.path() / "soon gone.txt", "x");
    ConsoleMode mode;
    mode.strict = true;
    ConsoleFrontEnd& front_end = FrontEnd(mode);
    front_end.Offer(inbox_.Address(), {Path("soon gone.txt")});
    fs::remove(temp_.path() / "soon gone.txt");
    FetchFile(0);
    HandleWaiting();
    EXPECT_FALSE(front_end.EndInput()) << "nothing waits";
    EXPECT_EQ(front_end.ExitStatus(), 1);

    FrontEnd(mode).Offer(inbox_.Address(), {Path("never there")});
    EXPECT_FALSE(front_end_->EndInput());
    EXPECT_EQ(front_end_->ExitStatus(), 1);
}

// Each line one JSON object; the events in order.
std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::istringstream in(text);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(in, line);) {
        events.push_back(nlohmann::json::parse(line));
    }
    return events;
}

TEST_F(ConsoleOffersTest, JsonModeReportsOfferedSentAndErrors) {
    WriteFile(temp_.path() / "a.txt", "content");
    ConsoleMode mode;
    mode.json = true;
    ConsoleFrontEnd& front_end = FrontEnd(mode);
    front_end.Ready();
    front_end.Offer(inbox_.Address(), {Path("a.txt"), Path("gone")});
    FetchFile(0);
    HandleWaiting();
    front_end.Handle(ConsoleInput{ParseConsoleCommand(L"fly away"), false});

    const std::vector<nlohmann::json> events = JsonLines(out_.str());
    ASSERT_EQ(events.size(), 5u) << out_.str();
    EXPECT_EQ(events[0], nlohmann::json({{"event", "ready"}}));
    EXPECT_EQ(events[1]["event"], "error");
    EXPECT_NE(events[1]["text"].get<std::string>().find("gone"), std::string::npos);
    EXPECT_EQ(events[2]["event"], "offered");
    EXPECT_EQ(events[2]["name"], "a.txt");
    EXPECT_EQ(events[2]["kind"], "file");
    EXPECT_EQ(events[2]["size"], 7);
    EXPECT_EQ(events[2]["to"], "127.0.0.2");
    EXPECT_EQ(events[3]["event"], "sent");
    EXPECT_EQ(events[3]["path"], temp_.path().string() + "/a.txt");
    EXPECT_EQ(events[4]["event"], "error");
    EXPECT_EQ(ErrorLines().size(), 2u) << "errors still go to standard error as well";
}

// A request as the control socket hands it over, and the asker's end of its connection.
std::shared_ptr<ControlCall> Asked(const std::string& line,
                                   std::optional<platform::ControlConnection>& asker) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    asker.emplace(platform::OwnedDescriptor(ends[1]));
    ControlRequestParse parse = ParseControlRequest(line);
    EXPECT_TRUE(parse.request) << parse.error;
    return std::make_shared<ControlCall>(
        std::move(*parse.request), platform::ControlConnection(platform::OwnedDescriptor(ends[0])));
}

TEST_F(ConsoleOffersTest, AnAskersEntriesAreToldToItAndNeverCountInTheConsolesOwnRun) {
    WriteFile(temp_.path() / "a.txt", "content");
    const std::string a = (temp_.path() / "a.txt").string();
    const std::string gone = (temp_.path() / "gone").string();
    ConsoleFrontEnd& front_end = FrontEnd();
    std::optional<platform::ControlConnection> asker;
    EXPECT_TRUE(
        front_end.Handle(ConsoleInput{{},
                                      false,
                                      Asked(R"({"command":"send","target":"127.0.0.2","paths":[")" +
                                                a + R"(",")" + gone + R"("]})",
                                            asker)}));
    const std::string entry =
        R"("to":"127.0.0.2","name":"a.txt","kind":"file","size":7,"path":")" + a + R"("})";
    EXPECT_EQ(asker->ReadLine(1 << 16, 5s),
              R"({"event":"error","text":"offer: no such file or directory: )" + gone + R"("})");
    EXPECT_EQ(asker->ReadLine(1 << 16, 5s), R"({"event":"offered",)" + entry);
    EXPECT_FALSE(front_end.Handle(ConsoleInput{{}, true})) << "nothing of the console's own waits";
    EXPECT_EQ(front_end.ExitStatus(), 0);

    EXPECT_EQ(FetchFile(0), "content");
    HandleWaiting();
    EXPECT_EQ(asker->ReadLine(1 << 16, 5s), R"({"event":"sent",)" + entry);
    EXPECT_EQ(asker->ReadLine(1 << 16, 5s), R"({"event":"done","status":1})")
        << "the asker's run failed: a path was not offered";
    EXPECT_EQ(front_end.ExitStatus(), 0);
    EXPECT_EQ(TakeOut(), "") << "the console's output is its own";
    EXPECT_EQ(error_.str(), "");

    // The console has no window to raise or compose in.
    for (const char* line : {R"({"command":"show"})", R"({"command":"compose","paths":["/a"]})"}) {
        front_end.Handle(ConsoleInput{{}, false, Asked(line, asker)});
        EXPECT_EQ(
            asker->ReadLine(1 << 16, 5s),
            std::string(R"({"event":"done","status":1,"error":")") + kNoWindowError + R"("})");
    }
}

}  // namespace
}  // namespace veltra
