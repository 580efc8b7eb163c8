#include "test_records.h"

#include <algorithm>
#include <cstring>

#include "platform/socket.h"

namespace veltra::testing {
namespace {

template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

}  // namespace

PeerEntry MakePeer(const std::string& user, const std::string& address, const std::string& host) {
    PeerRecord record{};
    CopyField(record.user_name, user);
    CopyField(record.host_name, host);
    record.source_address = platform::InetAddr(address.c_str());
    return PeerEntry{PeerKey(record), record};
}

std::unique_ptr<PacketRecord> MakeMessagePacket(const std::string& user, const std::string& address,
                                                const std::string& host, const std::string& text) {
    auto packet = std::make_unique<PacketRecord>();
    std::memset(packet.get(), 0, sizeof(PacketRecord));
    CopyField(packet->user_name, user);
    CopyField(packet->host_name, host);
    CopyField(packet->text, text);
    packet->source_address = platform::InetAddr(address.c_str());
    packet->extension_offset = static_cast<std::int32_t>(text.size());
    return packet;
}

}  // namespace veltra::testing
