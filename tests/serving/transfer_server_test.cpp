#include "serving/transfer_server.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "serving/attachment_offer.h"
#include "tests/serving/serving_support.h"
#include "tests/support/recording_sink.h"

// An engine on 127.0.0.1:2425 with the transfer server registered, fetched from by plain client
// sockets on other loopback addresses (each test executable runs in a network namespace).
namespace veltra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::DirectoryRequest;
using testing::Fetch;
using testing::FileRequest;
using testing::PathOf;
using testing::Pattern;
using testing::Request;
using testing::TempFolder;
using testing::WriteFile;

class TransferServerTest : public ::testing::Test {
  protected:
    void Start(TransferLimits limits = {}) {
        settings_.user_name = L"wm";
        engine_ = std::make_unique<CMessengerEngine>(settings_, testing::kServerAddress);
        server_ = std::make_unique<TransferServer>(*engine_, limits, &reports_);
    }
    // The reports posted so far, in the order of their file ids.
    std::vector<OfferServed> Reports() {
        std::vector<OfferServed> served = reports_.Of<OfferServed>();
        std::sort(served.begin(), served.end(),
                  [](const auto& a, const auto& b) { return a.file_id < b.file_id; });
        return served;
    }
    void SetUp() override { Start(); }
    void TearDown() override {
        engine_->Shutdown();  // before the server and its table go
    }

    std::int32_t Offer(const std::string& name, const std::string& content,
                       std::optional<std::uint32_t> recipient = std::nullopt) {
        WriteFile(temp_.path() / name, content);
        return OfferPath(name, recipient);
    }
    // Offers what name in the test's folder is now (a folder, or nothing at all).
    std::int32_t OfferPath(const std::string& name,
                           std::optional<std::uint32_t> recipient = std::nullopt) {
        const fs::path path = temp_.path() / name;
        return Offers().RegisterOffer(platform::Path(path.wstring()), testing::IdentityOf(path),
                                      recipient);
    }
    OfferTable& Offers() { return server_->Offers(); }

    testing::RecordingSink reports_;
    Settings settings_;
    std::unique_ptr<CMessengerEngine> engine_;
    std::unique_ptr<TransferServer> server_;
    TempFolder temp_;
};

TEST_F(TransferServerTest, ServesAFileOnceAndThenNothing) {
    const std::string content = "thirty-one bytes of file text!!";
    ASSERT_EQ(content.size(), 31u);
    ASSERT_EQ(Offer("a.txt", content), 0);
    EXPECT_EQ(Fetch("1:77:wm:pda:96:64:0:0:" + std::string(1, '\0')), content);
    EXPECT_EQ(Offers().Size(), 0u);
    EXPECT_EQ(Fetch(FileRequest("0")), "");
}

TEST_F(TransferServerTest, ContentGoesOutWhole) {
    const std::string exact = Pattern(16384);
    const std::string over = Pattern(16385);
    const std::string large = Pattern((5 << 20) + 3);
    const auto exact_id = Offer("exact", exact);
    const auto over_id = Offer("over", over);
    const auto large_id = Offer("large", large);
    const auto empty_id = Offer("empty", "");
    EXPECT_EQ(Fetch(FileRequest(std::to_string(exact_id))), exact);
    EXPECT_EQ(Fetch(FileRequest(std::to_string(over_id))), over);
    EXPECT_TRUE(Fetch(FileRequest(std::to_string(large_id))) == large);
    // An empty file: nothing, but the entry is served and gone.
    EXPECT_EQ(Fetch(FileRequest(std::to_string(empty_id))), "");
    EXPECT_EQ(Offers().Size(), 0u);
}

TEST_F(TransferServerTest, HexadecimalIdAndAnyOffsetGiveTheWholeFile) {
    for (int i = 0; i < 10; ++i) {
        Offer("f" + std::to_string(i), "wrong");
    }
    ASSERT_EQ(Offer("ten", "id ten"), 10);
    EXPECT_EQ(Fetch(Request(CMD_FETCH_FILE, "64:a:3:")), "id ten");
    EXPECT_EQ(Offers().Size(), 10u);
    EXPECT_FALSE(Offers().Find(10));
}

