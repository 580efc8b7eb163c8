#include "session/messenger_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/protocol.h"
#include "platform/host_name.h"
#include "platform/named_mutex.h"
#include "receiving/download_manager.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/test_networks.h"
#include "tests/support/udp_peer.h"

// Sessions on 127.0.0.1 in the test's own network namespace; 127.0.0.2 plays the peer.
namespace veltra {
namespace {

using testing::Datagram;
using testing::RecordingSink;
using testing::UdpPeer;

const std::uint32_t kSessionAddress = platform::InetAddr("127.0.0.1");

Settings PeerWatchingSettings() {
    Settings settings;
    settings.user_name = L"me";
    settings.broadcast_list = L"127.0.0.2";
    return settings;
}

TEST(MessengerSession, TakenPortThrowsTheSocketErrorCode) {
    platform::Socket squatter = platform::Socket::Udp();
    ASSERT_TRUE(squatter.Bind(platform::MakeEndpoint(kSessionAddress, MSG_PORT)));
    Settings settings;
    RecordingSink sink;
    try {
        MessengerSession session(sink, settings, kSessionAddress);
        FAIL() << "the session started on a taken port";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EADDRINUSE);
        // The address bound is named when it is one of the host's.
        EXPECT_EQ(error.what(), "cannot bind UDP port 2425 on 127.0.0.1: " +
                                    std::generic_category().message(EADDRINUSE));
    }
    EXPECT_EQ(sink.Total(), 0u);
}

TEST(MessengerSession, StartsAnnouncedAndEndsWithAGoodbyeAlone) {
    UdpPeer inbox("127.0.0.2", MSG_PORT);
    Settings settings = PeerWatchingSettings();
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);
    auto announcement = inbox.ReceivePacket();
    ASSERT_NE(announcement, nullptr);
    EXPECT_EQ(announcement->command, 0x01000001);

    session.SendText(inbox.Address(), L"");  // an empty text sends nothing
    session.SendText(inbox.Address(), L"a\r\nb");
    auto message = inbox.ReceivePacket();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->command, 0x20);
    EXPECT_STREQ(message->Message(), "a\r\nb");  // sent as a LF b, shown again with CR LF

    EXPECT_TRUE(session.TakePeers().has_value());
    session.Shutdown();
    // The goodbye goes where the announcement went, so the peers drop the row at once.
    auto goodbye = inbox.ReceivePacket();
    ASSERT_NE(goodbye, nullptr);
    EXPECT_EQ(goodbye->command, 0x01000002);
    EXPECT_STREQ(goodbye->user_name, "me");
    session.Shutdown();
    EXPECT_EQ(session.TakePeers(), std::nullopt);
    session.SendText(inbox.Address(), L"after");
    session.Refresh();
    EXPECT_EQ(inbox.Receive(200), nullptr) << "a session that has shut down sends nothing";
}

// The session's peers once every one of keys is among them (a hang guard of ten seconds): whether
// each listed is this instance's own row, by key.
std::map<std::string, bool> OwnByKeyOnceListed(MessengerSession& session,
                                               const std::vector<std::string>& keys) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::map<std::string, bool> own;
        for (const OnlinePeer& peer : session.TakePeers().value_or(std::vector<OnlinePeer>{})) {
            own[peer.key] = peer.own;
        }
        const bool all = std::all_of(keys.begin(), keys.end(),
                                     [&own](const std::string& key) { return own.count(key); });
        if (all || std::chrono::steady_clock::now() > give_up) {
            return own;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string Announcement(const char* user, const std::string& host) {
    return Datagram(1, user, host.c_str(), CMD_ANNOUNCE | OPT_PRESENCE_MARK);
}

// It hears its own announcement (the list names its own address); that row is its own, and no
// other: not another instance under this host's name, not another name from its address.
TEST(MessengerSession, OnOneAddressOnlyTheRowFromItUnderThisHostsNameIsItsOwn) {
    const std::string host = platform::HostName();
    UdpPeer same_host("127.0.0.3", 0);
    UdpPeer same_address("127.0.0.1", 0);
    Settings settings = PeerWatchingSettings();
    settings.broadcast_list = L"127.0.0.1";
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);
    same_host.Send(Announcement("other", host), kSessionAddress);
    same_address.Send(Announcement("me", "elsewhere"), kSessionAddress);
    const std::string own_key = "me (127.0.0.1|" + host + ")";
    const std::string same_host_key = "other (127.0.0.3|" + host + ")";
    const std::string same_address_key = "me (127.0.0.1|elsewhere)";
    EXPECT_EQ(OwnByKeyOnceListed(session, {own_key, same_host_key, same_address_key}),
              (std::map<std::string, bool>{
                  {own_key, true}, {same_host_key, false}, {same_address_key, false}}));
}

