#include "engine/engine.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/protocol.h"
#include "platform/socket.h"
#include "tests/platform/task_limit.h"
#include "tests/support/recording_sink.h"
#include "tests/support/test_networks.h"
#include "tests/support/udp_peer.h"

// These tests run in a network namespace of their own (tests/isolated.sh): the engine binds
// 127.0.0.1 and plays against plain sockets on other loopback addresses.
namespace veltra {
namespace {

using namespace std::chrono_literals;

const std::uint32_t kEngineAddress = platform::InetAddr("127.0.0.1");

int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

// The thread count once it has settled at expected: a thread that was joined can stay listed in
// /proc for a moment after the join returns, so a count taken at once may still hold it. A count
// that never settles (a thread left running) is returned as it stands after the wait.
int ThreadCountSettlingAt(int expected) {
    const auto give_up = std::chrono::steady_clock::now() + 5s;  // a hang guard only
    int count = ThreadCount();
    while (count != expected && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(1ms);
        count = ThreadCount();
    }
    return count;
}

// Starts and joins a thread, and waits until it is no longer listed: a sanitizer starts a helper
// thread of its own with the first thread, which a count taken before must hold.
void StartAThreadOnce() {
    std::atomic<pid_t> helper{0};
    std::thread([&helper] { helper = gettid(); }).join();
    const std::string task = "/proc/self/task/" + std::to_string(helper.load());
    const auto give_up = std::chrono::steady_clock::now() + 5s;  // a hang guard only
    while (access(task.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(1ms);
    }
}

// A peer at address:2425 that collects what the engine sends.
class FakePeer {
  public:
    explicit FakePeer(const char* address) : socket_(platform::Socket::Udp()) {
        EXPECT_TRUE(socket_.Bind(platform::MakeEndpoint(platform::InetAddr(address), MSG_PORT)));
        socket_.SetReceiveTimeout(2000);
    }
    std::string Receive() {
        char buffer[MAX_PACKET + 1];
        platform::Endpoint source;
        long length = socket_.ReceiveFrom(buffer, MAX_PACKET, source);
        return length < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
    }
    void SendToEngine(const std::string& bytes) {
        socket_.SendTo(bytes.data(), bytes.size(),
                       platform::MakeEndpoint(kEngineAddress, MSG_PORT));
    }

  private:
    platform::Socket socket_;
};

class RecordingListener : public CEngineListener {
  public:
    void OnPacket(PacketRecord& packet) override {
        std::lock_guard guard(mutex_);
        packets_.push_back(std::make_unique<PacketRecord>(packet));
    }
    std::size_t Count() {
        std::lock_guard guard(mutex_);
        return packets_.size();
    }
    bool WaitFor(std::size_t count) {
        for (int i = 0; i < 200 && Count() < count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return Count() >= count;
    }
    // Waits until a packet from address (network order) with command has come (a hang guard of
    // ten seconds).
    bool WaitFrom(std::uint32_t address, std::int32_t command) {
        const auto give_up = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            {
                std::lock_guard guard(mutex_);
                for (const auto& packet : packets_) {
                    if (packet->source_address == address && packet->command == command) {
                        return true;
                    }
                }
            }
            if (std::chrono::steady_clock::now() > give_up) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    std::vector<std::unique_ptr<PacketRecord>> packets_;

  private:
    std::mutex mutex_;
};

Settings TestSettings() {
    Settings settings;
    settings.user_name = L"wm";
    return settings;
}

// Splits "1:N:user:host:command:" into its packet number and the rest.
std::pair<long, std::string> SplitNumber(const std::string& packet) {
    std::size_t first = packet.find(':');
    std::size_t second = packet.find(':', first + 1);
    return {std::stol(packet.substr(first + 1, second - first - 1)),
            packet.substr(0, first + 1) + "N" + packet.substr(second)};
}

// What a start-up failure says: the step, the object, then the cause.
std::string StepFailed(const std::string& step, int error) {
    return step + ": " + std::generic_category().message(error);
}

TEST(EngineStartUp, TakenUdpPortThrowsTheBindErrorAndStartsNoThread) {
    platform::Socket squatter = platform::Socket::Udp();
    ASSERT_TRUE(squatter.Bind(platform::MakeEndpoint(0, MSG_PORT)));
    Settings settings = TestSettings();
    const int threads_before = ThreadCount();
    try {
        CMessengerEngine engine(settings);
        FAIL() << "the engine started on a taken port";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EADDRINUSE);
        EXPECT_EQ(error.what(), StepFailed("cannot bind UDP port 2425", EADDRINUSE));
    }
    EXPECT_EQ(ThreadCount(), threads_before);
}

TEST(EngineStartUp, AThreadThatCannotStartIsReportedWithItsErrnoAndStopsTheOther) {
    Settings settings = TestSettings();
    StartAThreadOnce();
    const int threads_before = ThreadCount();
    {
        testing::NoNewThreads limit(1);  // the receive thread starts, the accept thread does not
        if (!limit.Active()) {
            GTEST_SKIP() << "no writable pids cgroup to limit the tasks";
        }
        try {
            CMessengerEngine engine(settings, kEngineAddress);
            FAIL() << "the engine started without its accept thread";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), EAGAIN);
            EXPECT_EQ(error.what(),
                      StepFailed("cannot create thread for the TCP accept loop", EAGAIN));
        }
    }
    EXPECT_EQ(ThreadCountSettlingAt(threads_before), threads_before);
    platform::Socket udp = platform::Socket::Udp();
    EXPECT_TRUE(udp.Bind(platform::MakeEndpoint(kEngineAddress, MSG_PORT)));
}

TEST(EngineStartUp, TakenTcpPortThrowsAndReleasesTheUdpPort) {
    platform::Socket squatter = platform::Socket::Tcp();
    ASSERT_TRUE(squatter.Bind(platform::MakeEndpoint(0, MSG_PORT)));
    ASSERT_TRUE(squatter.Listen(1));
    Settings settings = TestSettings();
    try {
        CMessengerEngine engine(settings);
        ADD_FAILURE() << "the engine started on a taken port";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.what(), StepFailed("cannot bind TCP port 2425", EADDRINUSE));
    }
    platform::Socket udp = platform::Socket::Udp();
    EXPECT_TRUE(udp.Bind(platform::MakeEndpoint(0, MSG_PORT)));
}

TEST(EngineStartUp, RestartsRightAfterAServedConnection) {
    Settings settings = TestSettings();
    for (int run = 0; run < 2; ++run) {
        CMessengerEngine engine(settings, kEngineAddress);
        platform::Socket client = platform::Socket::Tcp();
        ASSERT_TRUE(client.Connect(platform::MakeEndpoint(kEngineAddress, MSG_PORT), 1000));
        std::this_thread::sleep_for(50ms);
        engine.Shutdown();  // the server's side closes first and lingers in TIME_WAIT
    }
}

TEST(EngineSending, AnnouncementGoesToEveryListedHostInOrder) {
    Settings settings = TestSettings();
    settings.broadcast_list = L";127.0.0.2;;127.0.0.3;";
    FakePeer first("127.0.0.2");
    FakePeer second("127.0.0.3");
    CMessengerEngine engine(settings, kEngineAddress);
    engine.AnnouncePresence();
    const std::string host = engine.HostName();
    auto [number_a, rest_a] = SplitNumber(first.Receive());
    auto [number_b, rest_b] = SplitNumber(second.Receive());
    const std::string expected = "1:N:wm:" + host + ":16777217:" + std::string(1, '\0');
    EXPECT_EQ(rest_a, expected);
    EXPECT_EQ(rest_b, expected);
    // The broadcast copy (undeliverable in this namespace) drew the number before the first.
    EXPECT_EQ(number_b, number_a + 1);
}

constexpr auto kAnnounce = static_cast<std::int32_t>(CMD_ANNOUNCE | OPT_PRESENCE_MARK);
constexpr auto kDepart = static_cast<std::int32_t>(CMD_DEPART | OPT_PRESENCE_MARK);

// A datagram the engine sent, as it came back: its source address and command word.
using Sent = std::vector<std::pair<std::string, std::int32_t>>;

// The datagrams of command that the engine heard of its own, which the networks of the namespace
// bring back to it from each broadcast, in the order sent (by packet number); collected until a
// datagram that sentinel sends after them has arrived. The listener is unregistered and emptied
// afterwards. Also the numbers of the first and the last of them.
struct HeardOwn {
    Sent sent;
    std::int32_t first = 0;
    std::int32_t last = 0;
};
HeardOwn HearOwn(CMessengerEngine& engine, RecordingListener& listener,
                 const testing::UdpPeer& sentinel, std::int32_t command) {
    sentinel.Send(std::string("1:1:p:h:0:\0", 11), kEngineAddress);
    EXPECT_TRUE(listener.WaitFrom(sentinel.Address(), 0));
    engine.SetListener(nullptr);
    std::vector<const PacketRecord*> own;
    for (const auto& packet : listener.packets_) {
        if (packet->command == command) {
            own.push_back(packet.get());
        }
    }
    std::sort(own.begin(), own.end(), [](const PacketRecord* left, const PacketRecord* right) {
        return left->packet_number < right->packet_number;
    });
    HeardOwn heard;
    for (const PacketRecord* packet : own) {
        heard.sent.emplace_back(platform::InetNtoa(packet->source_address), packet->command);
    }
    if (!own.empty()) {
        heard.first = own.front()->packet_number;
        heard.last = own.back()->packet_number;
    }
    listener.packets_.clear();
    return heard;
}

// Bound to every address, the engine tells the limited broadcast, each network the limited
// broadcast does not reach (one datagram each, in order), then the list; a departure goes the
// same way. Here the default route leads to a network of its own (the shape of a VPN). The list
// names the engine's own address, so its datagram comes back as well.
TEST(EnginePresence, EveryNetworkOnceInOrderThenTheListForAnnouncementsAndDepartures) {
    testing::TestNetworks networks;
    networks.AddInterface("vte0", "10.7.0.1/24");
    networks.AddAddress("vte0", "10.7.9.1/24");  // on the wire the limited broadcast takes
    networks.AddInterface("vte1", "10.7.1.1/24");
    networks.AddInterface("vte2", "10.7.2.1/16");
    networks.RouteDefaultOver("vte0");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    Settings settings = TestSettings();
    settings.broadcast_list = L"10.7.1.1";
    const testing::UdpPeer sentinel("127.0.0.2", 0);
    RecordingListener listener;
    CMessengerEngine engine(settings);
    for (const std::int32_t command : {kAnnounce, kDepart}) {
        engine.SetListener(&listener);
        command == kAnnounce ? engine.AnnouncePresence() : engine.AnnounceDeparture();
        const HeardOwn heard = HearOwn(engine, listener, sentinel, command);
        EXPECT_EQ(heard.sent, (Sent{{"10.7.0.1", command},
                                    {"10.7.1.1", command},
                                    {"10.7.2.1", command},
                                    {"10.7.1.1", command}}));
        EXPECT_EQ(heard.last, heard.first + 3) << "nothing else was sent between them";
    }
}

TEST(EnginePresence, OnAHostWithOneNetworkAnAnnouncementIsOneDatagram) {
    testing::TestNetworks networks;
    networks.AddInterface("vte0", "10.7.0.1/24");
    networks.RouteDefaultOver("vte0");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    Settings settings = TestSettings();
    const testing::UdpPeer sentinel("127.0.0.2", 0);
    RecordingListener listener;
    CMessengerEngine engine(settings);
    engine.SetListener(&listener);
    engine.AnnouncePresence();
    EXPECT_EQ(HearOwn(engine, listener, sentinel, kAnnounce).sent, (Sent{{"10.7.0.1", kAnnounce}}));
}

// Wi-Fi joins: the engine announces itself on the new network by itself, once the change has
// settled, without anybody asking.
TEST(EnginePresence, AnAddressAddedLaterIsAnnouncedOnByItself) {
    testing::TestNetworks networks;
    networks.AddInterface("vte0", "10.7.0.1/24");
    networks.RouteDefaultOver("vte0");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    Settings settings = TestSettings();
    RecordingListener listener;
    CMessengerEngine engine(settings);
    engine.SetListener(&listener);
    networks.AddInterface("vte1", "10.7.1.1/24");
    ASSERT_TRUE(networks.Ready());
    EXPECT_TRUE(listener.WaitFrom(platform::InetAddr("10.7.1.1"), kAnnounce));
    EXPECT_TRUE(listener.WaitFrom(platform::InetAddr("10.7.0.1"), kAnnounce));
    engine.SetListener(nullptr);
}

TEST(EngineSending, PacketsCarryTheUserNameOfTheMomentAndFreshNumbers) {
    Settings settings = TestSettings();
    CMessengerEngine engine(settings, kEngineAddress);
    char buffer[MAX_PACKET];
    int length = 0;
    const std::int32_t first = engine.BuildPacket(buffer, 0x20, "x", nullptr, length);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)),
              "1:" + std::to_string(first) + ":wm:" + engine.HostName() + ":32:x" + '\0');
    engine.ChangeIdentity(L"张三", L"");  // an announcement went between, with its own number
    const std::int32_t second = engine.BuildPacket(buffer, 0x20, "x", nullptr, length);
    EXPECT_GT(second, first);
    EXPECT_NE(std::string(buffer, static_cast<std::size_t>(length)).find(":\xD5\xC5\xC8\xFD:"),
              std::string::npos);
    // Seeded with the seconds since 1970.
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_NEAR(static_cast<double>(static_cast<std::uint32_t>(first)),
                static_cast<double>(static_cast<std::uint32_t>(now)), 5.0);
}

