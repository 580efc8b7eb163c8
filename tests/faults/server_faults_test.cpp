// The serving side under faulty peers: a peer that stops reading, and a crowd of connections
// that never send a request. The real transfer server serves on 127.0.0.2; the receiving
// instance of the fixture fetches from it on 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <string>
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
        const std::int32_t id =
            server_.Offers().RegisterOffer(path.wstring(), platform::InetAddr(kReceiverAddress));
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
    CTransferServer& Transfers() { return server_; }

  private:
    testing::TempFolder folder_;
    Settings settings_;
    CMessengerEngine engine_;
    CTransferServer server_;
};

// A raw connection from the receiver's address to the server; a non-blocking one is left to
// connect on its own.
platform::Socket ConnectFromReceiver(bool blocking, int receive_buffer = 0) {
    platform::Socket socket = platform::Socket::Tcp();
    if (receive_buffer > 0) {
        socket.SetIntOption(SOL_SOCKET, SO_RCVBUF, receive_buffer);
    }
    EXPECT_TRUE(socket.Bind(platform::MakeEndpoint(platform::InetAddr(kReceiverAddress), 0)));
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
    const std::string big_entry = server.AddFile("big.bin", Content(32 << 20));
    const std::string small = Content(5000, 's');
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
    ASSERT_TRUE(receiver.Window().WaitFor(WM_FILES_RECEIVED, 1, 5s));
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

// The engine accepts one connection per 100 ms from a backlog of 5, so most of a crowd's
// handshakes are dropped and retried by their kernels one, three, seven... seconds later. The
// real transfer's request is made just after the crowd's first retry, when the queue is fullest;
// silent connections that are accepted hold a thread each (until the 30 s request limit) but
// never the accept loop.
TEST(ServerFaults, TwoHundredSilentConnectionsDelayButDoNotStopARealTransfer) {
    Server server(TransferLimits{});
    const std::string content = Content(20000, 'r');
    const std::string entry = server.AddFile("real.bin", content);

    std::vector<platform::Socket> silent;
    for (int i = 0; i < 200; ++i) {
        silent.push_back(ConnectFromReceiver(false));
    }
    std::this_thread::sleep_for(1050ms);

    DownloadLimits download = QuickLimits(30000);
    download.connect_ms = 30000;
    Receiver receiver(download);
    const auto start = Clock::now();
    server.Offer({entry});
    ASSERT_TRUE(receiver.Window().WaitFor(WM_FILES_RECEIVED, 1, 15s))
        << "a real transfer never completed behind 200 silent connections";
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf(
        "the real transfer completed %lld ms after the offer, behind 200 silent "
        "connections\n",
        static_cast<long long>(waited.count()));
    EXPECT_EQ(receiver.Read("real.bin"), content)
        << "the server stayed responsive: the real transfer arrived whole";
}

}  // namespace
}  // namespace veltra::faults
