#include "engine/engine.h"

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/settings_file.h"
#include "common/started_thread.h"
#include "common/text.h"
#include "engine/presence_targets.h"
#include "platform/clock.h"
#include "platform/datagram_batch.h"
#include "platform/host_name.h"
#include "platform/network_interfaces.h"

namespace veltra {
namespace {

static_assert(kMaxUserNameBytes == NAME_FIELD_SIZE - 1, "the settings refuse what the field cuts");

constexpr int kPreferredBufferSize = 65536;
constexpr int kFallbackBufferSize = 32768;
// Room for a burst of announcements while the receive thread is not running: a busy machine
// keeps it waiting for tens of milliseconds, and a LAN of 10,000 hosts that all announce within
// a second (after a power cut, say) sends ten a millisecond. The kernel charges each waiting
// datagram its whole buffer, about 840 bytes for a short announcement on loopback and 2 KiB or
// more from a network card, and reserves twice what is asked for: 4 MiB asked holds the whole
// second of such a burst on loopback, some 4,000 datagrams from a card. The kernel cuts what an
// unprivileged process may ask to net.core.rmem_max (212,992 bytes unless the administrator
// raised it, then some 500 datagrams); asking past that limit (SO_RCVBUFFORCE) is left to the
// administrator, whose limit it is.
constexpr int kBurstReceiveBufferSize = 4 * 1024 * 1024;
// Datagrams taken by one receive call: one call a burst's worth, not one per datagram.
constexpr std::size_t kReceiveBatch = 32;
// Room for the handshakes of honest peers while the accept loop pauses, or a crowd of
// connections from one host is being turned away.
constexpr int kListenBacklog = 128;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

// Kinds of trouble the engine's threads get over, each logged once a minute.
enum NoticeKind : std::uint32_t { kPacketFailed = 1, kConnectionNotStarted, kConnectionFailed };

// Throws the last socket error of a start-up step on the port: "cannot bind UDP port 2425", the
// address added when the engine binds one of the host's.
[[noreturn]] void ThrowStepFailed(const char* step, const char* protocol, std::uint16_t port,
                                  std::uint32_t address) {
    const int error = platform::LastSocketError();
    std::string what = std::string(step) + " " + protocol + " port " + std::to_string(port);
    if (address != platform::kAnyAddress) {
        what += " on " + platform::InetNtoa(address);
    }
    throw std::system_error(error, std::generic_category(), what);
}

// The preferred size, else the fallback; false when neither is granted.
bool SetBufferSize(const platform::Socket& socket, bool (platform::Socket::*set)(int) const,
                   int preferred = kPreferredBufferSize) {
    return (socket.*set)(preferred) || (socket.*set)(kFallbackBufferSize);
}

// Seconds since 1970 of the calendar clock; its low 32 bits seed the packet counter.
std::uint32_t PacketCounterSeed() {
    return static_cast<std::uint32_t>((platform::CurrentFileTime() - platform::kFileTimeUnixEpoch) /
                                      10000000ULL);
}

}  // namespace

CMessengerEngine::CMessengerEngine(const Settings& settings, std::uint32_t bind_address)
    : settings_(&settings),
      bind_address_(bind_address),
      user_name_(WideToAnsi(settings.user_name)),
      broadcast_list_(settings.broadcast_list) {
    udp_socket_ = platform::Socket::Udp();
    const auto fail = [this](const char* step, const char* protocol) {
        ThrowStepFailed(step, protocol, port_, bind_address_);
    };
    if (!udp_socket_.Valid()) {
        fail("cannot create the socket for", "UDP");
    }
    tcp_socket_ = platform::Socket::Tcp();
    if (!tcp_socket_.Valid()) {
        fail("cannot create the socket for", "TCP");
    }
    // Before the bind: otherwise a restart fails while the last run's connections linger in
    // TIME_WAIT. It does not let a second instance bind the port while one listens.
    tcp_socket_.SetReuseAddress();

    const platform::Endpoint local = platform::MakeEndpoint(bind_address_, port_);
    if (!udp_socket_.Bind(local)) {
        fail("cannot bind", "UDP");
    }
    if (!tcp_socket_.Bind(local)) {
        fail("cannot bind", "TCP");
    }
    if (!udp_socket_.SetBroadcast()) {
        fail("cannot allow broadcasts on", "UDP");
    }
    if (!SetBufferSize(udp_socket_, &platform::Socket::SetSendBufferSize)) {
        fail("cannot set the send buffer of", "UDP");
    }
    if (!SetBufferSize(udp_socket_, &platform::Socket::SetReceiveBufferSize,
                       kBurstReceiveBufferSize)) {
        fail("cannot set the receive buffer of", "UDP");
    }
    if (!tcp_socket_.Listen(kListenBacklog)) {
        fail("cannot listen on", "TCP");
    }
    host_name_ = platform::HostName();
    packet_counter_ = PacketCounterSeed();

    // Allocated here, where a failure can still be thrown to the owner.
    receive_buffer_ = std::make_unique<RawDatagram>();
    receive_record_ = std::make_unique<PacketRecord>();
    receive_batch_ = std::make_unique<platform::DatagramBatch>(kReceiveBatch, MAX_PACKET);
    try {
        receive_thread_ =
            StartThread<std::thread>("the UDP receive loop", [this] { ReceiveLoop(); });
        accept_thread_ = StartThread<std::thread>("the TCP accept loop", [this] { AcceptLoop(); });
        // An engine bound to one address is on that address's network alone, whatever else
        // comes and goes.
        if (bind_address_ == platform::kAnyAddress) {
            address_watcher_ = std::make_unique<AddressWatcher>([this] {
                if (!stopping_) {
                    AnnouncePresence();
                }
            });
        }
    } catch (...) {
        // Out of tasks: a thread that did start is stopped before the failure reaches the owner.
        Shutdown();
        throw;
    }
}

CMessengerEngine::~CMessengerEngine() {
    Shutdown();
}

void CMessengerEngine::SetListener(CEngineListener* listener) {
    std::lock_guard guard(listener_mutex_);
    listener_ = listener;
    if (listener != nullptr) {
        listener_ever_set_ = true;
    }
    listener_registered_.notify_all();
}

void CMessengerEngine::SetConnectionHandler(ConnectionHandler* handler) {
    connection_handler_ = handler;
}

void CMessengerEngine::SetNoticeSink(EventSink* sink) {
    notices_.SetSink(sink);
}

void CMessengerEngine::Shutdown() {
    if (stopping_.exchange(true)) {
        return;
    }
    if (address_watcher_) {
        address_watcher_->Stop();  // waits for an announcement it is making
    }
    {
        std::lock_guard guard(listener_mutex_);
        listener_registered_.notify_all();
    }
    {
        std::lock_guard guard(pause_mutex_);
        pause_wake_.notify_all();
    }
    tcp_socket_.Interrupt();
    udp_socket_.Interrupt();
    if (accept_thread_.joinable()) {
        accept_thread_.join();
    }
    if (receive_thread_.joinable()) {
        receive_thread_.join();
    }
    connections_.StopAll();
    tcp_socket_.Close();
    udp_socket_.Close();
}

std::int32_t CMessengerEngine::BuildPacket(char* buffer, std::int32_t command, const char* message,
                                           const char* extension, int& length) {
    const auto number = static_cast<std::int32_t>(packet_counter_.fetch_add(1) + 1);
    // Written under the lock rather than copied out: an answer allocates nothing.
    std::lock_guard guard(identity_mutex_);
    length = WritePacket(buffer, number, user_name_.c_str(), host_name_.c_str(), command, message,
                         extension);
    return number;
}

void CMessengerEngine::ChangeIdentity(const std::wstring& user_name,
                                      const std::wstring& broadcast_list) {
    std::string wire_name = WideToAnsi(user_name);
    if (wire_name != UserName()) {
        SendPresence(static_cast<std::int32_t>(CMD_DEPART | OPT_PRESENCE_MARK));
    }
    {
        std::lock_guard guard(identity_mutex_);
        user_name_ = std::move(wire_name);
        broadcast_list_ = broadcast_list;
    }
    AnnouncePresence();
}

std::string CMessengerEngine::UserName() const {
    std::lock_guard guard(identity_mutex_);
    return user_name_;
}

int CMessengerEngine::SendDatagram(std::uint32_t address, std::uint16_t port, std::int32_t command,
                                   const char* message, const char* extension) {
    // On the stack: the receive thread answers every announcement, and allocates nothing for it.
    std::array<char, MAX_PACKET> buffer;
    int length = 0;
    BuildPacket(buffer.data(), command, message, extension, length);
    udp_socket_.SendTo(buffer.data(), static_cast<std::size_t>(length),
                       platform::MakeEndpoint(address, port));
    return length;
}

void CMessengerEngine::AnnouncePresence() {
    SendPresence(static_cast<std::int32_t>(CMD_ANNOUNCE | OPT_PRESENCE_MARK));
}

void CMessengerEngine::AnnounceDeparture() {
    if (address_watcher_) {
        address_watcher_->Stop();  // no announcement may follow the goodbye
    }
    SendPresence(static_cast<std::int32_t>(CMD_DEPART | OPT_PRESENCE_MARK));
}

void CMessengerEngine::SendPresence(std::int32_t command) {
    for (const std::uint32_t target : PresenceTargets()) {
        SendDatagram(target, port_, command, nullptr, nullptr);
    }
}

std::vector<std::uint32_t> CMessengerEngine::PresenceTargets() const {
    std::vector<std::uint32_t> targets{platform::InetAddr("255.255.255.255")};
    // An engine bound to one address is on that address's network alone.
    if (bind_address_ == platform::kAnyAddress) {
        try {
            const std::vector<std::uint32_t> directed = DirectedBroadcasts(
                platform::BroadcastNetworks(), platform::LimitedBroadcastSource());
            targets.insert(targets.end(), directed.begin(), directed.end());
        } catch (const std::system_error&) {
            // The interfaces cannot be listed now: the limited broadcast and the list still go.
        }
    }
    std::wstring broadcast_list;
    {
        std::lock_guard guard(identity_mutex_);
        broadcast_list = broadcast_list_;
    }
    const std::vector<std::uint32_t> listed = BroadcastListHosts(broadcast_list);
    targets.insert(targets.end(), listed.begin(), listed.end());
    return targets;
}

void CMessengerEngine::ReceiveLoop() {
    {
        // Datagrams that come before the owner has registered its listener wait in the socket.
        std::unique_lock lock(listener_mutex_);
        listener_registered_.wait(lock, [this] { return listener_ever_set_ || stopping_; });
    }
    platform::DatagramBatch& batch = *receive_batch_;
    while (!stopping_) {
        std::size_t received = 0;
        try {
            received = batch.Receive(udp_socket_);
        } catch (const std::system_error&) {
            continue;  // a transient error: go on
        }
        for (std::size_t i = 0; i < received && !stopping_; ++i) {
            if (!HandleDatagram(batch[i])) {
                return;
            }
        }
    }
}

bool CMessengerEngine::HandleDatagram(const platform::ReceivedDatagram& received) {
    if (received.truncated) {
        return true;  // too long for any packet: dropped
    }
    RawDatagram& datagram = *receive_buffer_;
    datagram.source = received.source;
    datagram.byte_count = static_cast<int>(received.length);
    std::memcpy(datagram.data, received.data, received.length);
    datagram.data[received.length] = '\0';
    PacketRecord& record = *receive_record_;
    record = PacketRecord{};  // all zero: a datagram that fails to parse keeps command 0
    try {
        if (received.length != 0) {
            ParsePacket(datagram, record);
        }
        std::lock_guard guard(listener_mutex_);
        if (listener_ == nullptr) {
            return false;
        }
        listener_->OnPacket(record);
    } catch (...) {
        // One datagram's trouble (no memory, a conversion that failed) ends only that one.
        notices_.Report(NoticeLog::Key(kPacketFailed), [](std::uint64_t count) {
            return L"处理收到的数据出错：" + CurrentExceptionText() + RepeatSuffix(count);
        });
    }
    return true;
}

void CMessengerEngine::AcceptLoop() {
    while (!stopping_) {
        platform::Socket connection = tcp_socket_.Accept();
        if (connection.Valid()) {
            // The next one is taken at once: each entry of an offer is fetched over a connection
            // of its own, and a host that opens more than a few at a time has the rest closed.
            StartConnection(std::move(connection));
            continue;
        }
        if (stopping_) {
            break;
        }
        // Out of descriptors, or a connection reset before it was taken: try again shortly
        // rather than spin on an accept that keeps failing.
        ++accept_pauses_;
        std::unique_lock lock(pause_mutex_);
        pause_wake_.wait_for(lock, kAcceptPause, [this] { return stopping_.load(); });
    }
}

void CMessengerEngine::StartConnection(platform::Socket connection) {
    ConnectionHandler* handler = connection_handler_;
    if (handler == nullptr) {
        return;
    }
    const std::optional<platform::Endpoint> peer = connection.PeerEndpoint();
    if (!peer) {
        return;  // gone already
    }
    try {
        connections_.Start(
            std::move(connection), peer->address, [this, handler](const platform::Socket& socket) {
                try {
                    handler->ServeConnection(socket);
                } catch (...) {
                    notices_.Report(NoticeLog::Key(kConnectionFailed), [](std::uint64_t count) {
                        return L"处理连接出错：" + CurrentExceptionText() + RepeatSuffix(count);
                    });
                }
            });
    } catch (...) {
        // No thread for it (a task limit reached): the connection was closed.
        notices_.Report(NoticeLog::Key(kConnectionNotStarted), [](std::uint64_t count) {
            return L"无法启动连接线程，连接已关闭：" + CurrentExceptionText() + RepeatSuffix(count);
        });
    }
}

}  // namespace veltra
