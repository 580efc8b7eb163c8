#pragma once
// Thin RAII wrappers over POSIX sockets.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/io_result.h"
#include "platform/owned_descriptor.h"

namespace veltra::platform {

// The last socket error of the calling thread (errno on POSIX).
int LastSocketError();

// How a connection ended once this side had sent its last byte (Socket::EndSending).
enum class SendingEnd {
    kPeerClosed,  // the peer closed its side in order, after every byte sent had reached it
    kBroken,      // reset, closed with bytes of ours still on their way, or interrupted here
    kTimedOut,    // the peer neither took a byte nor closed for the whole limit
};

// An IPv4 address and port, both in network byte order as they travel.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Every local address, for a bind.
inline constexpr std::uint32_t kAnyAddress = 0;

Endpoint MakeEndpoint(std::uint32_t network_address, std::uint16_t host_port);

// inet_addr: network-order address of dotted text, 255.255.255.255 (the broadcast address) when
// the text is not an address.
std::uint32_t InetAddr(const char* dotted);
std::string InetNtoa(std::uint32_t network_address);

class Socket {
  public:
    Socket() = default;
    explicit Socket(int descriptor) : fd_(descriptor) {}

    static Socket Udp();
    static Socket Tcp();

    bool Valid() const { return fd_.Valid(); }
    int Descriptor() const { return fd_.Get(); }
    int Release() { return fd_.Release(); }
    void Close() { fd_.Reset(); }
    // Wakes every thread blocked on this socket (receive, accept, send) without closing the
    // descriptor, so the owner can join those threads before the descriptor goes away.
    void Interrupt() const;
    // Interrupt(), and the close that follows resets the connection, so that the peer's sends
    // fail at once. An interrupted reader no longer opens its receive window, so after a plain
    // Interrupt() a peer whose send waits on a full window learns of the end only at its own
    // send limit.
    void Abort() const;

    bool Bind(const Endpoint& local) const;
    bool Listen(int backlog) const;
    Socket Accept() const;
    // Connects within the time limit (milliseconds, 0 = no limit); false on failure or time-out.
    bool Connect(const Endpoint& remote, int timeout_ms) const;
    // Lets a listening socket bind its port again while the last run's connections linger.
    bool SetReuseAddress() const;
    // Lets a datagram socket send to broadcast addresses.
    bool SetBroadcast() const;
    // The system buffers, in bytes.
    bool SetSendBufferSize(int bytes) const;
    bool SetReceiveBufferSize(int bytes) const;
    // Limits for one blocked receive or send, in milliseconds (0 = no limit).
    bool SetReceiveTimeout(int timeout_ms) const;
    bool SetSendTimeout(int timeout_ms) const;

    long SendTo(const void* data, std::size_t length, const Endpoint& remote) const;
    // Receives one datagram: its full length (which may exceed capacity, the rest being cut
    // off), or -1 with LastSocketError() set.
    long ReceiveFrom(void* buffer, std::size_t capacity, Endpoint& source) const;
    // One send call: bytes sent, or -1.
    long Send(const void* data, std::size_t length) const;
    // One receive call into capacity (more than 0) bytes: kMoved, kEnd when the peer closed its
    // side in order, kTimedOut when the receive limit passed, kFailed (reset, interrupted, ...).
    IoResult Receive(void* buffer, std::size_t capacity) const;
    // Sends every byte, however many send calls it takes; false when a send fails (the peer went
    // away, or accepted nothing within the send limit).
    bool SendAll(const void* data, std::size_t length) const;
    // Receives until size bytes are in buffer, or the peer closes, a receive fails or times out:
    // the bytes that arrived.
    std::size_t ReceiveAll(void* buffer, std::size_t size) const;
    // Sends up to count bytes of an open file from its current position, passing them from the
    // file cache to the connection without copying them through the caller: kMoved (the file
    // position moves on by as many bytes), kEnd at the end of the file, kFailed or kTimedOut
    // (the send limit passed) for the connection, kNotDirect when the file cannot be sent this
    // way (the caller then reads and sends it from where it stands).
    IoResult SendFile(int file_descriptor, std::size_t count) const;
    // Shuts down the sending direction after the last byte, so the peer reads the end of the
    // stream, and waits for the peer to close its side in turn: for as long as it keeps taking
    // the bytes still on their way, and timeout_ms (0 = no limit) after the last of them it
    // took. What it sends meanwhile is read and dropped. A peer that closes with bytes unread
    // resets the connection, so kPeerClosed means the peer took every byte. Interrupt() ends
    // the wait (kBroken).
    SendingEnd EndSending(int timeout_ms) const;

    // Whether the peer has ended its side of the connection or reset it (nothing is read).
    bool PeerHasClosed() const;

    // The address and port of the connected peer; nothing when the socket is not connected.
    std::optional<Endpoint> PeerEndpoint() const;

  private:
    OwnedDescriptor fd_;
};

}  // namespace veltra::platform
