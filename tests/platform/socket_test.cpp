// Receiving, sending a file, and ending a connection's sending side and waiting for the peer's
// close, on loopback (each test executable runs in a network namespace of its own).
#include "platform/socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "temp_folder.h"

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

// Closes closing with a byte from other unread, which resets the connection: other's next call
// fails.
void ResetFrom(Socket& closing, const Socket& other) {
    ASSERT_TRUE(other.SendAll("x", 1));
    pollfd arrived{closing.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&arrived, 1, -1), 1);
    closing.Close();
}

TEST(Receive, TellsBytesATimeOutAnOrderlyCloseAndAResetApart) {
    char buffer[16];
    {
        auto [server, client] = ConnectedPair(65536);
        client.SetReceiveTimeout(50);
        const IoResult nothing = client.Receive(buffer, sizeof buffer);
        EXPECT_EQ(nothing.status, IoStatus::kTimedOut);
        EXPECT_EQ(nothing.error, EAGAIN);
        client.SetReceiveTimeout(0);
        ASSERT_TRUE(server.SendAll("abc", 3));
        const IoResult bytes = client.Receive(buffer, sizeof buffer);
        EXPECT_EQ(bytes.status, IoStatus::kMoved);
        EXPECT_EQ(bytes.bytes, 3U);
        server.Close();
        EXPECT_EQ(client.Receive(buffer, sizeof buffer).status, IoStatus::kEnd);
    }
    auto [server, client] = ConnectedPair(65536);
    ResetFrom(server, client);
    const IoResult reset = client.Receive(buffer, sizeof buffer);
    EXPECT_EQ(reset.status, IoStatus::kFailed);
    EXPECT_EQ(reset.error, ECONNRESET);
}

TEST(SendFile, TellsBytesTheEndAFileThatCannotGoDirectlyAndABrokenConnection) {
    testing::TempFolder folder;
    std::ofstream(folder.path() / "f", std::ios::binary) << "content";
    const OwnedDescriptor file(open((folder.path() / "f").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(file.Valid());
    auto [server, client] = ConnectedPair(65536);

    const IoResult sent = server.SendFile(file.Get(), 100);
    EXPECT_EQ(sent.status, IoStatus::kMoved);
    EXPECT_EQ(sent.bytes, 7U);
    EXPECT_EQ(server.SendFile(file.Get(), 100).status, IoStatus::kEnd);

    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const OwnedDescriptor pipe_out(ends[0]);
    const OwnedDescriptor pipe_in(ends[1]);
    ASSERT_EQ(write(pipe_in.Get(), "x", 1), 1);
    const IoResult piped = server.SendFile(pipe_out.Get(), 1);
    EXPECT_EQ(piped.status, IoStatus::kNotDirect);
    EXPECT_NE(piped.error, 0);

    ResetFrom(client, server);  // the content sent first stays unread as well
    ASSERT_EQ(lseek(file.Get(), 0, SEEK_SET), 0);
    const IoResult broken = server.SendFile(file.Get(), 100);
    EXPECT_EQ(broken.status, IoStatus::kFailed);
    EXPECT_TRUE(broken.error == ECONNRESET || broken.error == EPIPE) << broken.error;
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
        while (client.Receive(piece, sizeof piece).Moved()) {
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
