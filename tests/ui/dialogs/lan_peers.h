#pragma once
// Other systems on the LAN for the dialog tests, which run a real session on 127.0.0.1 inside
// the test's own network namespace: each peer announces itself from a loopback address of its
// own and keeps what the session sends it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/protocol.h"
#include "tests/support/udp_peer.h"

namespace veltra::testing {

inline const char* const kDialogAddress = "127.0.0.1";
// Where the session's announcements go (the settings' broadcast list): it never answers.
inline const char* const kWatcherAddress = "127.0.0.250";

class LanPeers {
  public:
    // user on host announces itself from address; true once the session has answered, that is,
    // once the peer is in its table.
    bool Announce(const char* address, const std::string& user, const std::string& host) {
        return At(address).AnnounceTo(platform::InetAddr(kDialogAddress), user.c_str(),
                                      host.c_str());
    }
    // user on host leaves the LAN.
    void Depart(const char* address, const std::string& user, const std::string& host) {
        At(address).Send(Datagram(9000, user.c_str(), host.c_str(), CMD_DEPART),
                         platform::InetAddr(kDialogAddress));
    }

    // The packets that reach address: the first within first_ms, each further one within a
    // moment of the one before.
    std::vector<std::unique_ptr<PacketRecord>> Received(const char* address, int first_ms = 2000) {
        std::vector<std::unique_ptr<PacketRecord>> packets;
        for (int wait = first_ms;; wait = 100) {
            std::unique_ptr<PacketRecord> packet = At(address).ReceivePacket(wait);
            if (!packet) {
                return packets;
            }
            packets.push_back(std::move(packet));
        }
    }
    // The texts of the plain messages among them (offers apart), as wide text.
    std::vector<std::wstring> Texts(const char* address, int first_ms = 2000) {
        std::vector<std::wstring> texts;
        for (const auto& packet : Received(address, first_ms)) {
            if (CommandNumber(packet->command) == CMD_MESSAGE &&
                (static_cast<std::uint32_t>(packet->command) & OPT_ATTACHMENTS) == 0) {
                texts.push_back(AnsiToWide(packet->Message()));
            }
        }
        return texts;
    }

    UdpPeer& At(const char* address) {
        std::unique_ptr<UdpPeer>& peer = peers_[address];
        if (!peer) {
            peer = std::make_unique<UdpPeer>(address, MSG_PORT);
        }
        return *peer;
    }

  private:
    std::map<std::string, std::unique_ptr<UdpPeer>> peers_;
};

}  // namespace veltra::testing
