#pragma once
// Other systems on the LAN as the tests play them: datagrams as another system builds them, sent
// from and received on a loopback address of the test's own network namespace.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/packet.h"
#include "engine/protocol.h"
#include "platform/socket.h"

namespace veltra::testing {

// A packet as another system would send it.
inline std::string Datagram(std::int32_t number, const char* user, const char* host,
                            std::uint32_t command, const char* message = nullptr,
                            const char* extension = nullptr) {
    std::string buffer(MAX_PACKET, '\0');
    const int length = WritePacket(buffer.data(), number, user, host,
                                   static_cast<std::int32_t>(command), message, extension);
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

class UdpPeer {
  public:
    // port 0: any free port.
    UdpPeer(const char* address, std::uint16_t port) : socket_(platform::Socket::Udp()) {
        address_ = platform::InetAddr(address);
        bound_ = socket_.Bind(platform::MakeEndpoint(address_, port));
    }
    bool Bound() const { return bound_; }
    std::uint32_t Address() const { return address_; }

    void Send(const std::string& bytes, std::uint32_t to_address,
              std::uint16_t to_port = MSG_PORT) const {
        socket_.SendTo(bytes.data(), bytes.size(), platform::MakeEndpoint(to_address, to_port));
    }
    // The next datagram, or nothing after timeout_ms (at least 1).
    std::unique_ptr<RawDatagram> Receive(int timeout_ms = 2000) const {
        socket_.SetReceiveTimeout(timeout_ms < 1 ? 1 : timeout_ms);
        auto datagram = std::make_unique<RawDatagram>();
        const long length = socket_.ReceiveFrom(datagram->data, MAX_PACKET, datagram->source);
        if (length < 0 || length > MAX_PACKET) {
            return nullptr;
        }
        datagram->byte_count = static_cast<int>(length);
        datagram->data[length] = '\0';
        return datagram;
    }
    // The next datagram parsed, or null (nothing came, or it did not parse).
    std::unique_ptr<PacketRecord> ReceivePacket(int timeout_ms = 2000) const {
        std::unique_ptr<RawDatagram> datagram = Receive(timeout_ms);
        if (!datagram) {
            return nullptr;
        }
        auto record = std::make_unique<PacketRecord>();
        if (!ParsePacket(*datagram, *record)) {
            return nullptr;
        }
        return record;
    }

    // Announces user on host from this peer (bound at port 2425) to an instance at to_address
    // and waits for its answer: once it is back, the instance has the peer in its table. True
    // when the answer came.
    bool AnnounceTo(std::uint32_t to_address, const char* user, const char* host) const {
        Send(Datagram(++sent_, user, host, CMD_ANNOUNCE | OPT_PRESENCE_MARK), to_address);
        const std::unique_ptr<PacketRecord> reply = ReceivePacket();
        return reply != nullptr && CommandNumber(reply->command) == CMD_ANNOUNCE_REPLY;
    }

  private:
    platform::Socket socket_;
    std::uint32_t address_ = 0;
    bool bound_ = false;
    mutable std::int32_t sent_ = 0;
};

}  // namespace veltra::testing
