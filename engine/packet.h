#pragma once
// The one packet format of the protocol: "version:number:user:host:command:" then the message
// text, a NUL, and optionally an extension with its NUL. Used for every datagram and for the
// request that opens a TCP transfer.

#include <cstdint>

#include "engine/protocol.h"
#include "platform/socket.h"

namespace veltra {

struct PacketRecord {
    char user_name[NAME_FIELD_SIZE];
    char host_name[NAME_FIELD_SIZE];
    std::uint32_t source_address;  // network byte order
    std::uint32_t source_port;     // network byte order, as found in the socket address
    std::uint32_t presence_mark;
    std::int32_t version;
    std::int32_t packet_number;
    std::int32_t command;
    // Offset of the extension in text; without one, the message length (an empty extension).
    std::int32_t extension_offset;
    char text[MAX_PACKET];

    const char* Message() const { return text; }
    const char* Extension() const { return text + extension_offset; }
};

// The first five fields of a record, as the peer table keeps them.
struct PeerRecord {
    char user_name[NAME_FIELD_SIZE];
    char host_name[NAME_FIELD_SIZE];
    std::uint32_t source_address;
    std::uint32_t source_port;
    std::uint32_t presence_mark;
};

struct RawDatagram {
    platform::Endpoint source;
    // Bytes received; 0 when the data area was filled by other means (a TCP request), in which
    // case the packet has no extension.
    int byte_count = 0;
    char data[MAX_PACKET + 1] = {};
};

// Builds one packet into buffer (MAX_PACKET bytes) and returns its length. CRs of the message are
// dropped; a message too long is cut, an extension that does not fit is left out whole.
int WritePacket(char* buffer, std::int32_t packet_number, const char* user_name,
                const char* host_name, std::int32_t command, const char* message,
                const char* extension);

// Parses a received packet into record. On failure the fields parsed so far stay and the rest
// are untouched; since the command word is parsed last, a zero-filled record keeps command 0.
bool ParsePacket(const RawDatagram& datagram, PacketRecord& record);

// Decimal conversion of a header field: leading blanks and a sign allowed, stops at the first
// non-digit, no digits gives 0; values beyond 32 bits keep their low 32 bits.
std::int32_t ParseDecimalField(const char* text);

// Copies text into field and ends it with a NUL, cut to NAME_FIELD_SIZE - 1 bytes at most without
// splitting a multi-byte (code page 936) character.
void CopyNameField(char (&field)[NAME_FIELD_SIZE], const char* text);

}  // namespace veltra