TEST_F(TransferServerTest, RefusedRequestsAreClosedWithoutDataAndKeepTheEntry) {
    const auto id = Offer("keep", "still here");
    const std::string field = std::to_string(id);
    EXPECT_EQ(Fetch(Request(CMD_FETCH_FILE | OPT_ATTACHMENTS, "64:" + field + ":0:")), "");
    EXPECT_EQ(Fetch(Request(CMD_MESSAGE, "64:" + field + ":0:")), "");
    EXPECT_EQ(Fetch(Request(CMD_FETCH_FILE, "64")), "");
    EXPECT_EQ(Fetch("hello"), "");
    EXPECT_EQ(Fetch(FileRequest("7")), "");  // never offered
    EXPECT_EQ(Offers().Size(), 1u);
    EXPECT_EQ(Fetch(FileRequest(field)), "still here");
}

TEST_F(TransferServerTest, DirectoryRequestsGetTheStream) {
    fs::create_directories(temp_.path() / "Trip" / "pics");
    WriteFile(temp_.path() / "Trip" / "a.txt", "hello");
    WriteFile(temp_.path() / "Trip" / "pics" / "b.jpg", "0123456789abcdef");
    const auto trip = OfferPath("Trip");
    const auto plain = Offer("plain.txt", "not a directory");
    EXPECT_EQ(Fetch(DirectoryRequest(std::to_string(trip))),
              "000d:Trip:0:2000f:a.txt:05:1hello000d:pics:0:2"
              "0010:b.jpg:010:10123456789abcdef08:.:0:308:.:0:3");
    // A regular file fetched as a directory: its header and the end mark.
    EXPECT_EQ(Fetch(DirectoryRequest(std::to_string(plain))), "0012:plain.txt:0:208:.:0:3");
    EXPECT_EQ(Offers().Size(), 0u);
}

TEST_F(TransferServerTest, FileRequestForADirectoryOrAMissingFileSendsNothingButServesTheId) {
    fs::create_directories(temp_.path() / "dir");
    const auto dir = OfferPath("dir");
    const auto gone = OfferPath("deleted");
    EXPECT_EQ(Fetch(FileRequest(std::to_string(dir))), "");
    EXPECT_EQ(Fetch(FileRequest(std::to_string(gone))), "");
    EXPECT_EQ(Offers().Size(), 0u);
}

TEST_F(TransferServerTest, AnOfferGoesToItsRecipientOnly) {
    const auto for_peer = Offer("private", "for .3 only", platform::InetAddr("127.0.0.3"));
    const auto for_anyone = Offer("public", "for all");
    EXPECT_EQ(Fetch(FileRequest(std::to_string(for_peer)), "127.0.0.2"), "");
    EXPECT_TRUE(Offers().Find(for_peer));
    EXPECT_EQ(Fetch(FileRequest(std::to_string(for_anyone)), "127.0.0.2"), "for all");
    EXPECT_EQ(Fetch(FileRequest(std::to_string(for_peer)), "127.0.0.3"), "for .3 only");
    EXPECT_EQ(Offers().Size(), 0u);
}

// Whoever may write beside an offered path can swap it while the offer waits: for a link to a
// private file or folder, or for another file. Only what was examined for the offer goes out;
// anything else gets nothing at all, and the entry counts as served, not whole.
TEST_F(TransferServerTest, APathSwappedAfterTheOfferServesNothing) {
    const fs::path& folder = temp_.path();
    WriteFile(folder / "secret", "private key");
    fs::create_directories(folder / "keys");
    WriteFile(folder / "keys" / "id", "private key");
    WriteFile(folder / "a.txt", "offered a");
    WriteFile(folder / "b.txt", "offered b");
    fs::create_directories(folder / "Trip");
    WriteFile(folder / "Trip" / "c.txt", "offered c");
    const AttachmentList list = BuildAttachmentList(
        Offers(), {PathOf(folder / "a.txt"), PathOf(folder / "b.txt"), PathOf(folder / "Trip")},
        std::nullopt);
    for (const OfferResult& result : list.results) {
        ASSERT_TRUE(result.entry) << result.path.Host();
    }

    fs::remove(folder / "a.txt");
    fs::create_symlink(folder / "secret", folder / "a.txt");
    WriteFile(folder / "b.new", "another b");
    fs::rename(folder / "b.new", folder / "b.txt");
    fs::rename(folder / "Trip", folder / "Trip.old");
    fs::create_directory_symlink(folder / "keys", folder / "Trip");

    EXPECT_EQ(Fetch(FileRequest("0")), "");
    EXPECT_EQ(Fetch(FileRequest("1")), "");
    EXPECT_EQ(Fetch(DirectoryRequest("2")), "");
    EXPECT_EQ(Offers().Size(), 0u);
    ASSERT_TRUE(reports_.WaitFor<OfferServed>(3));
    for (const OfferServed& served : Reports()) {
        EXPECT_FALSE(served.whole) << served.name;
    }
}

