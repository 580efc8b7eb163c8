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

std::unique_ptr<MessageReceivedPayload> MakeMessage(const std::string& user,
                                                    const std::string& address,
                                                    const std::string& host,
                                                    const std::string& text) {
    auto message = std::make_unique<MessageReceivedPayload>();
    message->user_name = user;
    message->host_name = host;
    message->source_address = platform::InetAddr(address.c_str());
    message->text = text;
    return message;
}

}  // namespace veltra::testing
