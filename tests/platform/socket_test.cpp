// Ending a connection's sending side and waiting for the peer's close, on loopback (each test
// executable runs in a network namespace of its own).
#include "platform/socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace veltra::platform {
namespace {

using namespace std::chrono_literals;

// A connected pair on loopback: the accepted end, and the connecting end with the given receive
// buffer.
std::pair<Socket, Socket> ConnectedPair(int client_receive_buffer) {
    Socket listener = Socket::Tcp();
    EXPECT_TRUE(listener.Bind(MakeEndpoint(InetAddr("127.0.0.1"), 0)));
    EXPECT_TRUE(listener.Listen(1));
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(listener.Descriptor(), reinterpret_cast<sockaddr*>(&bound), &length);
    Socket client = Socket::Tcp();
    client.SetReceiveBufferSize(client_receive_buffer);
    EXPECT_TRUE(client.Connect(Endpoint{bound.sin_addr.s_addr, bound.sin_port}, 2000));
    return {listener.Accept(), std::move(client)};
}

TEST(EndSending, APeerStillTakingTheBytesIsWaitedForBeyondTheLimit) {
    std::pair<Socket, Socket> ends = ConnectedPair(4096);
    Socket& server = ends.first;
    Socket& client = ends.second;
    server.SetSendBufferSize(1 << 20);
    // Read 4 KiB every 20 ms: what waits in the server's send buffer when its last send returns
    // takes the reader well over the limit of a second to drain.
    std::thread reader([&client] {
        char piece[4096];
        while (client.Receive(piece, sizeof piece) > 0) {
            std::this_thread::sleep_for(20ms);
        }
        client.Close();
    });
    const std::string content(512 * 1024, 'x');
    EXPECT_TRUE(server.SendAll(content.data(), content.size()));
    EXPECT_EQ(server.EndSending(1000), SendingEnd::kPeerClosed);
    reader.join();
}

}  // namespace
}  // namespace veltra::platform