// On every address it hears itself from each network it is on, each row its own; an address
// that comes later is announced on without a refresh, and the table keeps the peers it had.
TEST(MessengerSession, OnEveryAddressEachNetworksRowIsItsOwnAndANewAddressKeepsTheTable) {
    testing::TestNetworks networks;
    networks.AddInterface("vts0", "10.7.0.1/24");
    networks.RouteDefaultOver("vts0");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    const std::string host = platform::HostName();
    UdpPeer peer("127.0.0.2", 0);
    Settings settings = PeerWatchingSettings();
    settings.broadcast_list = L"127.0.0.1";
    RecordingSink sink;
    MessengerSession session(sink, settings);
    peer.Send(Announcement("other", host), kSessionAddress);
    const std::string on_lan = "me (10.7.0.1|" + host + ")";
    const std::string on_loopback = "me (127.0.0.1|" + host + ")";
    const std::string other = "other (127.0.0.2|" + host + ")";
    EXPECT_EQ(OwnByKeyOnceListed(session, {on_lan, on_loopback, other}),
              (std::map<std::string, bool>{{on_lan, true}, {on_loopback, true}, {other, false}}));

    networks.AddInterface("vts1", "10.7.1.1/24");
    ASSERT_TRUE(networks.Ready());
    const std::string on_new = "me (10.7.1.1|" + host + ")";
    EXPECT_EQ(OwnByKeyOnceListed(session, {on_new}),
              (std::map<std::string, bool>{
                  {on_lan, true}, {on_loopback, true}, {on_new, true}, {other, false}}))
        << "the peer, which did not announce itself again, is still listed";
}

TEST(MessengerSession, OfferGoesOutThroughTheTransferServer) {
    const std::string path = ::testing::TempDir() + "offered.txt";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("hello", file);
        std::fclose(file);
    }
    UdpPeer inbox("127.0.0.2", MSG_PORT);
    Settings settings = PeerWatchingSettings();
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);
    ASSERT_NE(inbox.ReceivePacket(), nullptr);  // the announcement

    session.OfferFiles(inbox.Address(), {platform::Path::FromHost(path)});
    auto pause = inbox.ReceivePacket();
    ASSERT_NE(pause, nullptr);
    EXPECT_EQ(pause->command, 0);
    auto offer = inbox.ReceivePacket();
    ASSERT_NE(offer, nullptr);
    EXPECT_EQ(offer->command, 0x00200020);
    EXPECT_NE(std::string(offer->Extension()).find(":offered.txt:"), std::string::npos)
        << offer->Extension();
    std::remove(path.c_str());
}

// Each path gets its outcome in order; only what exists takes an id, and the text goes first.
TEST(MessengerSession, OfferFilesSaysWhatBecameOfEachPath) {
    testing::TempFolder temp;
    testing::WriteFile(temp.path() / "here.txt", "here");
    ASSERT_EQ(mkfifo((temp.path() / "pipe").c_str(), 0600), 0);  // exists, yet cannot be read
    UdpPeer inbox("127.0.0.2", MSG_PORT);
    Settings settings = PeerWatchingSettings();
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);
    ASSERT_NE(inbox.ReceivePacket(), nullptr);  // the announcement

    const std::vector<platform::Path> paths = {testing::PathOf(temp.path() / "gone"),
                                               testing::PathOf(temp.path() / "here.txt"),
                                               testing::PathOf(temp.path() / "pipe")};
    const std::vector<OfferResult> results = session.OfferFiles(inbox.Address(), paths, L"see");
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].outcome, OfferOutcome::kNoSuchFile);
    EXPECT_EQ(results[1].outcome, OfferOutcome::kListed);
    EXPECT_EQ(results[2].outcome, OfferOutcome::kCannotRead);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(results[i].path, paths[i]);
        EXPECT_EQ(results[i].entry.has_value(), i == 1);
    }
    EXPECT_EQ(results[1].entry->file_id, 0) << "a path that does not exist takes no id";
    EXPECT_EQ(results[1].entry->path, paths[1]);
    EXPECT_EQ(results[1].entry->size, 4u);
    auto text = inbox.ReceivePacket();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->Message(), "see");
    ASSERT_NE(inbox.ReceivePacket(), nullptr);  // the pause
    auto offer = inbox.ReceivePacket();
    ASSERT_NE(offer, nullptr);
    EXPECT_EQ(std::string(offer->Extension()).find("0:here.txt:04:"), 0u) << offer->Extension();

    // Nothing exists: nothing is sent, the text neither.
    const std::vector<OfferResult> none =
        session.OfferFiles(inbox.Address(), {paths[0], paths[0]}, L"see");
    ASSERT_EQ(none.size(), 2u);
    EXPECT_EQ(none[1].outcome, OfferOutcome::kNoSuchFile);
    EXPECT_EQ(inbox.Receive(700), nullptr);
}

