// lan_listen SECONDS
// Listens on UDP port 2425 of every address of this host for SECONDS and prints one line per
// datagram: its source address, the address it was sent to (a broadcast shows as one) and its
// command word, so that tests can count what a host sends and where.

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/packet.h"
#include "engine/protocol.h"
#include "platform/socket.h"

int main(int argc, char** argv) {
    using namespace veltra;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SECONDS\n", argv[0]);
        return 2;
    }
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::seconds(std::strtol(argv[1], nullptr, 10));
    const platform::Socket socket = platform::Socket::Udp();
    const int on = 1;
    if (setsockopt(socket.Descriptor(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        !socket.Bind(platform::MakeEndpoint(platform::kAnyAddress, MSG_PORT))) {
        std::fprintf(stderr, "lan_listen: cannot listen (error %d)\n", platform::LastSocketError());
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    for (;;) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return 0;
        }
        socket.SetReceiveTimeout(
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        auto datagram = std::make_unique<RawDatagram>();
        sockaddr_in source{};
        iovec data{datagram->data, MAX_PACKET};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = &source;
        message.msg_namelen = sizeof source;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const long length = recvmsg(socket.Descriptor(), &message, 0);
        if (length < 0) {
            continue;  // the time-out: the loop ends above
        }
        std::uint32_t destination = 0;
        for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr;
             part = CMSG_NXTHDR(&message, part)) {
            if (part->cmsg_level == IPPROTO_IP && part->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(part), sizeof info);
                destination = info.ipi_addr.s_addr;
            }
        }
        datagram->byte_count = static_cast<int>(length);
        datagram->source.address = source.sin_addr.s_addr;
        datagram->source.port = source.sin_port;
        PacketRecord record{};
        ParsePacket(*datagram, record);
        std::printf("%s %s %d\n", platform::InetNtoa(source.sin_addr.s_addr).c_str(),
                    platform::InetNtoa(destination).c_str(), record.command);
        std::fflush(stdout);
    }
}