// The user named the path, links and all: what it led to when offered is what goes out.
TEST_F(TransferServerTest, LinksInAnOfferedPathAreFollowed) {
    const fs::path& folder = temp_.path();
    WriteFile(folder / "target", "through a link");
    fs::create_symlink(folder / "target", folder / "link");
    fs::create_directories(folder / "real");
    WriteFile(folder / "real" / "x", "x");
    fs::create_directory_symlink(folder / "real", folder / "alias");
    const AttachmentList list = BuildAttachmentList(
        Offers(), {PathOf(folder / "link"), PathOf(folder / "alias")}, std::nullopt);
    for (const OfferResult& result : list.results) {
        ASSERT_TRUE(result.entry) << result.path.Host();
    }
    EXPECT_EQ(Fetch(FileRequest("0")), "through a link");
    EXPECT_EQ(Fetch(DirectoryRequest("1")),
              DirectoryHeader("alias") + FileHeader("x", 1) + "x" + std::string(kEndMark));
}

TEST_F(TransferServerTest, EachServedEntryIsReportedOnceSayingWhetherItWentOutWhole) {
    fs::create_directories(temp_.path() / "Trip");
    WriteFile(temp_.path() / "Trip" / "a.txt", "hello");
    const auto file = Offer("b.txt", "content");
    const auto trip = OfferPath("Trip");
    const auto gone = OfferPath("deleted");
    const auto for_other = Offer("private", "x", platform::InetAddr("127.0.0.3"));
    EXPECT_EQ(Fetch(FileRequest(std::to_string(file)), "127.0.0.2"), "content");
    Fetch(DirectoryRequest(std::to_string(trip)));
    Fetch(FileRequest(std::to_string(gone)));
    Fetch(FileRequest(std::to_string(for_other)), "127.0.0.2");  // refused: not reported
    Fetch(FileRequest(std::to_string(file)));                    // served already: not reported
    ASSERT_TRUE(reports_.WaitFor<OfferServed>(3));

    const std::vector<OfferServed> served = Reports();
    ASSERT_EQ(served.size(), 3u);
    EXPECT_EQ(served[0].file_id, file);
    EXPECT_EQ(served[0].name, "b.txt");
    EXPECT_EQ(served[0].peer_address, platform::InetAddr("127.0.0.2"));
    EXPECT_TRUE(served[0].whole);
    EXPECT_FALSE(served[0].directory);
    EXPECT_EQ(served[1].name, "Trip");
    EXPECT_TRUE(served[1].directory);
    EXPECT_TRUE(served[1].whole);
    // A file that went away after it was offered reached the peer as nothing at all.
    EXPECT_EQ(served[2].file_id, gone);
    EXPECT_FALSE(served[2].whole);
}

// Requests the entry on a connection of its own and reads until the server's end of stream,
// leaving the connection open; what it read.
std::string RequestAndReadToTheEnd(const platform::Socket& reader, const std::string& request) {
    reader.Send(request.data(), request.size());
    return testing::ReceiveAll(reader);
}

TEST_F(TransferServerTest, ARecipientThatLeavesTheLastByteUnreadWasNotSentTheFile) {
    // Every byte fits in the two ends' buffers: each send succeeds whatever the recipient does.
    const std::string content = Pattern(200 * 1000);
    const auto id = Offer("unread", content);
    platform::Socket reader = testing::Connect();
    const std::string request = FileRequest(std::to_string(id));
    reader.Send(request.data(), request.size());
    std::string taken(content.size() - 1, '\0');
    ASSERT_EQ(reader.ReceiveAll(taken.data(), taken.size()), taken.size());
    pollfd last_byte{reader.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&last_byte, 1, 5000), 1);  // it has arrived, and stays unread
    reader.Close();

    ASSERT_TRUE(reports_.WaitFor<OfferServed>(1));
    EXPECT_FALSE(Reports()[0].whole) << "a byte left unread counted as sent";
}

TEST_F(TransferServerTest, ARecipientThatEndsItsSideBeforeTheBytesReachItWasNotSentTheFile) {
    engine_->Shutdown();
    Start(TransferLimits{30000, 2000});
    // A window of a few KiB: most of the file waits in the server's send buffer, unacknowledged.
    const auto id = Offer("in-flight", Pattern(8000));
    platform::Socket reader = platform::Socket::Tcp();
    reader.SetReceiveBufferSize(1);
    ASSERT_TRUE(reader.Connect(platform::MakeEndpoint(testing::kServerAddress, MSG_PORT), 2000));
    const std::string request = FileRequest(std::to_string(id));
    reader.Send(request.data(), request.size());
    pollfd first_bytes{reader.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&first_bytes, 1, 5000), 1);
    shutdown(reader.Descriptor(), SHUT_WR);  // an orderly end of its side, nothing read

    ASSERT_TRUE(reports_.WaitFor<OfferServed>(1));
    EXPECT_FALSE(Reports()[0].whole) << "an end of stream ahead of the file's bytes counted";
}