TEST(MessengerSession, StartingRemovesTheTemporariesACrashLeftAndNothingElse) {
    namespace fs = std::filesystem;
    testing::TempFolder temp;
    testing::ScopedHome home(temp.path().string());
    const fs::path folder = temp.path() / "Received";
    fs::create_directories(folder);
    for (const char* name : {".veltra-0123456789abcdef", ".veltra-fedcba9876543210", "photo.jpg"}) {
        std::ofstream(folder / name) << name;
    }
    // As an instance that crashed leaves the record: one of ours, and a name not of our pattern.
    fs::create_directories(temp.path() / ".local/share/veltra");
    std::ofstream(temp.path() / ".local/share/veltra/temporaries")
        << folder.string() << '\0' << ".veltra-0123456789abcdef" << '\0' << folder.string() << '\0'
        << "photo.jpg" << '\0';
    Settings settings;
    RecordingSink sink;
    MessengerSession session(sink, settings, kSessionAddress);

    EXPECT_FALSE(fs::exists(folder / ".veltra-0123456789abcdef"));
    EXPECT_TRUE(fs::exists(folder / ".veltra-fedcba9876543210")) << "a name not listed went";
    EXPECT_TRUE(fs::exists(folder / "photo.jpg")) << "a name not of the pattern went";
    EXPECT_FALSE(fs::exists(temp.path() / ".local/share/veltra/temporaries"));
}

TEST(MessengerSession, AListedUsersOfferIsFetchedBeforeEarlierOffersFromUnknownAddresses) {
    testing::TempFolder home;
    testing::ScopedHome scoped_home(home.path().string());
    testing::FakePeer server(testing::Serve("x"));  // TCP at 127.0.0.2
    UdpPeer user("127.0.0.2", MSG_PORT);
    Settings settings = PeerWatchingSettings();
    RecordingSink sink;
    // Held here, the batch lock keeps every offer waiting in the queue.
    platform::NamedMutex batch_lock(DownloadManager::kBatchLockName);
    batch_lock.lock();
    MessengerSession session(sink, settings, kSessionAddress);
    ASSERT_NE(user.ReceivePacket(), nullptr);  // the announcement
    ASSERT_TRUE(user.AnnounceTo(kSessionAddress, "user", "pc"));

    // Nothing serves at the unknown addresses: their entries fail at once.
    for (int i = 1; i <= 2; ++i) {
        const UdpPeer unknown(("127.0.3." + std::to_string(i)).c_str(), MSG_PORT);
        unknown.Send(Datagram(i, "x", "y", CMD_MESSAGE | OPT_ATTACHMENTS, "", "1:unknown:1:0:1\a"),
                     kSessionAddress);
    }
    user.Send(Datagram(20, "user", "pc", CMD_MESSAGE | OPT_ATTACHMENTS, "", "0:listed:1:0:1\a"),
              kSessionAddress);
    user.Send(Datagram(21, "user", "pc", CMD_MESSAGE, "after the offers"), kSessionAddress);
    ASSERT_TRUE(sink.WaitFor<MessageReceived>(1));  // the offers before it wait in the queue
    batch_lock.unlock();

    ASSERT_TRUE(sink.WaitFor<FilesReceived>(3));
    std::vector<std::string> order;
    for (const FileDone& done : sink.Of<FileDone>()) {
        order.push_back(done.name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"listed", "unknown", "unknown"}));
}

}  // namespace
}  // namespace veltra
