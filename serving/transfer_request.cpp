#include "serving/transfer_request.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/packet.h"
#include "engine/protocol.h"

namespace veltra {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<TransferRequest> ParseTransferRequest(std::string_view bytes) {
    bytes = bytes.substr(0, std::min(bytes.size(), kMaxRequestLength));
    // The byte count stays 0: a request has no extension.
    auto datagram = std::make_unique<RawDatagram>();
    std::memcpy(datagram->data, bytes.data(), bytes.size());
    datagram->data[bytes.size()] = '\0';
    auto record = std::make_unique<PacketRecord>();
    if (!ParsePacket(*datagram, *record)) {
        return std::nullopt;
    }
    const auto command = static_cast<std::uint32_t>(record->command);
    if (command != CMD_FETCH_FILE && command != CMD_FETCH_DIR) {
        return std::nullopt;
    }
    // The first field is the offer's packet number, which is not checked.
    const char* field = std::strchr(record->Message(), ':');
    if (field == nullptr) {
        return std::nullopt;
    }
    std::uint64_t id = 0;
    for (++field; HexDigit(*field) >= 0; ++field) {
        id = id * 16 + static_cast<std::uint64_t>(HexDigit(*field));
    }
    return TransferRequest{command, static_cast<std::int32_t>(static_cast<std::uint32_t>(id))};
}

}  // namespace veltra