TEST_F(TransferServerTest, ARecipientThatReadsEverythingButNeverClosesFailsAfterTheLimit) {
    engine_->Shutdown();
    Start(TransferLimits{30000, 300});
    fs::create_directories(temp_.path() / "Trip");
    WriteFile(temp_.path() / "Trip" / "a.txt", "hello");
    const auto file = Offer("b.txt", "content");
    const auto trip = OfferPath("Trip");
    platform::Socket file_reader = testing::Connect();
    platform::Socket trip_reader = testing::Connect();
    EXPECT_EQ(RequestAndReadToTheEnd(file_reader, FileRequest(std::to_string(file))), "content");
    EXPECT_EQ(RequestAndReadToTheEnd(trip_reader, DirectoryRequest(std::to_string(trip))),
              "000d:Trip:0:2000f:a.txt:05:1hello08:.:0:3");

    ASSERT_TRUE(reports_.WaitFor<OfferServed>(2));
    const std::vector<OfferServed> served = Reports();
    EXPECT_FALSE(served[0].whole) << "the file counted as sent without the recipient's close";
    EXPECT_FALSE(served[1].whole) << "the folder counted as sent without the recipient's close";
    EXPECT_EQ(Offers().Size(), 0u);
}

TEST_F(TransferServerTest, ShutdownEndsTheWaitForTheRecipientsClose) {
    engine_->Shutdown();
    // Ten minutes: a wait that shutdown could not end would outlast the test's time limit.
    Start(TransferLimits{30000, 600 * 1000});
    const auto id = Offer("f", "every byte");
    platform::Socket reader = testing::Connect();
    EXPECT_EQ(RequestAndReadToTheEnd(reader, FileRequest(std::to_string(id))), "every byte");
    engine_->Shutdown();
    ASSERT_TRUE(reports_.WaitFor<OfferServed>(1));
    EXPECT_FALSE(Reports()[0].whole) << "our own shutdown passed for the recipient's close";
}

TEST_F(TransferServerTest, ConnectionWithoutARequestIsClosedAfterTheLimit) {
    engine_->Shutdown();
    Start(TransferLimits{300, 60000});
    const auto id = Offer("f", "x");
    platform::Socket idle = testing::Connect();
    ASSERT_TRUE(idle.Valid());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(testing::ReceiveAll(idle), "");  // closed, not timed out on our side
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_TRUE(Offers().Find(id));
}

bool WaitForEmptyTable(OfferTable& offers, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (offers.Size() != 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    return offers.Size() == 0;
}

TEST_F(TransferServerTest, PeerThatStopsReadingIsGivenUp) {
    engine_->Shutdown();
    Start(TransferLimits{30000, 300});
    const auto id = Offer("big", Pattern(64 << 20));
    platform::Socket reader = testing::Connect();
    const std::string request = FileRequest(std::to_string(id));
    reader.Send(request.data(), request.size());
    // The connection thread removes the entry once its sending has ended, and says it failed.
    EXPECT_TRUE(WaitForEmptyTable(Offers(), 10s));
    ASSERT_TRUE(reports_.WaitFor<OfferServed>(1));
    const std::vector<OfferServed> served = Reports();
    ASSERT_EQ(served.size(), 1u);
    EXPECT_FALSE(served[0].whole);
}

TEST_F(TransferServerTest, ShutdownEndsRunningTransfersBeforeTheTableGoes) {
    const auto id = Offer("big", Pattern(64 << 20));
    platform::Socket reader = testing::Connect();
    const std::string request = FileRequest(std::to_string(id));
    reader.Send(request.data(), request.size());
    char first[1];
    ASSERT_EQ(reader.Receive(first, 1).bytes, 1U);  // the transfer runs and the peer reads no more
    const auto start = std::chrono::steady_clock::now();
    engine_->Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    // The connection thread has finished with the table: it removed the entry before the
    // engine let Shutdown return.
    EXPECT_EQ(Offers().Size(), 0u);
    server_.reset();
}

}  // namespace
}  // namespace veltra