TEST(EngineSending, ARenameDepartsUnderTheOldNameThenAnnouncesTheNewToTheNewList) {
    Settings settings = TestSettings();
    settings.broadcast_list = L"127.0.0.2";
    FakePeer old_listed("127.0.0.2");
    FakePeer new_listed("127.0.0.3");
    CMessengerEngine engine(settings, kEngineAddress);
    engine.ChangeIdentity(L"王伟", L"127.0.0.3");
    const std::string host = engine.HostName();
    EXPECT_EQ(SplitNumber(old_listed.Receive()).second,
              "1:N:wm:" + host + ":" + std::to_string(CMD_DEPART | OPT_PRESENCE_MARK) + ":" +
                  std::string(1, '\0'));
    EXPECT_EQ(SplitNumber(new_listed.Receive()).second,
              "1:N:\xCD\xF5\xCE\xB0:" + host + ":16777217:" + std::string(1, '\0'));
    EXPECT_EQ(engine.UserName(), "\xCD\xF5\xCE\xB0");

    // The same name again: no departure, only the announcement.
    engine.ChangeIdentity(L"王伟", L"127.0.0.2");
    EXPECT_EQ(SplitNumber(old_listed.Receive()).second,
              "1:N:\xCD\xF5\xCE\xB0:" + host + ":16777217:" + std::string(1, '\0'));
}

