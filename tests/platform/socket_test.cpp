// Receiving (one datagram, or a batch of them in one call), sending a file, moving received bytes
// into a file through a pipe, and ending a connection's sending side and waiting for the peer's
// close, on loopback (each test executable runs in a network namespace of its own).
#include "platform/socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/datagram_batch.h"
#include "platform/socket_pipe.h"

#include "file_size_limit.h"
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

// Bytes a connection's kernel holds by the request: FIONREAD, arrived and not yet read;
// SIOCOUTQNSD, waiting to be sent.
int Held(const Socket& socket, unsigned long request) {
    int count = 0;
    return ioctl(socket.Descriptor(), request, &count) == 0 ? count : -1;
}

// A cancelled download: the reader is woken while the sender waits on a full window, reads what
// had arrived, and closes. The reader no longer opens its window, so only a reset tells the
// sender; without one its send would wait out its limit.
TEST(Abort, ASenderWaitingOnAFullWindowHearsOfItWhenTheReaderCloses) {
    auto [server, client] = ConnectedPair(4096);
    server.SetSendTimeout(10000);
    int send_error = 0;
    std::thread sender([&server = server, &send_error] {
        const std::string piece(64 * 1024, 'x');
        while (server.Send(piece.data(), piece.size()) > 0) {
        }
        send_error = errno;
    });
    while (Held(client, FIONREAD) <= 0 || Held(server, SIOCOUTQNSD) <= 0) {
        std::this_thread::sleep_for(1ms);
    }
    client.Abort();
    char buffer[4096];
    while (client.Receive(buffer, sizeof buffer).Moved()) {
    }
    client.Close();
    sender.join();
    EXPECT_TRUE(send_error == ECONNRESET || send_error == EPIPE) << std::strerror(send_error);
}

// Bytes that tell their place: any shift, loss or doubling shows.
std::string Numbered(std::size_t size, char salt) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251 + static_cast<std::size_t>(salt));
    }
    return bytes;
}

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Moves size bytes from socket into file, as many calls as it takes: the bytes taken, which stop
// short only when the connection gives no more; the calls' results summed into total.
std::size_t MoveAll(SocketPipe& pipe, const Socket& socket, int file, std::size_t size,
                    FileMove& total) {
    std::size_t taken = 0;
    while (taken < size) {
        const FileMove move = pipe.Move(socket, file, size - taken);
        if (!move.received.Moved()) {
            break;
        }
        taken += move.received.bytes;
        total.written += move.written;
        total.file_error = total.file_error != 0 ? total.file_error : move.file_error;
        total.not_direct = total.not_direct || move.not_direct;
    }
    return taken;
}

// The bytes are sent in a thread of its own while the test reads (a content larger than the
// connection's buffers waits for the reader), and the sending side is shut after them.
class Sending {
  public:
    Sending(const Socket& socket, std::string bytes)
        : bytes_(std::move(bytes)), thread_([&socket, this] {
              EXPECT_TRUE(socket.SendAll(bytes_.data(), bytes_.size()));
              shutdown(socket.Descriptor(), SHUT_WR);
          }) {}
    Sending(const Sending&) = delete;
    Sending& operator=(const Sending&) = delete;
    ~Sending() { thread_.join(); }

  private:
    std::string bytes_;
    std::thread thread_;
};

