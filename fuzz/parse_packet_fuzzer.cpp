// Any bytes as one received datagram: parsing must stay inside the record, keep the extension
// offset inside the text, and leave both NUL-terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    if (size > MAX_PACKET) {
        return 0;  // the socket never hands over more
    }
    auto datagram = std::make_unique<RawDatagram>();
    std::memcpy(datagram->data, data, size);
    datagram->data[size] = '\0';
    datagram->byte_count = static_cast<int>(size);
    auto record = std::make_unique<PacketRecord>();
    if (ParsePacket(*datagram, *record)) {
        if (record->extension_offset < 0 || record->extension_offset >= MAX_PACKET ||
            strnlen(record->text, MAX_PACKET) == MAX_PACKET ||
            strnlen(record->Extension(), MAX_PACKET - record->extension_offset) ==
                static_cast<std::size_t>(MAX_PACKET - record->extension_offset) ||
            strnlen(record->user_name, NAME_FIELD_SIZE) == NAME_FIELD_SIZE ||
            strnlen(record->host_name, NAME_FIELD_SIZE) == NAME_FIELD_SIZE) {
            __builtin_trap();
        }
    }
    return 0;
}
