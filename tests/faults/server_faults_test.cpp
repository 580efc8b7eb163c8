// The serving side under faulty peers: a peer that stops reading, and a crowd of connections
// that never send a request. The real transfer server serves on 127.0.0.2; the receiving
// instance of the fixture fetches from it on 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serving/transfer_server.h"
#include "tests/faults/fault_fixture.h"

namespace veltra::faults {
namespace {

// The serving instance: engine and transfer server, offering files from a folder of its own.
class Server {
  public:
    explicit Server(TransferLimits limits)
        : engine_(settings_, platform::InetAddr(kPeerAddress)), server_(engine_, limits) {}
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    // The connection threads read the server's table: they end before it goes.
    ~Server() { engine_.Shutdown(); }

    // Offers a new file of this content to the receiver; returns its entry for the offer list.
    std::string AddFile(const std::string& name, const std::string& content) {
        const fs::path path = folder_.path() / name;
        std::ofstream(path, std::ios::binary) << content;
        const std::int32_t id = server_.Offers().RegisterOffer(
            platform::Path(path.wstring()),
            platform::File::OpenForRead(platform::Path(path.wstring()), platform::Sharing::kShared)
                ->Identity(),
            platform::InetAddr(kReceiverAddress));
        char entry[128];
        std::snprintf(entry, sizeof entry, "%x:%s:%zx:0:1", static_cast<unsigned>(id), name.c_str(),
                      content.size());
        return entry;
    }
    void Offer(const std::vector<std::string>& entries) {
        std::string list;
        for (const std::string& entry : entries) {
            list += entry + "\a";
        }
        engine_.SendDatagram(platform::InetAddr(kReceiverAddress), MSG_PORT,
                             static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS), "",
                             list.c_str());
    }
    TransferServer& Transfers() { return server_; }

  private:
    testing::TempFolder folder_;
    Settings settings_;
    CMessengerEngine engine_;
    TransferServer server_;
};

// A raw connection from the receiver's address (or another) to the server; a non-blocking one is
// left to connect on its own.
platform::Socket ConnectFromReceiver(bool blocking, int receive_buffer = 0,
                                     const char* from = kReceiverAddress) {
    platform::Socket socket = platform::Socket::Tcp();
    if (receive_buffer > 0) {
        socket.SetReceiveBufferSize(receive_buffer);
    }
    EXPECT_TRUE(socket.Bind(platform::MakeEndpoint(platform::InetAddr(from), 0)));
    const auto server = platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT);
    if (blocking) {
        EXPECT_TRUE(socket.Connect(server, 2000));
        return socket;
    }
    const int flags = fcntl(socket.Descriptor(), F_GETFL);
    fcntl(socket.Descriptor(), F_SETFL, flags | O_NONBLOCK);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = server.port;
    address.sin_addr.s_addr = server.address;
    connect(socket.Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return socket;
}

TEST(ServerFaults, APeerThatStopsReadingIsGivenUpWhileOthersAreServed) {
    TransferLimits limits;
    limits.stalled_peer_ms = 1000;
    Server server(limits);
    const std::string big_entry = server.AddFile("big.bin", Pattern(32 << 20));
    const std::string small = Pattern(5000, 's');
    const std::string small_entry = server.AddFile("small.bin", small);

    // Requests the big file and never reads a byte of it.
    platform::Socket stalled = ConnectFromReceiver(true, 4096);
    char request[64];
    const int length =
        std::snprintf(request, sizeof request,
                      "1:1:x:y:96:1:%s:0:", big_entry.substr(0, big_entry.find(':')).c_str());
    ASSERT_TRUE(SendBytes(stalled, std::string(request, static_cast<std::size_t>(length) + 1)));
    std::this_thread::sleep_for(300ms);  // the server is now blocked in sending to it

    Receiver receiver(QuickLimits(5000));
    const auto start = Clock::now();
    server.Offer({small_entry});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 5s));
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(receiver.Read("small.bin"), small)
        << "the server did not serve another peer while one had stopped reading";

    // The stalled transfer is given up after its limit, and its entry goes with it.
    const auto limit = Clock::now() + 5s;
    while (server.Transfers().Offers().Size() > 0 && Clock::now() < limit) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(server.Transfers().Offers().Size(), 0u)
        << "the transfer to the peer that stopped reading was never given up";
}

// A host that keeps opening silent connections, 400 a second, each held for half a second: the
// first four it has open are accepted and hold a thread each; the others are closed at once,
// without the pause that follows an accepted connection, so neither the accept loop nor another
// host's transfer waits for them. (With every connection accepted, 100 ms apart, from a backlog
// of 5, the real transfer's handshakes were dropped for half a minute.)
TEST(ServerFaults, ACrowdOfConnectionsFromOneHostDoesNotHoldUpARealTransfer) {
    Server server(TransferLimits{});
    const std::string content = Pattern(20000, 'r');
    const std::string entry = server.AddFile("real.bin", content);

    std::atomic<bool> stop{false};
    std::thread crowd([&stop] {
        std::deque<std::pair<Clock::time_point, platform::Socket>> open;
        while (!stop) {
            open.emplace_back(Clock::now(), ConnectFromReceiver(false, 0, "127.0.0.3"));
            while (!open.empty() && Clock::now() - open.front().first > 500ms) {
                open.pop_front();
            }
            std::this_thread::sleep_for(2500us);
        }
    });
    std::this_thread::sleep_for(1s);

    DownloadLimits download = QuickLimits(30000);
    download.connect_ms = 30000;
    Receiver receiver(download);
    const auto start = Clock::now();
    server.Offer({entry});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 15s))
        << "a real transfer never completed beside the crowd";
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("the real transfer completed %lld ms after the offer, beside the crowd\n",
                static_cast<long long>(waited.count()));
    EXPECT_EQ(receiver.Read("real.bin"), content)
        << "the server stayed responsive: the real transfer arrived whole";
    EXPECT_LT(waited, 5s);
    stop = true;
    crowd.join();
}

}  // namespace
}  // namespace veltra::faults
