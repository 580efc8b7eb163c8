// lan_send ADDRESS TEXT [PORT]
// Sends TEXT as one datagram from an ephemeral port of this host to ADDRESS (port 2425 unless
// given). In TEXT, \0 stands for a NUL byte, \n for a line feed and \\ for a backslash, so that
// tests can send packets this system never sends itself, such as a departure.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/protocol.h"
#include "platform/socket.h"

int main(int argc, char** argv) {
    using namespace veltra;
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s ADDRESS TEXT [PORT]\n", argv[0]);
        return 2;
    }
    std::string bytes;
    for (const char* c = argv[2]; *c != '\0'; ++c) {
        if (*c == '\\' && (c[1] == '0' || c[1] == 'n' || c[1] == '\\')) {
            ++c;
            bytes += *c == '0' ? '\0' : *c == 'n' ? '\n' : '\\';
        } else {
            bytes += *c;
        }
    }
    const long port = argc == 4 ? std::strtol(argv[3], nullptr, 10) : MSG_PORT;
    platform::Socket socket = platform::Socket::Udp();
    const long sent = socket.SendTo(
        bytes.data(), bytes.size(),
        platform::MakeEndpoint(platform::InetAddr(argv[1]), static_cast<std::uint16_t>(port)));
    if (sent != static_cast<long>(bytes.size())) {
        std::fprintf(stderr, "lan_send: sending failed (error %d)\n", platform::LastSocketError());
        return 1;
    }
    return 0;
}
