#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

namespace veltra::platform {
namespace {

sockaddr_in ToSockaddr(const Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = endpoint.port;
    address.sin_addr.s_addr = endpoint.address;
    return address;
}

bool SetIntOption(int fd, int level, int name, int value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

bool SetTimeoutOption(int fd, int name, int timeout_ms) {
    timeval limit{};
    limit.tv_sec = timeout_ms / 1000;
    limit.tv_usec = (timeout_ms % 1000) * 1000;
    return setsockopt(fd, SOL_SOCKET, name, &limit, sizeof limit) == 0;
}

// Bytes sent and not yet acknowledged by the peer (a shut-down sending side's end-of-stream mark
// counts as one); -1 when that cannot be learned.
int UnacknowledgedBytes(int fd) {
    int count = 0;
    return ioctl(fd, SIOCOUTQ, &count) == 0 ? count : -1;
}

// After the reading side of a connection whose sending side is shut down has seen its end: true
// when the peer closed in order with every byte sent acknowledged. Interrupt() ends the reading
// side too, without any word from the peer; the connection then still waits for the peer's end
// of stream. A peer that closes before the last bytes have reached it (they then reset the
// connection when they arrive) leaves them unacknowledged; only the end-of-stream mark, which
// counts as one byte, may still wait for its acknowledgement.
bool PeerClosedAfterEveryByte(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_FIN_WAIT2) {
        return false;
    }
    const int unacknowledged = UnacknowledgedBytes(fd);
    return unacknowledged >= 0 && unacknowledged <= 1;
}

// How often a wait for the peer's close looks whether the peer is still taking bytes.
constexpr std::chrono::milliseconds kProgressCheck(1000);

}  // namespace

int LastSocketError() {
    return errno;
}

Endpoint MakeEndpoint(std::uint32_t network_address, std::uint16_t host_port) {
    return Endpoint{network_address, htons(host_port)};
}

std::uint32_t InetAddr(const char* dotted) {
    in_addr parsed{};
    if (dotted == nullptr || inet_aton(dotted, &parsed) == 0) {
        return INADDR_NONE;
    }
    return parsed.s_addr;
}

std::string InetNtoa(std::uint32_t network_address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr address{};
    address.s_addr = network_address;
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

Socket Socket::Udp() {
    return Socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}
Socket Socket::Tcp() {
    return Socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

void Socket::Interrupt() const {
    if (fd_.Valid()) {
        shutdown(fd_.Get(), SHUT_RDWR);
    }
}

void Socket::Abort() const {
    if (fd_.Valid()) {
        const linger reset_on_close{1, 0};
        setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close);
        shutdown(fd_.Get(), SHUT_RDWR);
    }
}

bool Socket::Bind(const Endpoint& local) const {
    sockaddr_in address = ToSockaddr(local);
    return bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool Socket::Listen(int backlog) const {
    return listen(fd_.Get(), backlog) == 0;
}

Socket Socket::Accept() const {
    for (;;) {
        int fd = accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0 || errno != EINTR) {
            return Socket(fd);
        }
    }
}

bool Socket::Connect(const Endpoint& remote, int timeout_ms) const {
    sockaddr_in address = ToSockaddr(remote);
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    if (timeout_ms <= 0) {
        return connect(fd_.Get(), raw, sizeof address) == 0;
    }
    int flags = fcntl(fd_.Get(), F_GETFL, 0);
    if (flags < 0 || fcntl(fd_.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return false;
    }
    bool connected = connect(fd_.Get(), raw, sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd waiting{fd_.Get(), POLLOUT, 0};
        int ready;
        do {
            ready = poll(&waiting, 1, timeout_ms);
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        connected = ready == 1 &&
                    getsockopt(fd_.Get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        if (!connected && ready == 0) {
            errno = ETIMEDOUT;
        } else if (!connected && error != 0) {
            errno = error;
        }
    }
    fcntl(fd_.Get(), F_SETFL, flags);
    return connected;
}

bool Socket::SetReuseAddress() const {
    return SetIntOption(fd_.Get(), SOL_SOCKET, SO_REUSEADDR, 1);
}

bool Socket::SetBroadcast() const {
    return SetIntOption(fd_.Get(), SOL_SOCKET, SO_BROADCAST, 1);
}

bool Socket::SetSendBufferSize(int bytes) const {
    return SetIntOption(fd_.Get(), SOL_SOCKET, SO_SNDBUF, bytes);
}

bool Socket::SetReceiveBufferSize(int bytes) const {
    return SetIntOption(fd_.Get(), SOL_SOCKET, SO_RCVBUF, bytes);
}

bool Socket::SetReceiveTimeout(int timeout_ms) const {
    return SetTimeoutOption(fd_.Get(), SO_RCVTIMEO, timeout_ms);
}

bool Socket::SetSendTimeout(int timeout_ms) const {
    return SetTimeoutOption(fd_.Get(), SO_SNDTIMEO, timeout_ms);
}

long Socket::SendTo(const void* data, std::size_t length, const Endpoint& remote) const {
    sockaddr_in address = ToSockaddr(remote);
    return sendto(fd_.Get(), data, length, MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

long Socket::ReceiveFrom(void* buffer, std::size_t capacity, Endpoint& source) const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    long received;
    do {
        received = recvfrom(fd_.Get(), buffer, capacity, MSG_TRUNC,
                            reinterpret_cast<sockaddr*>(&address), &length);
    } while (received < 0 && errno == EINTR);
    source.address = address.sin_addr.s_addr;
    source.port = address.sin_port;
    return received;
}

long Socket::Send(const void* data, std::size_t length) const {
    long sent;
    do {
        sent = send(fd_.Get(), data, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

IoResult Socket::Receive(void* buffer, std::size_t capacity) const {
    for (;;) {
        const ssize_t received = recv(fd_.Get(), buffer, capacity, 0);
        if (received > 0) {
            return IoResult{static_cast<std::size_t>(received)};
        }
        if (received == 0) {
            return IoResult{0, IoStatus::kEnd};
        }
        if (errno != EINTR) {
            return StoppedBy(errno);
        }
    }
}

bool Socket::SendAll(const void* data, std::size_t length) const {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const long result = Send(bytes + sent, length - sent);
        if (result <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

std::size_t Socket::ReceiveAll(void* buffer, std::size_t size) const {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t received = 0;
    while (received < size) {
        const IoResult result = Receive(bytes + received, size - received);
        if (!result.Moved()) {
            break;
        }
        received += result.bytes;
    }
    return received;
}

IoResult Socket::SendFile(int file_descriptor, std::size_t count) const {
    // sendfile has no MSG_NOSIGNAL: a peer that has gone would raise SIGPIPE and end the process.
    // The signal is held back in this thread for the call and swallowed if the call raised it.
    sigset_t pipe_signal;
    sigset_t previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    sigset_t pending;
    sigpending(&pending);
    const bool already_pending = sigismember(&pending, SIGPIPE) == 1;

    IoResult result;
    for (;;) {
        const ssize_t sent = sendfile(fd_.Get(), file_descriptor, nullptr, count);
        if (sent > 0) {
            result = IoResult{static_cast<std::size_t>(sent)};
            break;
        }
        if (sent == 0) {
            result = IoResult{0, IoStatus::kEnd};
            break;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        switch (error) {
            // The file's side: no page-cache transfer for this file system, or a read error
            // that a plain read reports again.
            case EINVAL:
            case ENOSYS:
            case EIO:
            case EOVERFLOW:
            case ESPIPE:
                result = IoResult{0, IoStatus::kNotDirect, error};
                break;
            default:
                result = StoppedBy(error);
                break;
        }
        break;
    }
    // Raised also by a call that sent part of its bytes before the connection broke.
    if (!already_pending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec no_wait{};
        sigtimedwait(&pipe_signal, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

SendingEnd Socket::EndSending(int timeout_ms) const {
    if (shutdown(fd_.Get(), SHUT_WR) != 0) {
        return SendingEnd::kBroken;
    }
    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds limit(timeout_ms);
    const auto check_every = std::min(limit, kProgressCheck);
    auto now = Clock::now();
    auto deadline = now + limit;
    auto next_check = now + check_every;
    int unacknowledged = UnacknowledgedBytes(fd_.Get());
    char dropped[4096];
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms > 0) {
            now = Clock::now();
            // A peer still taking the bytes on their way is slow, not stalled: the limit runs
            // from the last of them it took.
            if (now >= next_check) {
                next_check = now + check_every;
                const int outstanding = UnacknowledgedBytes(fd_.Get());
                if (outstanding < unacknowledged) {
                    unacknowledged = outstanding;
                    deadline = now + limit;
                }
            }
            if (now >= deadline) {
                return SendingEnd::kTimedOut;
            }
            wait_ms = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(std::min(deadline, next_check) - now)
                    .count());
        }
        pollfd waiting{fd_.Get(), POLLIN, 0};
        const int ready = poll(&waiting, 1, wait_ms);
        if (ready < 0 && errno != EINTR) {
            return SendingEnd::kBroken;
        }
        if (ready <= 0) {
            continue;
        }
        // What the peer sends is dropped; one that keeps talking is read until the limit.
        const long received = recv(fd_.Get(), dropped, sizeof dropped, MSG_DONTWAIT);
        if (received == 0) {
            return PeerClosedAfterEveryByte(fd_.Get()) ? SendingEnd::kPeerClosed
                                                       : SendingEnd::kBroken;
        }
        if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return SendingEnd::kBroken;
        }
    }
}

bool Socket::PeerHasClosed() const {
    pollfd state{fd_.Get(), POLLRDHUP, 0};
    return poll(&state, 1, 0) == 1 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

std::optional<Endpoint> Socket::PeerEndpoint() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getpeername(fd_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return std::nullopt;
    }
    return Endpoint{address.sin_addr.s_addr, address.sin_port};
}

}  // namespace veltra::platform