TEST(SocketPipe, TakesAtMostTheCountIntoTheFileAndLeavesWhatFollowsUnread) {
    testing::TempFolder folder;
    const OwnedDescriptor file(
        open((folder.path() / "f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(file.Valid());
    auto [server, client] = ConnectedPair(65536);
    const std::string content = Numbered(700001, 1);
    SocketPipe pipe;
    EXPECT_GE(pipe.Capacity(), 65536U);
    {
        Sending sending(server, content + "next");
        FileMove total;
        EXPECT_EQ(MoveAll(pipe, client, file.Get(), content.size(), total), content.size());
        EXPECT_EQ(total.written, content.size());
        EXPECT_EQ(total.file_error, 0);
        EXPECT_FALSE(total.not_direct);
        char next[4];
        EXPECT_EQ(client.ReceiveAll(next, sizeof next), 4U);
        EXPECT_EQ(std::string(next, 4), "next");
    }
    EXPECT_TRUE(Contents(folder.path() / "f") == content);
}

TEST(SocketPipe, TellsATimeOutAnOrderlyCloseAndAResetApart) {
    testing::TempFolder folder;
    const OwnedDescriptor file(
        open((folder.path() / "f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    SocketPipe pipe;
    {
        auto [server, client] = ConnectedPair(65536);
        // A splice from a connection waits no longer than its receive limit.
        client.SetReceiveTimeout(50);
        const FileMove nothing = pipe.Move(client, file.Get(), 100);
        EXPECT_EQ(nothing.received.status, IoStatus::kTimedOut);
        EXPECT_EQ(nothing.received.error, EAGAIN);
        server.Close();
        const FileMove end = pipe.Move(client, file.Get(), 100);
        EXPECT_EQ(end.received.status, IoStatus::kEnd);
        EXPECT_EQ(end.written, 0U);
    }
    auto [server, client] = ConnectedPair(65536);
    ResetFrom(server, client);
    const FileMove reset = pipe.Move(client, file.Get(), 100);
    EXPECT_EQ(reset.received.status, IoStatus::kFailed);
    EXPECT_EQ(reset.received.error, ECONNRESET);
}

TEST(SocketPipe, AFileThatTakesNoSpliceGetsTheBytesThroughTheProcess) {
    testing::TempFolder folder;
    // A file open for appending takes no splice, as the files of some file systems.
    const OwnedDescriptor file(
        open((folder.path() / "f").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    auto [server, client] = ConnectedPair(65536);
    const std::string content = Numbered(300000, 2);
    SocketPipe pipe;
    {
        Sending sending(server, content);
        FileMove total;
        EXPECT_EQ(MoveAll(pipe, client, file.Get(), content.size(), total), content.size());
        EXPECT_TRUE(total.not_direct);
        EXPECT_EQ(total.file_error, 0);
        EXPECT_EQ(total.written, content.size());
    }
    EXPECT_TRUE(Contents(folder.path() / "f") == content);
}

TEST(SocketPipe, AFailedWriteDropsTheBytesTakenAndTheNextFileGetsOnlyItsOwn) {
    testing::TempFolder folder;
    const OwnedDescriptor failing(
        open((folder.path() / "failing").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    const OwnedDescriptor next(
        open((folder.path() / "next").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    auto [server, client] = ConnectedPair(65536);
    const std::string content = Numbered(400000, 3);
    const std::string following = Numbered(30000, 4);
    SocketPipe pipe;
    {
        Sending sending(server, content + following);
        const testing::FileSizeLimit limit(100000);
        FileMove total;
        EXPECT_EQ(MoveAll(pipe, client, failing.Get(), content.size(), total), content.size())
            << "a failed file does not end the reading of its bytes";
        EXPECT_EQ(total.file_error, EFBIG);
        EXPECT_EQ(total.written, 100000U);
        FileMove after;
        EXPECT_EQ(MoveAll(pipe, client, next.Get(), following.size(), after), following.size());
        EXPECT_EQ(after.file_error, 0);
    }
    EXPECT_TRUE(Contents(folder.path() / "failing") == content.substr(0, 100000));
    EXPECT_TRUE(Contents(folder.path() / "next") == following)
        << "bytes of the failed file were left in the pipe";
}

}  // namespace
}  // namespace veltra::platform

namespace veltra::platform {
namespace {

// A datagram socket bound to a loopback address at a free port, and its endpoint.
std::pair<Socket, Endpoint> BoundUdp(const char* address) {
    Socket socket = Socket::Udp();
    EXPECT_TRUE(socket.Bind(MakeEndpoint(InetAddr(address), 0)));
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(socket.Descriptor(), reinterpret_cast<sockaddr*>(&bound), &length);
    return {std::move(socket), Endpoint{bound.sin_addr.s_addr, bound.sin_port}};
}

std::string Text(const ReceivedDatagram& datagram) {
    return std::string(datagram.data, std::min(datagram.length, std::size_t{8}));
}

// Loopback delivers a datagram into the receiver's queue before sendto returns, so every one
// sent is waiting when the batch is received.
TEST(DatagramBatch, TakesEveryDatagramWaitingInOneCallUpToItsCount) {
    auto [receiver, to] = BoundUdp("127.0.0.1");
    auto [sender, from] = BoundUdp("127.0.0.2");
    for (const char* text : {"one", "two", "three"}) {
        ASSERT_EQ(sender.SendTo(text, std::strlen(text), to), static_cast<long>(std::strlen(text)));
    }
    DatagramBatch batch(2, 64);
    ASSERT_EQ(batch.Receive(receiver), 2U);
    EXPECT_EQ(Text(batch[0]), "one");
    EXPECT_EQ(Text(batch[1]), "two");
    EXPECT_EQ(batch[1].length, 3U);
    EXPECT_EQ(batch[1].source.address, from.address);
    EXPECT_EQ(batch[1].source.port, from.port);
    EXPECT_FALSE(batch[1].truncated);
    ASSERT_EQ(batch.Receive(receiver), 1U);
    EXPECT_EQ(Text(batch[0]), "three");
    EXPECT_EQ(batch[0].length, 5U);
}

TEST(DatagramBatch, ADatagramLongerThanItsBufferKeepsItsFullLengthAndIsMarkedCut) {
    auto [receiver, to] = BoundUdp("127.0.0.1");
    auto [sender, from] = BoundUdp("127.0.0.2");
    sender.SendTo("exactly8", 8, to);
    sender.SendTo("longer than eight", 17, to);
    DatagramBatch batch(4, 8);
    ASSERT_EQ(batch.Receive(receiver), 2U);
    EXPECT_EQ(batch[0].length, 8U);
    EXPECT_FALSE(batch[0].truncated);
    EXPECT_EQ(batch[1].length, 17U);
    EXPECT_TRUE(batch[1].truncated);
    EXPECT_EQ(Text(batch[1]), "longer t");
}

TEST(DatagramBatch, AnEmptySocketGivesNoneAndAFailureCarriesItsErrno) {
    auto [receiver, to] = BoundUdp("127.0.0.1");
    receiver.SetReceiveTimeout(1);
    DatagramBatch batch(4, 64);
    EXPECT_EQ(batch.Receive(receiver), 0U);

    receiver.Interrupt();
    ASSERT_EQ(batch.Receive(receiver), 1U);
    EXPECT_EQ(batch[0].length, 0U);

    const Socket closed;
    try {
        batch.Receive(closed);
        ADD_FAILURE() << "a receive on no socket did not fail";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EBADF);
        EXPECT_NE(std::string(error.what()).find("cannot receive datagrams"), std::string::npos);
    }
}

}  // namespace
}  // namespace veltra::platform
