// slow_peer OWN_ADDRESS PEER_ADDRESS SIZE SLICE PAUSE_MS
// A serving peer for scripted fault tests: offers one file "slow.bin" of SIZE bytes from
// OWN_ADDRESS to the instance at PEER_ADDRESS, accepts the connection that fetches it, and sends
// the content SLICE bytes at a time with PAUSE_MS between slices, so that the transfer is still
// running when the test acts. Prints "served N of SIZE" and "closed by the receiver" when the
// other side went away first. Exits 1 when nobody fetched within 10 s.
#include <netinet/in.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/packet.h"
#include "engine/protocol.h"
#include "platform/socket.h"

int main(int argc, char** argv) {
    using namespace veltra;
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s OWN_ADDRESS PEER_ADDRESS SIZE SLICE PAUSE_MS\n", argv[0]);
        return 2;
    }
    const auto own = platform::MakeEndpoint(platform::InetAddr(argv[1]), MSG_PORT);
    const auto peer = platform::MakeEndpoint(platform::InetAddr(argv[2]), MSG_PORT);
    const unsigned long long size = std::strtoull(argv[3], nullptr, 10);
    const std::size_t slice = std::strtoul(argv[4], nullptr, 10);
    const auto pause = std::chrono::milliseconds(std::strtol(argv[5], nullptr, 10));

    platform::Socket listener = platform::Socket::Tcp();
    listener.SetReuseAddress();
    platform::Socket udp = platform::Socket::Udp();
    if (!listener.Bind(own) || !listener.Listen(4) || !udp.Bind(own)) {
        std::fprintf(stderr, "slow_peer: cannot bind %s:%u\n", argv[1], MSG_PORT);
        return 1;
    }
    char list[128];
    std::snprintf(list, sizeof list, "0:slow.bin:%llx:0:1\a", size);
    std::vector<char> packet(MAX_PACKET);
    const int length =
        WritePacket(packet.data(), 4242, "slow", "peer",
                    static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS), "", list);
    udp.SendTo(packet.data(), static_cast<std::size_t>(length), peer);

    listener.SetReceiveTimeout(10000);  // bounds the accept as well
    platform::Socket connection = listener.Accept();
    if (!connection.Valid()) {
        std::fprintf(stderr, "slow_peer: nobody fetched the file\n");
        return 1;
    }
    connection.SetReceiveTimeout(5000);
    connection.SetSendTimeout(5000);
    char request[1024];
    connection.Receive(request, sizeof request);

    const std::string bytes(slice, 's');
    unsigned long long served = 0;
    bool closed = false;
    while (served < size) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<unsigned long long>(slice, size - served));
        const long sent = connection.Send(bytes.data(), piece);
        if (sent <= 0) {
            closed = true;
            break;
        }
        served += static_cast<unsigned long long>(sent);
        std::this_thread::sleep_for(pause);
    }
    std::printf("served %llu of %llu\n", served, size);
    if (closed) {
        std::printf("closed by the receiver\n");
    }
    return 0;
}