TEST(EngineSending, ANameChangedWhileOtherThreadsBuildIsNeverTorn) {
    Settings settings = TestSettings();
    CMessengerEngine engine(settings, kEngineAddress);
    std::atomic<bool> done{false};
    std::vector<std::thread> builders;
    std::atomic<int> torn{0};
    for (int t = 0; t < 2; ++t) {
        builders.emplace_back([&] {
            char buffer[MAX_PACKET];
            int length = 0;
            while (!done) {
                engine.BuildPacket(buffer, 0x20, "hi", nullptr, length);
                const std::string user = SplitNumber(std::string(buffer)).second.substr(4);
                if (!user.starts_with("wm:") && !user.starts_with("a-much-longer-name:")) {
                    ++torn;
                }
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        engine.ChangeIdentity(i % 2 == 0 ? L"a-much-longer-name" : L"wm", L"");
    }
    done = true;
    for (auto& builder : builders) {
        builder.join();
    }
    EXPECT_EQ(torn, 0);
}

TEST(EngineSending, ConcurrentBuildersNeverShareANumber) {
    Settings settings = TestSettings();
    CMessengerEngine engine(settings, kEngineAddress);
    constexpr int kThreads = 4;
    constexpr int kPackets = 2000;
    std::vector<std::vector<std::int32_t>> numbers(kThreads);
    std::vector<std::thread> builders;
    for (int t = 0; t < kThreads; ++t) {
        builders.emplace_back([&engine, &numbers, t] {
            char buffer[MAX_PACKET];
            int length = 0;
            for (int i = 0; i < kPackets; ++i) {
                numbers[t].push_back(engine.BuildPacket(buffer, 0x20, "hi", nullptr, length));
            }
        });
    }
    for (auto& builder : builders) {
        builder.join();
    }
    std::set<std::int32_t> distinct;
    for (const auto& list : numbers) {
        distinct.insert(list.begin(), list.end());
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kPackets));
}

TEST(EngineReceiving, DatagramsBeforeRegistrationWaitForTheListener) {
    Settings settings = TestSettings();
    FakePeer peer("127.0.0.2");
    CMessengerEngine engine(settings, kEngineAddress);
    peer.SendToEngine(std::string("1:9:p:h:32:early\0", 17));
    std::this_thread::sleep_for(100ms);
    RecordingListener listener;
    engine.SetListener(&listener);
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_STREQ(listener.packets_[0]->Message(), "early");
    EXPECT_EQ(listener.packets_[0]->source_address, platform::InetAddr("127.0.0.2"));
    engine.SetListener(nullptr);
    engine.Shutdown();
}

TEST(EngineReceiving, OversizedAndEmptyDatagramsDoNotStopTheLoop) {
    Settings settings = TestSettings();
    FakePeer peer("127.0.0.2");
    CMessengerEngine engine(settings, kEngineAddress);
    RecordingListener listener;
    engine.SetListener(&listener);
    peer.SendToEngine(std::string("1:9:p:h:32:before\0", 19));
    peer.SendToEngine(std::string(MAX_PACKET + 100, 'x'));
    peer.SendToEngine(std::string());
    peer.SendToEngine(std::string("1:10:p:h:32:after\0", 18));
    ASSERT_TRUE(listener.WaitFor(3));
    EXPECT_STREQ(listener.packets_[0]->Message(), "before");
    // The empty one, unparsed: nothing of the datagram before it shows through.
    EXPECT_EQ(listener.packets_[1]->command, 0);
    EXPECT_STREQ(listener.packets_[1]->Message(), "");
    EXPECT_STREQ(listener.packets_[2]->Message(), "after");
    EXPECT_EQ(listener.Count(), 3u);
    engine.SetListener(nullptr);
}

TEST(EngineShutdown, ClosesSocketsAndDeliversNothingMore) {
    Settings settings = TestSettings();
    FakePeer peer("127.0.0.2");
    RecordingListener listener;
    {
        CMessengerEngine engine(settings, kEngineAddress);
        engine.SetListener(&listener);
        engine.SetListener(nullptr);
        engine.Shutdown();
        engine.Shutdown();
        peer.SendToEngine(std::string("1:11:p:h:32:late\0", 17));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(listener.Count(), 0u);
    platform::Socket udp = platform::Socket::Udp();
    EXPECT_TRUE(udp.Bind(platform::MakeEndpoint(kEngineAddress, MSG_PORT)));
}

class BlockingHandler : public ConnectionHandler {
  public:
    void ServeConnection(const platform::Socket& connection) override {
        ++started;
        char byte;
        connection.Receive(&byte, 1);  // blocks until the engine interrupts it
        ++finished;
    }
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
};

TEST(EngineShutdown, InterruptsAndJoinsConnectionThreads) {
    Settings settings = TestSettings();
    BlockingHandler handler;
    std::vector<platform::Socket> clients;
    {
        CMessengerEngine engine(settings, kEngineAddress);
        engine.SetConnectionHandler(&handler);
        for (int i = 0; i < 3; ++i) {
            clients.push_back(platform::Socket::Tcp());
            ASSERT_TRUE(
                clients.back().Connect(platform::MakeEndpoint(kEngineAddress, MSG_PORT), 1000));
        }
        for (int i = 0; i < 100 && handler.started < 3; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(handler.started, 3);
        auto shutdown = std::async(std::launch::async, [&engine] { engine.Shutdown(); });
        ASSERT_EQ(shutdown.wait_for(5s), std::future_status::ready);
    }
    EXPECT_EQ(handler.finished, 3);
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.rfind(start, 0) == 0;
}

// An engine on 127.0.0.1 that logs to sink and hands connections to handler (if any).
std::unique_ptr<CMessengerEngine> LoggingEngine(const Settings& settings, EventSink& sink,
                                                ConnectionHandler* handler = nullptr) {
    auto engine = std::make_unique<CMessengerEngine>(settings, kEngineAddress);
    engine->SetNoticeSink(&sink);
    engine->SetConnectionHandler(handler);
    return engine;
}

platform::Socket ConnectFrom(const char* address) {
    platform::Socket client = platform::Socket::Tcp();
    EXPECT_TRUE(client.Bind(platform::MakeEndpoint(platform::InetAddr(address), 0)));
    EXPECT_TRUE(client.Connect(platform::MakeEndpoint(kEngineAddress, MSG_PORT), 2000));
    client.SetReceiveTimeout(2000);
    return client;
}

// True when the engine closed the connection without a byte.
bool ClosedByEngine(const platform::Socket& client) {
    char byte;
    return client.Receive(&byte, 1).status == platform::IoStatus::kEnd;
}

class ThrowingOnceListener : public RecordingListener {
  public:
    void OnPacket(PacketRecord& packet) override {
        if (!thrown_.exchange(true)) {
            throw std::bad_alloc();
        }
        RecordingListener::OnPacket(packet);
    }

  private:
    std::atomic<bool> thrown_{false};
};

TEST(EngineTrouble, AListenerThatThrowsIsLoggedAndTheLoopGoesOn) {
    Settings settings = TestSettings();
    FakePeer peer("127.0.0.2");
    testing::RecordingSink events;
    const auto engine = LoggingEngine(settings, events);
    ThrowingOnceListener listener;
    engine->SetListener(&listener);
    peer.SendToEngine(std::string("1:1:p:h:32:first\0", 17));
    peer.SendToEngine(std::string("1:2:p:h:32:second\0", 18));
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_STREQ(listener.packets_[0]->Message(), "second");
    EXPECT_EQ(events.Notices(), std::vector<std::wstring>{L"处理收到的数据出错：std::bad_alloc"});
    engine->SetListener(nullptr);
}

class ThrowingOnceHandler : public ConnectionHandler {
  public:
    void ServeConnection(const platform::Socket& connection) override {
        if (!thrown_.exchange(true)) {
            throw std::runtime_error("handler failed");
        }
        connection.Send("ok", 2);
    }

  private:
    std::atomic<bool> thrown_{false};
};

TEST(EngineTrouble, AConnectionHandlerThatThrowsIsLoggedAndLaterConnectionsAreServed) {
    Settings settings = TestSettings();
    testing::RecordingSink events;
    ThrowingOnceHandler handler;
    const auto engine = LoggingEngine(settings, events, &handler);
    platform::Socket first = ConnectFrom("127.0.0.2");
    EXPECT_TRUE(ClosedByEngine(first));
    platform::Socket second = ConnectFrom("127.0.0.2");
    char answer[2] = {};
    EXPECT_EQ(second.Receive(answer, sizeof answer).bytes, 2U);
    EXPECT_EQ(events.Notices(), std::vector<std::wstring>{L"处理连接出错：handler failed"});
}

TEST(EngineTrouble, AConnectionThreadThatCannotStartClosesItsConnectionAndIsLogged) {
    Settings settings = TestSettings();
    testing::RecordingSink events;
    BlockingHandler handler;
    const auto engine = LoggingEngine(settings, events, &handler);
    testing::NoNewThreads limit;
    if (!limit.Active()) {
        GTEST_SKIP() << "no writable pids cgroup to limit the tasks";
    }
    platform::Socket refused = ConnectFrom("127.0.0.2");
    EXPECT_TRUE(ClosedByEngine(refused));
    limit.Lift();
    ASSERT_TRUE(events.WaitFor<LogNotice>(1));
    const std::vector<std::wstring> notices = events.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(StartsWith(notices[0], L"无法启动连接线程，连接已关闭：")) << notices[0].size();

    platform::Socket served = ConnectFrom("127.0.0.2");
    for (int i = 0; i < 200 && handler.started < 1; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(handler.started, 1);
}

// A host that keeps opening connections gets its first few served; the rest are closed at once,
// so another host's connection is taken soon.
TEST(EngineAccept, ACrowdFromOneAddressIsTurnedAwayAtOnceWhileOthersAreServed) {
    Settings settings = TestSettings();
    BlockingHandler handler;
    CMessengerEngine engine(settings, kEngineAddress);
    engine.SetConnectionHandler(&handler);
    std::vector<platform::Socket> served;
    for (std::size_t i = 0; i < kConnectionsPerPeer; ++i) {
        served.push_back(ConnectFrom("127.0.0.2"));
    }
    std::vector<platform::Socket> crowd;
    for (int i = 0; i < 100; ++i) {
        crowd.push_back(ConnectFrom("127.0.0.2"));
    }
    platform::Socket honest = ConnectFrom("127.0.0.3");
    const int expected = static_cast<int>(kConnectionsPerPeer) + 1;
    for (int i = 0; i < 2000 && handler.started < expected; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(handler.started, expected);
    // Each of the crowd was taken and closed at once: the accept loop never paused for one.
    EXPECT_EQ(engine.AcceptPauses(), 0u);
    int closed = 0;
    for (const platform::Socket& client : crowd) {
        closed += ClosedByEngine(client);
    }
    EXPECT_EQ(closed, 100);
}

// Holds every connection's thread until released, whatever its peer does, as a server still
// winding down a finished transfer might.
class HoldingHandler : public ConnectionHandler {
  public:
    void ServeConnection(const platform::Socket&) override {
        std::unique_lock lock(mutex_);
        ++started;
        released_.wait(lock, [this] { return release_; });
    }
    void Release() {
        std::lock_guard guard(mutex_);
        release_ = true;
        released_.notify_all();
    }
    int Started() {
        std::lock_guard guard(mutex_);
        return started;
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
    int started = 0;
};

// The entries of an offer are fetched one after another, each over a connection of its own: the
// threads of connections their peer has closed do not count against it, however slowly they end.
TEST(EngineAccept, ConnectionsTheirPeerHasClosedDoNotCountAgainstIt) {
    Settings settings = TestSettings();
    HoldingHandler handler;
    CMessengerEngine engine(settings, kEngineAddress);
    engine.SetConnectionHandler(&handler);
    // Declared after the engine: the threads are released before its shutdown joins them.
    struct ReleaseAtEnd {
        HoldingHandler& handler;
        ~ReleaseAtEnd() { handler.Release(); }
    } release{handler};
    const auto wait_for_started = [&handler](int count) {
        for (int i = 0; i < 400 && handler.Started() < count; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return handler.Started();
    };
    const int held = static_cast<int>(kConnectionsPerPeer);
    for (int i = 1; i <= held; ++i) {
        platform::Socket fetched = ConnectFrom("127.0.0.2");
        ASSERT_EQ(wait_for_started(i), i);
    }  // each closed here, its thread still held
    platform::Socket next = ConnectFrom("127.0.0.2");
    EXPECT_EQ(wait_for_started(held + 1), held + 1) << "the next connection was turned away";
    // Each closed one made room once: the open ones still count, up to the bound.
    std::vector<platform::Socket> open;
    for (int i = 2; i <= held; ++i) {
        open.push_back(ConnectFrom("127.0.0.2"));
        ASSERT_EQ(wait_for_started(held + i), held + i);
    }
    const platform::Socket crowding = ConnectFrom("127.0.0.2");
    EXPECT_TRUE(ClosedByEngine(crowding)) << "more open connections than the bound were taken";
}

// Answers each connection with "ok" and ends it.
class AnsweringHandler : public ConnectionHandler {
  public:
    void ServeConnection(const platform::Socket& connection) override {
        connection.Send("ok", 2);
        ++served;
    }
    std::atomic<int> served{0};
};

// Each entry of an offer is fetched over a connection of its own, one after another: the accept
// loop takes each at once. Pausing after every connection taken would count one pause each.
TEST(EngineAccept, ConnectionsOneAfterAnotherAreTakenWithoutAPause) {
    Settings settings = TestSettings();
    AnsweringHandler handler;
    CMessengerEngine engine(settings, kEngineAddress);
    engine.SetConnectionHandler(&handler);
    for (int i = 0; i < 20; ++i) {
        platform::Socket client = ConnectFrom("127.0.0.2");
        char answer[2] = {};
        ASSERT_EQ(client.Receive(answer, sizeof answer).bytes, 2U) << "connection " << i;
        // Closed once its thread is done, so the next one is not turned away as a crowd.
        ASSERT_TRUE(ClosedByEngine(client)) << "connection " << i;
    }
    EXPECT_EQ(engine.AcceptPauses(), 0u);
}

// Lowers the process's limit of open descriptors and takes every free one below it, so that the
// next accept fails (EMFILE) as on a host out of descriptors; all is given back at the end.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 256);
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = dup(STDERR_FILENO); fd >= 0; fd = dup(STDERR_FILENO)) {
            taken_.push_back(fd);
        }
    }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;
    ~NoFreeDescriptors() {
        for (int fd : taken_) {
            close(fd);
        }
        setrlimit(RLIMIT_NOFILE, &saved_);
    }

  private:
    rlimit saved_{};
    std::vector<int> taken_;
};

// An accept that fails leaves the connection waiting: the loop pauses before each new attempt
// instead of spinning, and takes the connection once a descriptor is free again. (An accept
// already waiting when the descriptors ran out holds one of its own, so one of the two
// connections may be taken at once; the other cannot.)
TEST(EngineAccept, AFailingAcceptPausesBetweenAttemptsAndTheConnectionIsTakenLater) {
    Settings settings = TestSettings();
    BlockingHandler handler;  // keeps each taken connection's descriptor
    CMessengerEngine engine(settings, kEngineAddress);
    engine.SetConnectionHandler(&handler);
    std::vector<platform::Socket> clients;
    for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
        clients.push_back(platform::Socket::Tcp());
        ASSERT_TRUE(clients.back().Bind(platform::MakeEndpoint(platform::InetAddr(address), 0)));
    }
    {
        NoFreeDescriptors exhausted;
        for (const platform::Socket& client : clients) {
            ASSERT_TRUE(client.Connect(platform::MakeEndpoint(kEngineAddress, MSG_PORT), 2000));
        }
        for (int i = 0; i < 500 && engine.AcceptPauses() < 2; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_GE(engine.AcceptPauses(), 2u);
        EXPECT_LE(handler.started, 1);
    }
    for (int i = 0; i < 500 && handler.started < 2; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(handler.started, 2);
}

}  // namespace
}  // namespace veltra
